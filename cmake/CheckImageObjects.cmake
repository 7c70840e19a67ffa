# Checks a UEFI image before and after its link.
#
#   cmake -DIMAGE=<name> -DOBJECTS=<obj;obj;...> -P CheckImageObjects.cmake
#
# fails when an object file carries C++ dynamic initialisers. An image has no
# C run-time start-up, so a static constructor (a .CRT$XC* initialiser
# section) would silently never run. COFF stores section names of up to eight
# characters in the section header itself, so the name is found in the
# object's bytes.
#
#   cmake -DIMAGE=<name> -DIMAGE_FILE=<file> -DREADOBJ=<llvm-readobj>
#         -DMACHINE=<IMAGE_FILE_MACHINE_...> -P CheckImageObjects.cmake
#
# fails unless the linked image is a PE32+ EFI application (subsystem 10) for
# MACHINE that imports nothing: firmware loads no DLL, and a shell refuses an
# image of another machine.
if(IMAGE_FILE)
  execute_process(COMMAND ${READOBJ} --file-headers --coff-imports ${IMAGE_FILE}
                  OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${IMAGE}: llvm-readobj cannot read ${IMAGE_FILE}")
  endif()
  set(wanted "Machine: ${MACHINE} " "Magic: 0x20B" "Subsystem: IMAGE_SUBSYSTEM_EFI_APPLICATION (0xA)"
             "ImportTableSize: 0x0\n" "DelayImportDescriptorSize: 0x0\n")
  foreach(line IN LISTS wanted)
    string(FIND "${headers}" "${line}" at)
    if(at EQUAL -1)
      string(REGEX MATCH "Machine: [^\n]*" machine "${headers}")
      message(FATAL_ERROR "${IMAGE}: the image lacks \"${line}\" (${machine})")
    endif()
  endforeach()
  return()
endif()

foreach(object IN LISTS OBJECTS)
  file(STRINGS ${object} initialisers REGEX "\\.CRT\\$XC")
  if(initialisers)
    get_filename_component(name ${object} NAME)
    message(FATAL_ERROR "${IMAGE}: ${name} needs a static constructor, which nothing runs in a UEFI image")
  endif()
endforeach()
