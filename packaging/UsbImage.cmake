# Writes the USB stick image: a FAT file system labelled QORVEX with FILES at
# its root and DUMPS in a "dumps" folder, made with mkfs.fat and mtools (no
# mounting, no root). Every date is EPOCH (seconds since 1970) and the volume
# serial number fixed, so that the same files give the same image.
#
#   cmake -DIMAGE=<file> -DFILES=<files> -DDUMPS=<files> -DEPOCH=<seconds>
#         -DMKFS=<mkfs.fat> -DMCOPY=<mcopy> -DMMD=<mmd> -P UsbImage.cmake
#
# 8 MiB of FAT16 (1 KiB clusters) leave room for dumps and VKF files and are written to a
# stick in a moment. The image must never hold a startup.nsh: a stick must
# not run anything by itself on a user's machine.
foreach(variable IMAGE FILES DUMPS EPOCH MKFS MCOPY MMD)
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
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    file(REMOVE ${IMAGE})
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
endfunction()

file(REMOVE ${IMAGE})
run(${MKFS} --invariant -C -F 16 -s 2 -n QORVEX ${IMAGE} 8192)
run(${MCOPY} -i ${IMAGE} ${FILES} ::/)
run(${MMD} -i ${IMAGE} ::/dumps)
run(${MCOPY} -i ${IMAGE} ${DUMPS} ::/dumps/)
