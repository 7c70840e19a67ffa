# Fails when the freestanding core objects need any symbol that neither
# they define nor the front ends bind.
cmake_policy(SET CMP0057 NEW)
set(allowed alloc_zeroed release_memory format_vkf_text memset memcpy memmove)
execute_process(COMMAND ${NM} --extern-only --defined-only --just-symbol-name ${OBJECTS}
                OUTPUT_VARIABLE defined RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "llvm-nm failed on ${OBJECTS}")
endif()
execute_process(COMMAND ${NM} --undefined-only --just-symbol-name ${OBJECTS}
                OUTPUT_VARIABLE undefined)
string(REPLACE "\n" ";" defined "${defined}")
string(REPLACE "\n" ";" undefined "${undefined}")
set(unexpected)
foreach(symbol ${undefined})
  if(symbol STREQUAL "" OR symbol MATCHES ":$" OR symbol IN_LIST defined)
    continue()
  endif()
  # Strip C++ decoration: ?name@@... -> name.
  string(REGEX REPLACE "^\\?([A-Za-z_0-9]+)@.*$" "\\1" plain "${symbol}")
  if(NOT plain IN_LIST allowed)
    list(APPEND unexpected ${symbol})
  endif()
endforeach()
if(unexpected)
  message(FATAL_ERROR "the core needs symbols no binding provides: ${unexpected}")
endif()
message(STATUS "core imports only its bindings")
