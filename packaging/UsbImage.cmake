# Writes the USB stick image: a FAT file system with FILES at its root and an
# empty "dumps" folder, made with mkfs.fat and mtools (no mounting, no root).
#
#   cmake -DIMAGE=<file> -DFILES=<files> -DMKFS=<mkfs.fat> -DMCOPY=<mcopy>
#         -DMMD=<mmd> -P UsbImage.cmake
#
# 8 MiB of FAT16 (1 KiB clusters) leave room for dumps and VKF files and are written to a
# stick in a moment. The image must never hold a startup.nsh: a stick must
# not run anything by itself on a user's machine.
foreach(variable IMAGE FILES MKFS MCOPY MMD)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "UsbImage.cmake needs -D${variable}=...")
  endif()
endforeach()
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  if(name STREQUAL "startup.nsh")
    message(FATAL_ERROR "the stick image must not hold a startup.nsh")
  endif()
endforeach()

set(ENV{MTOOLS_SKIP_CHECK} 1)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    file(REMOVE ${IMAGE})
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
endfunction()

file(REMOVE ${IMAGE})
run(${MKFS} -C -F 16 -s 2 -n QORVEX ${IMAGE} 8192)
run(${MCOPY} -i ${IMAGE} ${FILES} ::/)
run(${MMD} -i ${IMAGE} ::/dumps)
