# Installation beside the program (menu entry and icon) and the Debian package: `cpack -G DEB`
# in a configured build folder, or scripts/package.
include_guard(GLOBAL)
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/kolvane-meters.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The 256 px application icon, drawn by the artwork generator like the window icon.
install(FILES ${PROJECT_SOURCE_DIR}/resources/png/KolvaneIcon256x256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME kolvane-meters.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvane-meters)
set(CPACK_PACKAGE_VENDOR Zelvoort)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT Zelvoort)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Peak programme meters and studio clock for radio studios")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER Zelvoort)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary in front of this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kolvane Meters shows the levels of a mixing console on six peak programme
meters (programme, sub and control room, left and right) beside an analog
studio clock and a digital clock with the date. It reads the console's level
frames from a serial port, and can relay them over UDP to other displays or
show the levels relayed by another display. One window of fixed design that
scales to any screen.")
# dpkg-shlibdeps finds the C++ runtime and the Qt libraries the program links
# (Core, Gui with its X11 platform plugin, Widgets, Network, SerialPort, DBus)
# and the X screen saver extension's library; the
# clocks draw with DejaVu Sans, which no library pulls in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ttf-bitstream-vera")

include(CPack)
