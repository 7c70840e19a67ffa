# The C++ settings of every qorvex project: the main build and the fuzz
# targets' own configuration.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()

# Host compiler flags, written once. Code that also goes into the UEFI image
# or the Windows program is built as there: without exceptions and RTTI.
# The tests keep exceptions (GoogleTest needs them) and take only the warnings.
set(QORVEX_HOST_WARNINGS -Wall -Wextra)
set(QORVEX_HOST_CXX_FLAGS ${QORVEX_HOST_WARNINGS} -fno-exceptions -fno-rtti)
add_library(qorvex_host_warnings INTERFACE)
target_compile_options(qorvex_host_warnings INTERFACE ${QORVEX_HOST_WARNINGS})
add_library(qorvex_host_flags INTERFACE)
target_compile_options(qorvex_host_flags INTERFACE ${QORVEX_HOST_CXX_FLAGS})
