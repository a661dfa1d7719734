#!/usr/bin/env bash
# Builds Pellucane and starts it, with data/ as the working directory.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}"
build_game OFF --target pellucane

if [ -z "${DISPLAY:-}" ]; then
  echo "pellucane: no display: run it on a desktop, or set DISPLAY to an X server" >&2
  exit 1
fi
cd data
exec ../build/pellucane "$@"
