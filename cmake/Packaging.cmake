# Installation and the Debian package: the three programs in bin/ (their install rules sit
# beside their targets), the desktop entry, the icon, the MIME type of capture files, the manual
# pages, the copyright file and the changelog, and `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

set(VELMORAN_MAINTAINER "Velmoran developers <velmoran@example.org>"
    CACHE STRING "Maintainer of the Debian package, with an e-mail address")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoran.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoran.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# shared-mime-info rebuilds its database from this folder (a dpkg trigger does it on install).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoran-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmoran.xml)

# Manual pages and the changelog go in gzipped, as Debian wants them: -n keeps the name and the
# time out of the header, so the same sources give the same bytes.
find_program(VELMORAN_GZIP gzip REQUIRED)
set(velmoran_gzipped)
function(velmoran_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${VELMORAN_GZIP} -9n --stdout ${source} > ${output}
        DEPENDS ${source} VERBATIM)
    set(velmoran_gzipped ${velmoran_gzipped} ${output} PARENT_SCOPE)
endfunction()
set(velmoran_man_dir ${PROJECT_BINARY_DIR}/packaging/man)
file(MAKE_DIRECTORY ${velmoran_man_dir})
foreach(page velmoran velmoran-ird velmoran-emulator)
    velmoran_gzip(${PROJECT_SOURCE_DIR}/packaging/man/${page}.1 ${velmoran_man_dir}/${page}.1.gz)
    install(FILES ${velmoran_man_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
velmoran_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(velmoran_packaging_files ALL DEPENDS ${velmoran_gzipped})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmoran)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmoran)
set(CPACK_PACKAGE_VENDOR "Velmoran")
set(CPACK_PACKAGE_CONTACT "${VELMORAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian wants the lines of the long description within 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Receives captures from the one-input sampler board over a serial line,\n"
    "shows up to three of them as square-wave rows, measures times on them\n"
    "and keeps them in .ird files. velmoran-ird exports captures to VCD\n"
    "(GTKWave), sigrok sessions (PulseView), LIRC mode2 and CSV, and decodes\n"
    "infrared remote controls; velmoran-emulator stands in for the board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Control files 0644 and scripts 0755 whatever the umask of the build.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The project has no web site: Debian prefers no Homepage field to a made-up one.
unset(CPACK_DEBIAN_PACKAGE_HOMEPAGE)
# The window's texts are Chinese and drawn in a Song-style face: the CJK fonts come along, and
# Qt's own Chinese texts for its dialogs and buttons; without Qt's platform plugins (xcb,
# wayland) the window cannot open at all.
set(VELMORAN_DEBIAN_EXTRA_DEPENDS "fonts-noto-cjk, qt6-qpa-plugins, qt6-translations-l10n")
find_program(VELMORAN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMORAN_DPKG_SHLIBDEPS)
    # The shared libraries the programs link (Qt 6, libc, libstdc++), with their versions.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VELMORAN_DEBIAN_EXTRA_DEPENDS}")
else()
    # Without dpkg-dev, the Debian 12 packages of the libraries the programs link.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), "
        "libqt6serialport6 (>= 6.4), libc6, libstdc++6, ${VELMORAN_DEBIAN_EXTRA_DEPENDS}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
