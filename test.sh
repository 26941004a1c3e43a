#!/usr/bin/env bash
# Installs what the build needs, builds, and runs every test with CTest.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/scripts/common.sh"
install_packages
build_project
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$ROOT/build" --output-on-failure -j2 "$@"
