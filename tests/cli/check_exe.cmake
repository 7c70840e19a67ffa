# Checks that a shipped qorvexw program is a Windows console program of its
# machine that imports nothing but KERNEL32.dll and msvcrt.dll (linked
# statically: no extra DLLs), and that it carries no test mode.
#   cmake -DEXE=<file> -DOBJDUMP=<objdump> -DKIND=<start of file -b's answer>
#         -P check_exe.cmake
cmake_policy(SET CMP0057 NEW)
find_program(FILE_TOOL file REQUIRED)
get_filename_component(name ${EXE} NAME)
execute_process(COMMAND ${FILE_TOOL} -b ${EXE} OUTPUT_VARIABLE kind OUTPUT_STRIP_TRAILING_WHITESPACE)
message(STATUS "${name}: ${kind}")
string(FIND "${kind}" "${KIND}" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "${name} is not a \"${KIND}\" program")
endif()
# The test modes' switches start with --check-.
file(STRINGS ${EXE} test_modes REGEX "--check-")
if(test_modes)
  message(FATAL_ERROR "${name} carries a test mode: ${test_modes}")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
message(STATUS "imports: ${imports}")
set(allowed KERNEL32.dll msvcrt.dll)
foreach(import ${imports})
  string(REPLACE "DLL Name: " "" dll "${import}")
  if(NOT dll IN_LIST allowed)
    message(FATAL_ERROR "${name} needs ${dll}")
  endif()
endforeach()
