# Fails when an object file of a UEFI image carries C++ dynamic initialisers.
#
#   cmake -DIMAGE=<name> -DOBJECTS=<obj;obj;...> -P CheckImageObjects.cmake
#
# An image has no C run-time start-up, so a static constructor (a .CRT$XC*
# initialiser section) would silently never run. COFF stores section names
# of up to eight characters in the section header itself, so the name is
# found in the object's bytes.
foreach(object IN LISTS OBJECTS)
  file(STRINGS ${object} initialisers REGEX "\\.CRT\\$XC")
  if(initialisers)
    get_filename_component(name ${object} NAME)
    message(FATAL_ERROR "${IMAGE}.efi: ${name} needs a static constructor, which nothing runs in a UEFI image")
  endif()
endforeach()
