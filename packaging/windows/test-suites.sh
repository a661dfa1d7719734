# shellcheck shell=bash
# The list is read by the scripts that source this file.
# shellcheck disable=SC2034
# The test programs built for Windows (build.sh --tests) and run under wine
# (tests/windows/wine-check.sh).
WINDOWS_TEST_SUITES=(market_tests input_tests shop_tests data_tests)
