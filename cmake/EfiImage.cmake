# Building UEFI application images for x86-64 and AArch64 with clang++ and
# lld-link.
#
#   qorvex_add_efi_image(NAME <name> ENTRY <symbol> SOURCES <files...>
#                        [ARCHS x64|aa64...] [SIZE_BUDGET <bytes>]
#                        [INCLUDE_DIRS <dirs...>] [DEPENDS <targets...>])
#
# builds one image for each machine of ARCHS (every one of QORVEX_EFI_ARCHS
# when not given): compiles every source for its UEFI target (PE/COFF,
# freestanding, no exceptions, no RTTI, no red zone, no stack probes;
# AArch64 also with strict alignment) and links them with the image run-time
# (memset and friends, see QORVEX_EFI_RUNTIME_SOURCES) into
# ${QORVEX_BIN_DIR}/<name>.efi for x64 and <name>aa64.efi for AArch64 (the
# machine suffix of UEFI's own file names), built by ALL. With SIZE_BUDGET
# every build reports each image's size against it.
# The image carries no time stamp (/Brepro), so the same sources give the
# same bytes.
# The link fails when an object needs a static constructor (nothing would
# run it in an image), and the linked image is checked for its machine type,
# its subsystem and an empty import table (CheckImageObjects.cmake).
# The target is named <name>_efi for x64 and <name>_aa64_efi for AArch64.
# efi/include is always on the include path.
# ENTRY is a linker symbol: declare the entry routine extern "C".
#
# When clang++ or lld-link is missing the function only prints a message,
# unless QORVEX_REQUIRE_ALL is on, in which case including this file fails.
#
# Variables for users of the functions:
#   QORVEX_EFI_TOOLCHAIN_FOUND   TRUE when images can be built
#   QORVEX_EFI_INCLUDE_DIR       our UEFI definitions (efi/include)
#   QORVEX_EFI_RUNTIME_SOURCES   memset/memcpy/memmove/memcmp for images only
#   QORVEX_EFI_COMPILE_FLAGS     the compile flags of every image source
#   QORVEX_EFI_ARCHS             the machines images are built for (x64 aa64)
#   QORVEX_EFI_<arch>_MACHINE_TYPE  the machine type of its images (llvm-readobj)
# efi/CMakeLists.txt adds QORVEX_EFI_LIBRARY_SOURCES and
# QORVEX_EFI_LIBRARY_INCLUDE_DIR (the shell support library).

include_guard(GLOBAL)

set(QORVEX_EFI_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../efi/include)
get_filename_component(QORVEX_EFI_INCLUDE_DIR ${QORVEX_EFI_INCLUDE_DIR} ABSOLUTE)
get_filename_component(_qorvex_efi_runtime ${CMAKE_CURRENT_LIST_DIR}/../efi/runtime/ImageRuntime.cpp ABSOLUTE)
set(QORVEX_EFI_RUNTIME_SOURCES ${_qorvex_efi_runtime})
set(_qorvex_efi_check_objects ${CMAKE_CURRENT_LIST_DIR}/CheckImageObjects.cmake)
set(_qorvex_efi_image_size ${CMAKE_CURRENT_LIST_DIR}/ImageSize.cmake)

