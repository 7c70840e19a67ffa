# Prints the size of IMAGE and warns when it exceeds BUDGET bytes.
#   cmake -DIMAGE=<file> -DBUDGET=<bytes> -P ImageSize.cmake
file(SIZE ${IMAGE} size)
math(EXPR kib "(${size} + 1023) / 1024")
get_filename_component(name ${IMAGE} NAME)
if(size GREATER BUDGET)
  message(WARNING "${name}: ${size} bytes (${kib} KiB), over the budget of ${BUDGET} bytes")
else()
  message(STATUS "${name}: ${size} bytes (${kib} KiB), budget ${BUDGET} bytes")
endif()
