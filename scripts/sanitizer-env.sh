# Sourced by scripts/test and scripts/fuzz: how the checked build (build-san/) is made and
# how its sanitizers report. Every report ends the program with an error.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
san_build=${KX4_SAN_BUILD_DIR:-$root/build-san}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1:strict_init_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}

# Configures build-san once: clang with the fuzz targets when it is installed, else the
# default compiler with the sanitizers only.
configure_checked_build() {
    [ -f "$san_build/CMakeCache.txt" ] && return 0
    local options=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1")
    if command -v clang++ >/dev/null; then
        CC=clang CXX=clang++ cmake -S "$root" -B "$san_build" -G Ninja "${options[@]}" \
            -DKX4_FUZZ=ON >/dev/null
    else
        cmake -S "$root" -B "$san_build" -G Ninja "${options[@]}" -DKX4_SANITIZE=ON >/dev/null
    fi
}

# ctest in the checked build, under a virtual X server like the normal run. The software
# OpenGL driver is preloaded so that it stays loaded until the leak check (see lsan.supp).
checked_ctest() {
    local swrast=/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so
    (
        cd "$san_build"
        [ -f "$swrast" ] && export LD_PRELOAD=$swrast
        xvfb-run -a -s "-screen 0 1600x1000x24" \
            ctest --output-on-failure --parallel "$(nproc)" --timeout 900 "$@"
    )
}
