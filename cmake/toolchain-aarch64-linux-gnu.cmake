# Cross-builds the program for arm64 (a Raspberry Pi under Raspberry Pi OS or Debian 12) on an amd64
# Debian machine: Debian's cross compiler (g++-aarch64-linux-gnu), the arm64 libraries from a sysroot
# of unpacked Debian arm64 packages (scripts/package --arch arm64 makes it), and Qt's code
# generators (moc, uic, rcc) from the machine's own Qt.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

if(NOT KOLVANE_ARM64_SYSROOT)
    set(KOLVANE_ARM64_SYSROOT "$ENV{KOLVANE_ARM64_SYSROOT}")
endif()
if(NOT KOLVANE_ARM64_SYSROOT)
    get_filename_component(KOLVANE_ARM64_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build-arm64-sysroot" ABSOLUTE)
endif()
# The compiler checks run in their own projects and must see the same sysroot.
set(ENV{KOLVANE_ARM64_SYSROOT} "${KOLVANE_ARM64_SYSROOT}")
set(CMAKE_SYSROOT "${KOLVANE_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH "${KOLVANE_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the sysroot's files only (wayland-client, wayland-protocols) and answers with paths
# in it; wayland-scanner, a program, is the machine's own.
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${KOLVANE_ARM64_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${KOLVANE_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${KOLVANE_ARM64_SYSROOT}/usr/share/pkgconfig")

# Runs after project(), before the Qt packages are found: their code generators must run here.
set(CMAKE_PROJECT_INCLUDE "${CMAKE_CURRENT_LIST_DIR}/CrossHostTools.cmake")
