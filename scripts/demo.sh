#!/usr/bin/env bash
# The demo itself; ./run.sh builds first and then runs this.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="$ROOT/build/bin"
WORK="$(mktemp -d /tmp/sarvik-demo.XXXXXX)"
cp "$ROOT/examples/Agent.ini" "$WORK/Agent.ini"
echo "Demo folder: $WORK"
exec "$BIN/sarvik-agent" --headless --config "$WORK/Agent.ini" "$@"
