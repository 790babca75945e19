# Installation and the Debian package: the three programs in bin/ (their install rules sit
# beside their targets), the desktop entry and the icon, and `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoran.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoran.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmoran)
set(CPACK_PACKAGE_VENDOR "Velmoran")
set(CPACK_PACKAGE_CONTACT "Velmoran developers <velmoran@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Receives captures from the one-input sampler board over a serial line, shows up to three\n"
    "of them as square-wave rows, measures times on them and keeps them in .ird files.\n"
    "velmoran-ird exports captures to VCD (GTKWave), sigrok sessions (PulseView), LIRC mode2\n"
    "and CSV, and decodes infrared remote controls; velmoran-emulator stands in for the board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/velmoran")
# The window's texts are Chinese and drawn in a Song-style face: the CJK fonts come along; and
# without Qt's platform plugins (xcb, wayland) the window cannot open at all.
set(VELMORAN_DEBIAN_EXTRA_DEPENDS "fonts-noto-cjk, qt6-qpa-plugins")
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
