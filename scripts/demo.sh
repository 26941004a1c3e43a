#!/usr/bin/env bash
# The demo itself; ./run.sh builds first and then runs this. It starts the exchange
# simulator on a pseudo-terminal, lays out a demo mail store for our mail library,
# writes an Agent.ini that points at both, and runs the agent (in a window when a
# display is available, headless otherwise). Ctrl+C (or closing the window) stops all.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="${SARVIK_BIN_DIR:-$ROOT/build/bin}"
PORT="${SARVIK_DEMO_PORT:-1234}"
WORK="$(mktemp -d /tmp/sarvik-demo.XXXXXX)"
STORE="$WORK/mailstore"

for box in 201 202 203 310; do
    mkdir -p "$STORE/$box/new" "$STORE/$box/cur" "$STORE/$box/tmp"
done

# Commands for the simulator (silent on, corrupt, trap ..., status) go through a fifo.
mkfifo "$WORK/exchange.cmd"
exec 3<>"$WORK/exchange.cmd"
"$BIN/exchange-sim" "$ROOT/tools/exchange-sim/scenarios/demo.ini" --link "$WORK/exchange" <&3 \
    > >(sed -u 's/^/[exchange] /') 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null || true; wait $SIM 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$WORK/exchange" ] && break; sleep 0.1; done
[ -e "$WORK/exchange" ] || { echo "The exchange simulator did not start." >&2; exit 1; }

cat > "$WORK/Agent.ini" <<INI
[Set]
Port=$WORK/exchange:9600,N,8,1
MaxCache=110
Stackable=1

[Log]
Com_In=1
Com_PureIn=1
Com_Out=0
Com_LocOut=0
TCP/IP_In=1
TCP/IP_Out=1
Extent=0

[Timer]
Interval=100
MSGInterval=5000
TrapInterval=5000
ANInterval=2000
MaxTick=9
MaxError=6
MaxErrorTick=100

[M602]
CestaKeKonfiguraciMail602=$STORE
Uzivatel=agent
CestaKPracovnimuAdresari=$WORK

[Trapy]
AdresaPrijemce=201
TypAdresyPrijemce=L
Subject=Ústředna
ZpravaComOn=Komunikace s ústřednou obnovena
ZpravaComOff=Ústředna není dostupná
INI
# The INI file is Windows-1250, as the agent expects.
iconv -f UTF-8 -t WINDOWS-1250 "$WORK/Agent.ini" > "$WORK/Agent.ini.tmp" && mv "$WORK/Agent.ini.tmp" "$WORK/Agent.ini"

MODE="--headless"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then MODE=""; fi

cat <<TXT
Sarvik Agent demo in $WORK
  exchange simulator:   $WORK/exchange (commands: echo 'silent on' > $WORK/exchange.cmd;
                        also 'silent off', 'corrupt', 'status', 'trap 1 L 202|Test|Text')
  mail store:           $STORE (TRAP mail lands in $STORE/201/new)
  drop a message:       printf 'X-Kind: F\n\nHello\n' > $STORE/202/new/m1   (counters follow)
  talk to the gateway:  python3 -c "import socket; s=socket.create_connection(('127.0.0.1', $PORT)); s.sendall(bytes([0, 22, 0])); print(s.recv(500).hex(' '))"
Stop with Ctrl+C.
TXT

"$BIN/sarvik-agent" $MODE --config "$WORK/Agent.ini" --listen-port "$PORT"
