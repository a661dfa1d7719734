#!/usr/bin/env bash
# Builds Pellucane and runs every test under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${HARDENING_PACKAGES[@]}"
build_game ON

# Software rendering and a silent audio device, whatever the machine has.
export LIBGL_ALWAYS_SOFTWARE=1
export SDL_AUDIODRIVER=dummy
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"

# Tests picked by ctest arguments (./test.sh -R shop.) run in the plain build only.
if [ $# -gt 0 ]; then
  exit 0
fi

# Hardening: the suite again with AddressSanitizer and UBSan (the GL driver
# preloaded so that its own leaks can be named and suppressed), a short fuzz
# of each harness on its corpus, and a subset of the broken-data check.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUCANE_WERROR=ON \
  -DPELLUCANE_SANITIZE=ON >&2
cmake --build build-sanitize -j"$(nproc)" >&2
export LD_PRELOAD="/usr/lib/$(gcc -print-multiarch)/dri/swrast_dri.so"
export ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)" -E "style|install"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" tests/broken-data.sh build-sanitize/pellucane ci
unset LD_PRELOAD
fuzz/run.sh 15
