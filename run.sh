#!/usr/bin/env bash
# Installs what the build needs, builds, and starts the demo: the exchange simulator
# on a pseudo-terminal, our mail library on a demo mail store, and the agent against
# them (in a window when a display exists, headless otherwise). Ctrl+C stops it all.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/scripts/common.sh"
install_packages
build_project
exec "$ROOT/scripts/demo.sh" "$@"
