# Shared by the scripts: Debian packages, configure and build. Source it, do not run it.
set -euo pipefail

KOLVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
KOLVANE_BUILD="${KOLVANE_BUILD:-$KOLVANE_ROOT/build}"
KOLVANE_ASAN_BUILD="${KOLVANE_ASAN_BUILD:-$KOLVANE_ROOT/build-asan}"
KOLVANE_FUZZ_BUILD="${KOLVANE_FUZZ_BUILD:-$KOLVANE_ROOT/build-fuzz}"
KOLVANE_QT6_BUILD="${KOLVANE_QT6_BUILD:-$KOLVANE_ROOT/build-qt6}"

# What building, running and testing need on a Debian 12 machine.
# socat gives the system tests a serial device whose name survives the device going away;
# libxcb1-dev builds the screenshot tool of the demo and the system tests, libxcb-damage0-dev the
# draw counter of the benchmarks.
# libxss-dev lets the display keep an X screen awake without a desktop's screen saver service, and
# qtbase5-private-dev hands it Qt 5's own X connection; the wall display's tests run a private session
# bus (dbus-daemon), a window manager (openbox, asked by wmctrl as by a key binding), two screens in
# Xephyr, screens resized, unplugged and plugged back (xrandr on Xorg's dummy driver), and press keys
# with xdotool (which also clicks, types and resizes in the soak).
# tzdata: the clock tests read the time in other zones and across daylight saving changes.
# libqt5websockets5-dev: the web view's live feed.
# Under Wayland the display asks the compositor's idle inhibitor through wayland-client (libwayland-dev,
# its protocol code made by wayland-scanner from wayland-protocols); its system test runs the program
# (qtwayland5) under sway and weston on their headless back ends, looks through grim and types with wtype.
KOLVANE_PACKAGES=(
    cmake make g++ pkg-config tzdata
    qtbase5-dev qtbase5-dev-tools qtbase5-private-dev libqt5serialport5-dev libxcb1-dev libxcb-damage0-dev
    libxss-dev libqt5websockets5-dev
    fonts-dejavu-core ttf-bitstream-vera
    xvfb xauth xdotool
    iproute2 socat
    dbus-daemon openbox wmctrl xserver-xephyr xserver-xorg-video-dummy x11-xserver-utils
    libwayland-dev libwayland-bin wayland-protocols qtwayland5 sway weston grim wtype
)
# The libFuzzer targets need clang and its runtime libraries.
KOLVANE_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The web view's page is checked in Debian's chromium, headless, driven by puppeteer-core from npm
# (tests/web/package-lock.json); without them that test skips. A machine with Node.js from elsewhere
# has its own npm, which Debian's npm package would conflict with.
KOLVANE_BROWSER_PACKAGES=(chromium)
command -v npm >/dev/null || KOLVANE_BROWSER_PACKAGES+=(npm)
# ensure_page_check_modules: the page check's node modules, exactly as the lock file names them.
ensure_page_check_modules() {
    local dir="$KOLVANE_ROOT/tests/web"
    if [ ! -d "$dir/node_modules/puppeteer-core" ] || [ "$dir/package-lock.json" -nt "$dir/node_modules" ]; then
        npm ci --prefix "$dir" --no-audit --no-fund
    fi
}
# The same program built against Qt 6 (scripts/test, scripts/demo --qt6); libqt6gui6 brings the icon
# plug-in, qt6-base-dev the OpenGL and Vulkan headers that Qt 6's CMake files look for.
# qt6-base-private-dev hands the Qt 6 build Qt's Wayland connection, qt6-wayland runs it there.
KOLVANE_QT6_PACKAGES=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-websockets-dev qt6-base-private-dev
    qt6-wayland)
# The Qt 6 tree has no benchmarks (scripts/bench measures the Qt 5 build) and knows where the Qt 5
# program is, to pass the settings file between the two.
KOLVANE_QT6_OPTIONS=(-DKOLVANE_QT_MAJOR=6 -DKOLVANE_BUILD_BENCH=OFF
    "-DKOLVANE_OTHER_QT_METERS=$KOLVANE_BUILD/app/kolvane-meters")
# CPack's Debian generator works out the package's dependencies with dpkg-shlibdeps and file;
# scripts/package checks the package with lintian, its metadata with appstreamcli and its menu
# entry with desktop-file-validate.
KOLVANE_DEB_PACKAGES=(dpkg-dev file lintian appstream desktop-file-utils)
# The arm64 package (scripts/package --arch arm64): Debian's cross compiler, and qemu to run the
# result; the arm64 libraries go into a sysroot of unpacked Debian packages, so that the machine's
# own packages stay as they are. wayland-client, wayland-protocols and Qt's private headers give the
# Raspberry Pi's package the compositor's idle inhibitor; the protocol's code is made by the machine's
# own wayland-scanner.
# The pixel check runs both programs on a private X server at a frozen time of day (faketime).
KOLVANE_ARM64_PACKAGES=(g++-aarch64-linux-gnu qemu-user mmdebstrap faketime)
KOLVANE_ARM64_SYSROOT="${KOLVANE_ARM64_SYSROOT:-$KOLVANE_ROOT/build-arm64-sysroot}"
KOLVANE_ARM64_SYSROOT_PACKAGES=qtbase5-dev,libqt5serialport5-dev,libqt5websockets5-dev,libxss-dev,libxcb1-dev,libc6-dev,libstdc++-12-dev,qtwayland5,fonts-dejavu-core,ttf-bitstream-vera,libfaketime,libwayland-dev,wayland-protocols,qtbase5-private-dev

missing_packages() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$pkg"
        fi
    done
}

