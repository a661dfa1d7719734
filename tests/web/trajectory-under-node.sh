#!/usr/bin/env bash
# Builds the recorded trajectory's test with emscripten, on the browser
# build's libraries (packaging/web/libraries.sh), into build-web-tests/ and
# runs it under Node against tests/market/trajectory.digest. Says on standard
# output, in one line, whether every update matched and, if not, the first
# that differs; fails when one does.
set -euo pipefail
WEB_DIR=$(cd "$(dirname "$0")/../../packaging/web" && pwd)
cd "$WEB_DIR/../.."
source scripts/packages.sh

source "$WEB_DIR/libraries.sh"
# and Node, and GoogleTest's sources
prepare_web_build nodejs googletest

build="build-web-tests"
log=$build/build.log
start=$SECONDS
fresh_build_folder "$build" PELLUCANE_WEB_PREFIX "$LIBRARIES_PREFIX"
if ! logged "$log" emcmake cmake -S . -B "$build" -DPELLUCANE_WEB_PREFIX="$LIBRARIES_PREFIX" \
  -DCMAKE_BUILD_TYPE=Release -DPELLUCANE_WERROR=ON -DPELLUCANE_TESTS=ON ||
  ! logged "$log" cmake --build "$build" -j2 --target trajectory_node; then
  echo "node: the trajectory's test did not build (the whole log: $log)"
  exit 1
fi
built=$SECONDS

report=$build/trajectory.log
if ! node --no-experimental-fetch "$build/tests/web/trajectory_node.js" >"$report" 2>&1; then
  cat "$report" >&2
  first=$(sed -n 's/^ *Which is: "\(.*\)"$/\1/p' "$report" | head -n 1)
  echo "node: the trajectory differs from its digest: ${first:-the test failed, its report is above}"
  exit 1
fi
# the test has matched every line of the digest, and found no line more
updates=$(wc -l <tests/market/trajectory.digest)
echo "node: the trajectory matches its digest, $updates updates" \
  "(built in $((built - start)) s, ran in $((SECONDS - built)) s)"
