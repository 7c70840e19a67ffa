# The Debian package: the install layout under /usr, made by CPack.
# Sets QORVEX_DEB_FILE (the package's file name) and CPACK_PACKAGE_DIRECTORY.

set(QORVEX_MAINTAINER "The qorvex developers <developers@qorvex.invalid>"
    CACHE STRING "Maintainer named in the Debian package")

execute_process(COMMAND ${QORVEX_DPKG} --print-architecture
                OUTPUT_VARIABLE QORVEX_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QORVEX_DEB_FILE qorvex_${PROJECT_VERSION}_${QORVEX_DEB_ARCHITECTURE}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qorvex)
set(CPACK_PACKAGE_VENDOR "The qorvex developers")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QORVEX_DEB_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QORVEX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the libraries qorvexw links to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert AMIDE DMI editor dumps into VKF setting files")
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
qorvexw turns the text dump of SMBIOS strings that the AMIDE DMI editor
writes (BIOS, system, base board, chassis and OEM strings) into a VKF setting
file of INI-style sections and Key = Value lines.

The package also carries the same converter for the other places where
boards are set up: qorvexw64.exe for 64-bit Windows (Windows PE too) and
qorvexw.exe for 32-bit Windows, and for the EFI shell (UEFI 2.x and EFI 1.x
shells alike) qorvex.efi for x86-64 boards and qorvexaa64.efi for AArch64
boards, to be copied to a FAT-formatted USB stick.")

# Debian wants the manual page and the changelog gzip-compressed; the install
# rules leave them plain for other installations.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressDocs.cmake)
set(CPACK_QORVEX_GZIP ${QORVEX_GZIP})
set(CPACK_QORVEX_GZIP_FILES ${CMAKE_INSTALL_MANDIR}/man1/qorvexw.1 ${CMAKE_INSTALL_DOCDIR}/changelog)

include(CPack)
