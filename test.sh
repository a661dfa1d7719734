#!/usr/bin/env bash
# Builds Pellucane and runs every test under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh

# Runs a step and says on stderr how long it took, and how much processor
# time its programs used (which a busier or quieter machine changes less).
timings=()
times_file=$(mktemp)
cpu_seconds() {
  times >"$times_file" # in this shell: a subshell's own times start at zero
  tail -1 "$times_file" | awk '{ gsub(/s/, ""); split($1, u, "m"); split($2, k, "m");
    print u[1] * 60 + u[2] + k[1] * 60 + k[2] }'
}
step() {
  local name=$1 start=$SECONDS before after status=0
  shift
  cpu_seconds >"$times_file.before"
  "$@" || status=$?
  cpu_seconds >"$times_file.after"
  before=$(cat "$times_file.before")
  after=$(cat "$times_file.after")
  timings+=("$(awk -v s=$((SECONDS - start)) -v c="$after - $before" -v n="$name" \
    'BEGIN { split(c, p, " - "); printf "%4d s, %4.0f s cpu  %s", s, p[1] - p[2], n }')")
  return $status
}
report() { printf 'test.sh: %s\n' "${timings[@]}" >&2; }
trap 'report; rm -f "$times_file"*; kill $(jobs -p) 2>/dev/null || true' EXIT

step "packages" ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${HARDENING_PACKAGES[@]}"
step "plain build" build_game ON

# Software rendering and a silent audio device, whatever the machine has.
export LIBGL_ALWAYS_SOFTWARE=1
export SDL_AUDIODRIVER=dummy
suite() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --test-dir "$1" --output-on-failure -j"$(nproc)" "${@:2}"
}

# Tests picked by ctest arguments (./test.sh -R shop.) run in the plain build only.
if [ $# -gt 0 ]; then
  step "plain suite" suite build "$@"
  exit 0
fi

# Hardening: the suite again with AddressSanitizer and UBSan (the GL driver
# preloaded so that its own leaks can be named and suppressed), a short fuzz
# of each harness on its corpus, and a subset of the broken-data check. The
# sanitizer build goes on beside the plain suite, which spends much of its
# time waiting for the game's windows.
sanitize_build() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUCANE_WERROR=ON \
    -DPELLUCANE_SANITIZE=ON >build-sanitize/build.log 2>&1 &&
    nice cmake --build build-sanitize -j"$(nproc)" >>build-sanitize/build.log 2>&1
}
mkdir -p build-sanitize
sanitize_build &
building=$!
step "plain suite (sanitizer build beside it)" suite build
if ! step "rest of the sanitizer build" wait "$building"; then
  cat build-sanitize/build.log >&2
  exit 1
fi

multiarch=$(gcc -print-multiarch)
export LD_PRELOAD="/usr/lib/$multiarch/dri/swrast_dri.so"
export ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp"
step "sanitizer suite" suite build-sanitize -E "style|install"
step "broken data" tests/broken-data.sh build-sanitize/pellucane ci
unset LD_PRELOAD
step "fuzz" fuzz/run.sh 15
