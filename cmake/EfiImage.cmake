# Building x86-64 UEFI application images with clang++ and lld-link.
#
#   qorvex_add_efi_image(NAME <name> ENTRY <symbol> SOURCES <files...>
#                        [INCLUDE_DIRS <dirs...>] [DEPENDS <targets...>])
#
# compiles every source for the UEFI target (PE/COFF, Microsoft x64 calling
# convention, freestanding, no exceptions, no RTTI, no red zone, no stack
# probes) and links them with the image run-time (memset and friends, see
# QORVEX_EFI_RUNTIME_SOURCES) into ${QORVEX_BIN_DIR}/<name>.efi, built by ALL.
# The image carries no time stamp (/Brepro), so the same sources give the
# same bytes.
# The link fails when an object needs a static constructor (nothing would
# run it in an image).
# The target is named <name>_efi. efi/include is always on the include path.
# ENTRY is a linker symbol: declare the entry routine extern "C".
#
# When clang++ or lld-link is missing the function only prints a message,
# unless QORVEX_REQUIRE_ALL is on, in which case including this file fails.
#
# Variables for users of the functions:
#   QORVEX_EFI_TOOLCHAIN_FOUND   TRUE when images can be built
#   QORVEX_EFI_INCLUDE_DIR       our UEFI definitions (efi/include)
#   QORVEX_EFI_RUNTIME_SOURCES   memset/memcpy/memmove/memcmp for images only
#   QORVEX_EFI_COMPILE_FLAGS     the compile flags used for image sources
# efi/CMakeLists.txt adds QORVEX_EFI_LIBRARY_SOURCES and
# QORVEX_EFI_LIBRARY_INCLUDE_DIR (the shell support library).

include_guard(GLOBAL)

set(QORVEX_EFI_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../efi/include)
get_filename_component(QORVEX_EFI_INCLUDE_DIR ${QORVEX_EFI_INCLUDE_DIR} ABSOLUTE)
get_filename_component(_qorvex_efi_runtime ${CMAKE_CURRENT_LIST_DIR}/../efi/runtime/ImageRuntime.cpp ABSOLUTE)
set(QORVEX_EFI_RUNTIME_SOURCES ${_qorvex_efi_runtime})
set(_qorvex_efi_check_objects ${CMAKE_CURRENT_LIST_DIR}/CheckImageObjects.cmake)

find_program(QORVEX_EFI_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
find_program(QORVEX_EFI_LLD_LINK NAMES lld-link lld-link-16 lld-link-15 lld-link-14)

if(QORVEX_EFI_CLANGXX AND QORVEX_EFI_LLD_LINK)
  set(QORVEX_EFI_TOOLCHAIN_FOUND TRUE)
else()
  set(QORVEX_EFI_TOOLCHAIN_FOUND FALSE)
  if(QORVEX_REQUIRE_ALL)
    message(FATAL_ERROR "UEFI images need clang++ and lld-link (packages clang and lld)")
  endif()
  message(STATUS "clang++ or lld-link not found: UEFI images are not built")
endif()

# -mno-stack-arg-probe: the image has no __chkstk, so large frames must not
# call one. -fshort-wchar keeps wchar_t at 16 bits like CHAR16.
set(QORVEX_EFI_COMPILE_FLAGS
  -target x86_64-unknown-windows
  -std=c++17 -ffreestanding -fno-exceptions -fno-rtti -mno-red-zone
  -mno-stack-arg-probe -fshort-wchar -fno-threadsafe-statics -O2
  -Wall -Wextra)

# qorvex_efi_compile(SOURCE <file> OBJECT <file> [INCLUDE_DIRS <dirs...>]
#                    [DEPENDS <files...>] [WERROR])
# adds the command that compiles one source for the UEFI target with
# QORVEX_EFI_COMPILE_FLAGS (and -Werror when asked). The image build and the
# core's freestanding check both compile through it, so that they share one
# set of flags and one compiler.
function(qorvex_efi_compile)
  cmake_parse_arguments(EC "WERROR" "SOURCE;OBJECT" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  set(flags ${QORVEX_EFI_COMPILE_FLAGS} -I${QORVEX_EFI_INCLUDE_DIR})
  foreach(dir IN LISTS EC_INCLUDE_DIRS)
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND flags -I${dir})
  endforeach()
  if(EC_WERROR)
    list(APPEND flags -Werror)
  endif()
  file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${EC_SOURCE})
  get_filename_component(object_parent ${EC_OBJECT} DIRECTORY)
  add_custom_command(
    OUTPUT ${EC_OBJECT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${object_parent}
    COMMAND ${QORVEX_EFI_CLANGXX} ${flags} -MD -MF ${EC_OBJECT}.d -c ${EC_SOURCE} -o ${EC_OBJECT}
    DEPENDS ${EC_SOURCE} ${EC_DEPENDS}
    DEPFILE ${EC_OBJECT}.d
    COMMENT "UEFI compile ${relative}"
    VERBATIM)
endfunction()

function(qorvex_add_efi_image)
  cmake_parse_arguments(IMG "" "NAME;ENTRY" "SOURCES;INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(NOT IMG_NAME OR NOT IMG_ENTRY OR NOT IMG_SOURCES)
    message(FATAL_ERROR "qorvex_add_efi_image needs NAME, ENTRY and SOURCES")
  endif()
  if(NOT QORVEX_EFI_TOOLCHAIN_FOUND)
    message(STATUS "Skipping UEFI image ${IMG_NAME}.efi: no clang++/lld-link")
    return()
  endif()

  set(object_dir ${CMAKE_CURRENT_BINARY_DIR}/${IMG_NAME}.efi.objects)
  set(objects)
  foreach(source IN LISTS IMG_SOURCES QORVEX_EFI_RUNTIME_SOURCES)
    get_filename_component(source ${source} ABSOLUTE)
    # Objects mirror the source tree so that equal file names never collide.
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
    string(REPLACE "../" "up/" relative "${relative}")
    set(object ${object_dir}/${relative}.obj)
    qorvex_efi_compile(SOURCE ${source} OBJECT ${object} INCLUDE_DIRS ${IMG_INCLUDE_DIRS})
    list(APPEND objects ${object})
  endforeach()

  set(image ${QORVEX_BIN_DIR}/${IMG_NAME}.efi)
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QORVEX_BIN_DIR}
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${IMG_NAME} "-DOBJECTS=${objects}"
            -P ${_qorvex_efi_check_objects}
    COMMAND ${QORVEX_EFI_LLD_LINK} /nologo /Brepro /subsystem:efi_application /machine:x64
            /entry:${IMG_ENTRY} /nodefaultlib /out:${image} ${objects}
    DEPENDS ${objects} ${IMG_DEPENDS}
    COMMENT "UEFI link ${IMG_NAME}.efi"
    VERBATIM)
  add_custom_target(${IMG_NAME}_efi ALL DEPENDS ${image})
endfunction()
