#!/usr/bin/env bash
# Builds lister on Debian 12, installing what it needs when run as root.
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
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

runPackages=(g++ cmake ninja-build pkg-config libsdl2-dev libstb-dev)
testPackages=("${runPackages[@]}" libgtest-dev libbenchmark-dev tmux
    xvfb xauth xdotool imagemagick python3-xlib openbox wmctrl)  # the window's tests under X
fuzzPackages=("${runPackages[@]}" clang libclang-rt-14-dev)
windowsPackages=(g++-mingw-w64-x86-64-posix cmake ninja-build libstb-dev)
windowsTestPackages=("${windowsPackages[@]}" "${runPackages[@]}" wine wine64 xvfb xauth xdotool
    python3-xlib imagemagick)  # Wine, and the X tools that window_e2e.py uses too
webPackages=(emscripten cmake ninja-build libstb-dev)
webTestPackages=("${webPackages[@]}" "${runPackages[@]}" chromium python3-websocket imagemagick)

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

# configure DIR [cmake options...]
configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DLISTER_WERROR="${LISTER_WERROR:-OFF}" "$@" >/dev/null
}

# build-windows/lister.exe, cross-compiled with mingw-w64.
buildWindows() {
    configure build-windows -DCMAKE_BUILD_TYPE=Release -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake --no-warn-unused-cli
    cmake --build build-windows --target lister
}

# build-web/: lister.js, lister.wasm and lister.worker.js, with the page.
# Debian's emscripten finds its JavaScript parser (acorn) only through
# NODE_PATH; its system libraries come prebuilt with the package.
buildWeb() {
    export NODE_PATH=/usr/share/nodejs
    emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF \
        -DLISTER_WERROR="${LISTER_WERROR:-OFF}" >/dev/null
    cmake --build build-web --target lister
}

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
    run)
        need "${runPackages[@]}"
        configure build -DCMAKE_BUILD_TYPE=Release -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF
        cmake --build build --target lister
        exec ./build/lister
        ;;
    test)
        need "${testPackages[@]}"
        configure build-test -DCMAKE_BUILD_TYPE=Release
        cmake --build build-test
        ctest --test-dir build-test --output-on-failure -j "$jobs"
        ;;
    asan)
        need "${testPackages[@]}"
        configure build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLISTER_SANITIZE=address,undefined
        cmake --build build-asan
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 LISTER_SOAK_RUNS=1 \
            ctest --test-dir build-asan --output-on-failure -j "$jobs"
        ;;
    tsan)
        need "${testPackages[@]}"
        configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLISTER_SANITIZE=thread -DLISTER_BENCH=OFF
        cmake --build build-tsan
        TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" LISTER_SOAK_RUNS=1 \
            ctest --test-dir build-tsan --output-on-failure -j "$jobs"
        ;;
    fuzz)
        need "${fuzzPackages[@]}"
        CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLISTER_FUZZ=ON \
            -DLISTER_SANITIZE=address,undefined -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF
        cmake --build build-fuzz
        for target in input_items line_editor print_text; do
            # The seeds are copied: what a run finds stays in the build folder.
            mkdir -p "build-fuzz/corpus/$target" build-fuzz/artifacts
            cp -n tests/fuzz/corpus/"$target"/* "build-fuzz/corpus/$target/"
            echo "fuzzing $target for ${LISTER_FUZZ_SECONDS:-60} s"
            "build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="${LISTER_FUZZ_SECONDS:-60}" -print_final_stats=1 \
                -artifact_prefix=build-fuzz/artifacts/ "build-fuzz/corpus/$target" 2>&1 |
                grep -E 'stat::number_of_executed_units|^Done|ERROR|SUMMARY|runtime error|deadly'
        done
        ;;
    bench)
        need "${testPackages[@]}"
        configure build-test -DCMAKE_BUILD_TYPE=Release
        cmake --build build-test
        ./build-test/bench/lister_bench
        # The listing again with the window presenting, on a virtual display.
        SDL_RENDER_DRIVER=software xvfb-run -a -s '-screen 0 1024x768x24' ./build-test/bench/lister_window_bench
        ;;
    windows)
        need "${windowsPackages[@]}"
        buildWindows
        ;;
    windows-test)
        need "${windowsTestPackages[@]}"
        buildWindows
        # The Linux build of the same sources, whose screens the Windows one must match.
        configure build -DCMAKE_BUILD_TYPE=Release -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF
        cmake --build build --target lister
        LISTER_WINDOWS_BINARY=build-windows/lister.exe LISTER_LINUX_BINARY=build/lister \
            /usr/bin/python3 tests/windows_e2e.py
        ;;
    web)
        need "${webPackages[@]}"
        buildWeb
        ;;
    web-serve)
        need "${webPackages[@]}"
        [ -f build-web/lister.js ] || buildWeb
        exec /usr/bin/python3 screen/back_ends/web/serve.py build-web
        ;;
    web-test)
        need "${webTestPackages[@]}"
        buildWeb
        # The Linux build of the same sources, whose screens the page must match.
        configure build -DCMAKE_BUILD_TYPE=Release -DLISTER_TESTS=OFF -DLISTER_BENCH=OFF
        cmake --build build --target lister
        LISTER_WEB_DIR=build-web LISTER_LINUX_BINARY=build/lister LISTER_WEB_SHOTS=build-web/shots \
            /usr/bin/python3 tests/e2e/web_e2e.py
        ;;
    *)
        echo "usage: bash build.sh run|test|asan|tsan|fuzz|bench|windows|windows-test|web|web-serve|web-test" >&2
        exit 2
        ;;
esac
