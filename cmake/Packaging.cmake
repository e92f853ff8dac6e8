# Installation beside the program (menu entry, icons, manual page, metadata, documentation) and the
# Debian package: `cpack -G DEB` in a configured build folder, or scripts/package.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(KOLVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${KOLVANE_PACKAGING_DIR}/kolvane-meters.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KOLVANE_PACKAGING_DIR}/io.github.zelvoort.KolvaneMeters.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The icon in the theme's sizes, drawn by the artwork generator like the window icon.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# The manual page and the Debian changelog go in compressed, without a time stamp in the gzip
# header, so that two builds of the same source give the same package.
if(UNIX)
    find_program(KOLVANE_GZIP gzip REQUIRED)
    set(KOLVANE_GZIPPED)
    foreach(source kolvane-meters.1 changelog)
        set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/packaging/${source}.gz)
        add_custom_command(OUTPUT ${gzipped}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
                           COMMAND ${KOLVANE_GZIP} -9 -n -c ${KOLVANE_PACKAGING_DIR}/${source} > ${gzipped}
                           DEPENDS ${KOLVANE_PACKAGING_DIR}/${source}
                           VERBATIM)
        list(APPEND KOLVANE_GZIPPED ${gzipped})
    endforeach()
    add_custom_target(kolvane-packaging-files ALL DEPENDS ${KOLVANE_GZIPPED})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/kolvane-meters.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set(KOLVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kolvane-meters)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${KOLVANE_DOC_DIR} RENAME changelog.Debian.gz)
    install(FILES ${KOLVANE_PACKAGING_DIR}/copyright DESTINATION ${KOLVANE_DOC_DIR})
    install(FILES ${KOLVANE_PACKAGING_DIR}/kolvane-meters.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kolvane-meters)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane-meters)
set(CPACK_PACKAGE_VENDOR Zelvoort)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zelvoort <packages@zelvoort.nl>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Peak programme meters and studio clock for radio studios")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zelvoort <packages@zelvoort.nl>")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The top entry of the Debian changelog must name the version the package gets.
file(STRINGS ${KOLVANE_PACKAGING_DIR}/changelog KOLVANE_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT KOLVANE_CHANGELOG_TOP MATCHES "\\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\)")
    message(WARNING "packaging/changelog has no entry for ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
endif()
# CPack puts the summary in front of this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kolvane Meters shows the levels of a mixing console on six peak programme
meters (programme, sub and control room, left and right) beside an analog
studio clock and a digital clock with the date. It reads the console's level
frames from a serial port, and can relay them over UDP to other displays or
show the levels relayed by another display. One window of fixed design that
scales to any screen.")
# dpkg-shlibdeps finds the C++ runtime and the Qt libraries the program links (Core, Gui with its
# X11 platform plug-in, Widgets, Network, SerialPort, DBus, WebSockets), the X screen saver
# extension's library and wayland-client. Nothing links the Wayland platform plug-in, which a Raspberry Pi's desktop needs, nor
# the fonts the clocks draw with.
if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps knows only the build machine's packages; a cross build states what it gets
    # from an amd64 build of the same source on the same Debian release.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(KOLVANE_LIBRARY_DEPENDS
        ", libc6 (>= 2.34), libgcc-s1 (>= 3.0), libqt5core5a (>= 5.15.1), libqt5dbus5 (>= 5.0.2)"
        ", libqt5gui5 (>= 5.14.1) | libqt5gui5-gles (>= 5.14.1), libqt5network5 (>= 5.6.0~beta)"
        ", libqt5serialport5 (>= 5.9.0), libqt5websockets5 (>= 5.15.1), libqt5widgets5 (>= 5.14.1)"
        ", libstdc++6 (>= 5), libwayland-client0 (>= 1.20.0), libx11-6, libxss1")
    string(CONCAT KOLVANE_LIBRARY_DEPENDS ${KOLVANE_LIBRARY_DEPENDS})
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(KOLVANE_LIBRARY_DEPENDS "")
endif()
if(KOLVANE_QT_MAJOR STREQUAL "5")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qtwayland5, fonts-dejavu-core${KOLVANE_LIBRARY_DEPENDS}")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, fonts-dejavu-core")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ttf-bitstream-vera")

include(CPack)