# ensure_packages PKG...: installs what is missing as root; otherwise prints the line to run.
ensure_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Run as root:" >&2
        echo "apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ensure_arm64_sysroot: the cross compiler, qemu, and the arm64 sysroot from the Debian 12 mirror.
ensure_arm64_sysroot() {
    ensure_packages "${KOLVANE_ARM64_PACKAGES[@]}"
    ensure_arm64_sysroot_packages
    # Unpacking runs no maintainer scripts; fontconfig-config's would choose slight hinting and no
    # bitmap fonts, as on every installed Debian (the text is drawn differently without).
    local conf
    for conf in 10-hinting-slight.conf 70-no-bitmaps.conf; do
        ln -sfn "/usr/share/fontconfig/conf.avail/$conf" "$KOLVANE_ARM64_SYSROOT/etc/fonts/conf.d/$conf"
    done
}

ensure_arm64_sysroot_packages() {
    [ -f "$KOLVANE_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/cmake/Qt5/Qt5Config.cmake" ] &&
        [ -f "$KOLVANE_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/cmake/Qt5WebSockets/Qt5WebSocketsConfig.cmake" ] &&
        [ -f "$KOLVANE_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1" ] &&
        [ -f "$KOLVANE_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/pkgconfig/wayland-client.pc" ] &&
        [ -f "$KOLVANE_ARM64_SYSROOT/usr/share/pkgconfig/wayland-protocols.pc" ] &&
        compgen -G "$KOLVANE_ARM64_SYSROOT/usr/include/aarch64-linux-gnu/qt5/QtGui/*/QtGui/qpa/qplatformnativeinterface.h" \
            >/dev/null && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "The arm64 sysroot is missing; run scripts/package --arch arm64 once as root." >&2
        exit 1
    fi
    # A sysroot made before a package joined the list is made again (mmdebstrap wants an empty folder);
    # only a folder that holds one is removed.
    if [ -f "$KOLVANE_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/cmake/Qt5/Qt5Config.cmake" ]; then
        rm -rf "$KOLVANE_ARM64_SYSROOT"
    fi
    local mirror=http://deb.debian.org/debian
    mmdebstrap --arch=arm64 --variant=extract --mode=root --include="$KOLVANE_ARM64_SYSROOT_PACKAGES" \
        bookworm "$KOLVANE_ARM64_SYSROOT" "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
        "deb $mirror-security bookworm-security main" >&2
}

# configure_tree DIR [cmake options...]: configure once; later runs keep the cached options.
configure_tree() {
    local dir="$1"
    shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$KOLVANE_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    fi
}

# build_tree DIR [cmake options...]: configure once, then build incrementally.
build_tree() {
    local dir="$1"
    configure_tree "$@"
    cmake --build "$dir" --parallel "$(nproc)"
}

# build_targets DIR TARGET...: builds only the named targets of a configured tree.
build_targets() {
    local dir="$1"
    shift
    local args=() target
    for target in "$@"; do
        args+=(--target "$target")
    done
    cmake --build "$dir" --parallel "$(nproc)" "${args[@]}"
}

# The libFuzzer build: clang, the fuzz targets only.
KOLVANE_FUZZ_TARGETS=(fuzz_framestream fuzz_datagram fuzz_httphead)
build_fuzzers() {
    configure_tree "$KOLVANE_FUZZ_BUILD" -DCMAKE_CXX_COMPILER=clang++ -DKOLVANE_FUZZ=ON \
        -DKOLVANE_BUILD_TESTS=OFF -DKOLVANE_BUILD_BENCH=OFF
    build_targets "$KOLVANE_FUZZ_BUILD" "${KOLVANE_FUZZ_TARGETS[@]}"
}

# fuzzer_path NAME: the built executable of a fuzz target.
fuzzer_path() {
    local found
    found="$(find "$KOLVANE_FUZZ_BUILD" -type f -name "$1" -perm -u+x -print -quit)"
    if [ -z "$found" ]; then
        echo "fuzz target $1 was not built" >&2
        return 1
    fi
    printf '%s\n' "$found"
}

# run_fuzzer NAME LIBFUZZER-OPTIONS...: runs one target on its corpus in the fuzz build folder
# (seeded from fuzz/corpus/NAME and with the dictionary fuzz/NAME.dict or fuzz/link.dict when the
# source tree has them) and prints its figures.
run_fuzzer() {
    local name="$1"
    shift
    local exe corpus artifacts seeds=() log status=0
    exe="$(fuzzer_path "$name")"
    corpus="$KOLVANE_FUZZ_BUILD/corpus/$name"
    artifacts="$KOLVANE_FUZZ_BUILD/artifacts/$name"
    mkdir -p "$corpus" "$artifacts"
    [ -d "$KOLVANE_ROOT/fuzz/corpus/$name" ] && seeds=("$KOLVANE_ROOT/fuzz/corpus/$name")
    local dictionary
    for dictionary in "$KOLVANE_ROOT/fuzz/$name.dict" "$KOLVANE_ROOT/fuzz/link.dict"; do
        if [ -f "$dictionary" ]; then
            seeds+=(-dict="$dictionary")
            break
        fi
    done
    log="$KOLVANE_FUZZ_BUILD/$name.log"
    local started ended
    started="$(date +%s.%N)"
    "$exe" "$corpus" "${seeds[@]}" -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" >"$log" 2>&1 ||
        status=$?
    ended="$(date +%s.%N)"
    local runs seconds
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    seconds="$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "FUZZ|$name|FAILED (exit $status), inputs that fail are in $artifacts" >&2
        return "$status"
    fi
    echo "FUZZ|$name|${runs:-?} inputs|${seconds:-?} s|corpus $(find "$corpus" -type f | wc -l) files"
}