find_program(QORVEX_EFI_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
find_program(QORVEX_EFI_LLD_LINK NAMES lld-link lld-link-16 lld-link-15 lld-link-14)
find_program(QORVEX_EFI_READOBJ NAMES llvm-readobj llvm-readobj-16 llvm-readobj-15 llvm-readobj-14)

if(QORVEX_EFI_CLANGXX AND QORVEX_EFI_LLD_LINK AND QORVEX_EFI_READOBJ)
  set(QORVEX_EFI_TOOLCHAIN_FOUND TRUE)
else()
  set(QORVEX_EFI_TOOLCHAIN_FOUND FALSE)
  if(QORVEX_REQUIRE_ALL)
    message(FATAL_ERROR "UEFI images need clang++, lld-link and llvm-readobj (packages clang, lld and llvm)")
  endif()
  message(STATUS "clang++, lld-link or llvm-readobj not found: UEFI images are not built")
endif()

# -mno-stack-arg-probe: the image has no __chkstk, so large frames must not
# call one. -fshort-wchar keeps wchar_t at 16 bits like CHAR16.
set(QORVEX_EFI_COMPILE_FLAGS
  -std=c++17 -ffreestanding -fno-exceptions -fno-rtti -mno-red-zone
  -mno-stack-arg-probe -fshort-wchar -fno-threadsafe-statics -O2
  -Wall -Wextra)
# Per machine: the compiler target and its own flags, the linker's machine,
# and the PE machine type the image must carry. AArch64 firmware may run
# applications with alignment checks on (EDK II builds itself so), so packed
# and byte-stream reads are compiled as byte loads.
set(QORVEX_EFI_ARCHS x64 aa64)
set(_qorvex_efi_x64_flags -target x86_64-unknown-windows)
set(_qorvex_efi_x64_machine x64)
set(QORVEX_EFI_x64_MACHINE_TYPE IMAGE_FILE_MACHINE_AMD64)
set(_qorvex_efi_x64_suffix "")
set(_qorvex_efi_aa64_flags -target aarch64-unknown-windows -mstrict-align)
set(_qorvex_efi_aa64_machine arm64)
set(QORVEX_EFI_aa64_MACHINE_TYPE IMAGE_FILE_MACHINE_ARM64)
set(_qorvex_efi_aa64_suffix aa64)

# The target and file name of an image of NAME for ARCH.
function(qorvex_efi_image_names name arch target_var file_var)
  set(suffix ${_qorvex_efi_${arch}_suffix})
  if(suffix)
    set(${target_var} ${name}_${suffix}_efi PARENT_SCOPE)
  else()
    set(${target_var} ${name}_efi PARENT_SCOPE)
  endif()
  set(${file_var} ${name}${suffix}.efi PARENT_SCOPE)
endfunction()

# qorvex_efi_compile(SOURCE <file> OBJECT <file> [ARCH x64|aa64]
#                    [INCLUDE_DIRS <dirs...>] [DEPENDS <files...>] [WERROR])
# adds the command that compiles one source for the UEFI target of ARCH (x64
# when not given) with QORVEX_EFI_COMPILE_FLAGS (and -Werror when asked). The image build and the
# core's freestanding check both compile through it, so that they share one
# set of flags and one compiler.
function(qorvex_efi_compile)
  cmake_parse_arguments(EC "WERROR" "SOURCE;OBJECT;ARCH" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(NOT EC_ARCH)
    set(EC_ARCH x64)
  endif()
  set(flags ${_qorvex_efi_${EC_ARCH}_flags} ${QORVEX_EFI_COMPILE_FLAGS} -I${QORVEX_EFI_INCLUDE_DIR})
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
    COMMENT "UEFI ${EC_ARCH} compile ${relative}"
    VERBATIM)
endfunction()

function(qorvex_add_efi_image)
  cmake_parse_arguments(IMG "" "NAME;ENTRY;SIZE_BUDGET" "ARCHS;SOURCES;INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(NOT IMG_NAME OR NOT IMG_ENTRY OR NOT IMG_SOURCES)
    message(FATAL_ERROR "qorvex_add_efi_image needs NAME, ENTRY and SOURCES")
  endif()
  if(NOT IMG_ARCHS)
    set(IMG_ARCHS ${QORVEX_EFI_ARCHS})
  endif()
  foreach(arch IN LISTS IMG_ARCHS)
    if(NOT arch IN_LIST QORVEX_EFI_ARCHS)
      message(FATAL_ERROR "qorvex_add_efi_image: ${arch} is none of ${QORVEX_EFI_ARCHS}")
    endif()
    _qorvex_add_efi_image_for(${arch})
  endforeach()
endfunction()

# One image of qorvex_add_efi_image for IMG_ARCH, from the IMG_ variables of
# the caller.
function(_qorvex_add_efi_image_for IMG_ARCH)
  qorvex_efi_image_names(${IMG_NAME} ${IMG_ARCH} target file)
  if(NOT QORVEX_EFI_TOOLCHAIN_FOUND)
    message(STATUS "Skipping UEFI image ${file}: no clang++/lld-link")
    return()
  endif()

  set(object_dir ${CMAKE_CURRENT_BINARY_DIR}/${file}.objects)
  set(objects)
  foreach(source IN LISTS IMG_SOURCES QORVEX_EFI_RUNTIME_SOURCES)
    get_filename_component(source ${source} ABSOLUTE)
    # Objects mirror the source tree so that equal file names never collide.
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
    string(REPLACE "../" "up/" relative "${relative}")
    set(object ${object_dir}/${relative}.obj)
    qorvex_efi_compile(SOURCE ${source} OBJECT ${object} ARCH ${IMG_ARCH} INCLUDE_DIRS ${IMG_INCLUDE_DIRS})
    list(APPEND objects ${object})
  endforeach()

  set(image ${QORVEX_BIN_DIR}/${file})
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QORVEX_BIN_DIR}
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${file} "-DOBJECTS=${objects}"
            -P ${_qorvex_efi_check_objects}
    COMMAND ${QORVEX_EFI_LLD_LINK} /nologo /Brepro /subsystem:efi_application
            /machine:${_qorvex_efi_${IMG_ARCH}_machine}
            /entry:${IMG_ENTRY} /nodefaultlib /out:${image} ${objects}
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${file} -DIMAGE_FILE=${image} -DREADOBJ=${QORVEX_EFI_READOBJ}
            -DMACHINE=${QORVEX_EFI_${IMG_ARCH}_MACHINE_TYPE} -P ${_qorvex_efi_check_objects}
    DEPENDS ${objects} ${IMG_DEPENDS}
    COMMENT "UEFI link ${file}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${image})
  if(IMG_SIZE_BUDGET)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DIMAGE=${image} -DBUDGET=${IMG_SIZE_BUDGET} -P ${_qorvex_efi_image_size}
      VERBATIM)
  endif()
endfunction()
