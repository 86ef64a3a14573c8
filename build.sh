#!/usr/bin/env bash
# Builds lister on Debian 12, installing what it needs when run as root.
# Each command runs a preset of CMakePresets.json (cmake --workflow --preset
# NAME does the same by hand, once the packages are there).
#
#   bash build.sh run     build lister (Release) and start it
#   bash build.sh test    build everything and run every test
#
# For development:
#   bash build.sh asan    every test under AddressSanitizer + UBSan
#   bash build.sh tsan    every test under ThreadSanitizer
#   bash build.sh fuzz    each libFuzzer target for LISTER_FUZZ_SECONDS (60)
#   bash build.sh bench   build and run the benchmarks
#
# For Windows, cross-built here and run under Wine:
#   bash build.sh windows       build build-windows/lister.exe
#   bash build.sh windows-test  its end-to-end tests under Wine and Xvfb
#
# For the browser, built with emscripten and run in chromium:
#   bash build.sh web           build build-web/ (the page, lister.js, lister.wasm, lister.worker.js)
#   bash build.sh web-serve     serve build-web/ on 127.0.0.1 with the isolation headers
#   bash build.sh web-test      its end-to-end tests in headless chromium
#
# Releases:
#   bash build.sh package       the .deb, the Linux tarball, the Windows and web zips into dist/
#   bash build.sh package-test  checks what is in dist/ (lintian, installs it, runs it)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

# What lister builds with is the Debian package's Build-Depends (less
# debhelper, which only the package needs), with the compiler: one list.
buildDepends() {
    awk '/^Build-Depends:/ {on = 1; sub(/^Build-Depends:/, "")} on && /^[^ \t]/ && !/^Build-Depends/ {on = 0}
        on {gsub(/\([^)]*\)|,/, " "); printf "%s ", $0}' packaging/debian/control |
        tr -s ' \t' '\n' | grep -v -e '^debhelper' -e '^$'
}
mapfile -t runPackages < <(buildDepends)
runPackages+=(g++)
testPackages=("${runPackages[@]}" libgtest-dev libbenchmark-dev tmux strace  # strace injects faults
    xvfb xauth xdotool imagemagick python3-xlib openbox wmctrl)  # the window's tests under X
fuzzPackages=("${runPackages[@]}" clang libclang-rt-14-dev)
windowsPackages=(g++-mingw-w64-x86-64-posix cmake ninja-build libstb-dev)
windowsTestPackages=("${windowsPackages[@]}" "${runPackages[@]}" wine wine64 xvfb xauth xdotool
    python3-xlib imagemagick)  # Wine, and the X tools that window_e2e.py uses too
webPackages=(emscripten cmake ninja-build libstb-dev)
webTestPackages=("${webPackages[@]}" "${runPackages[@]}" chromium python3-websocket imagemagick)
packagePackages=("${runPackages[@]}" "${windowsPackages[@]}" "${webPackages[@]}" debhelper dpkg-dev
    git zip)
packageTestPackages=(lintian desktop-file-utils appstream man-db binutils-mingw-w64-x86-64 unzip
    passwd util-linux  # useradd, runuser
    libsdl2-2.0-0 xdg-user-dirs xvfb xdotool git)  # SDL2 for the .deb; the documents folder's oracle, the menu entry's window, the sources' names

# Installs the missing packages as root; otherwise names them and stops.
need() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "build.sh: installing ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "lister needs these Debian packages first:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}

# Configures and builds one preset.
build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# The builds and the tests use every core.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$CMAKE_BUILD_PARALLEL_LEVEL}

case "${1:-}" in
    run)
        need "${runPackages[@]}"
        build release
        exec ./build/lister
        ;;
    test)
        need "${testPackages[@]}"
        cmake --workflow --preset test
        ;;
    asan)
        need "${testPackages[@]}"
        cmake --workflow --preset asan
        ;;
    tsan)
        need "${testPackages[@]}"
        cmake --workflow --preset tsan
        ;;
    fuzz)
        need "${fuzzPackages[@]}"
        build fuzz
        # Each target's own figures: executions, and anything it found.
        ctest --preset fuzz -V |
            grep -E 'stat::number_of_executed_units|^[0-9]+: Done|ERROR|SUMMARY|runtime error|deadly|tests passed|Failed'
        ;;
    bench)
        need "${testPackages[@]}"
        build test
        ./build-test/bench/lister_bench
        # The listing again with the window presenting, on a virtual display.
        SDL_RENDER_DRIVER=software xvfb-run -a -s '-screen 0 1024x768x24' ./build-test/bench/lister_window_bench
        # And in a terminal, 80 x 24 against 100 x 70, on pseudo-terminals.
        /usr/bin/python3 bench/terminal_listing.py build-test/lister
        ;;
    windows)
        need "${windowsPackages[@]}"
        build windows
        ;;
    windows-test)
        need "${windowsTestPackages[@]}"
        # The Linux build of the same sources, whose screens lister.exe must match.
        build release
        cmake --workflow --preset windows
        ;;
    web)
        need "${webPackages[@]}"
        build web
        ;;
    web-serve)
        need "${webPackages[@]}"
        [ -f build-web/lister.js ] || build web
        exec /usr/bin/python3 screen/back_ends/web/serve.py build-web
        ;;
    web-test)
        need "${webTestPackages[@]}"
        # The Linux build of the same sources, whose screens the page must match.
        build release
        cmake --workflow --preset web
        ;;
    package)
        need "${packagePackages[@]}"
        bash packaging/make_dist.sh
        ;;
    package-test)
        need "${packageTestPackages[@]}"
        bash tests/e2e/package_check.sh dist
        ;;
    *)
        echo "usage: bash build.sh run|test|asan|tsan|fuzz|bench|windows|windows-test|web|web-serve|web-test|package|package-test" >&2
        exit 2
        ;;
esac
