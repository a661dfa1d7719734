#!/usr/bin/env bash
# Starts a Windows program under wine in a wine prefix of its own, a copy of
# WINEPREFIX's, beside it. Two games in one prefix share one wineserver,
# whose one foreground window alone takes the keyboard: the game clicked
# last would take the keys typed at the other, as no two Windows machines do.
# Usage: tests/windows/wine-own-prefix.sh PROGRAM [ARGUMENT...]
set -euo pipefail
own=$(mktemp -d "$WINEPREFIX-XXXXXX")
cp -a "$WINEPREFIX/." "$own"
export WINEPREFIX=$own
exec wine "$@"
