#!/bin/sh
# The example script of docs/ against Tarvo in the automation mode, with an
# AGWPE device on the simulated engine, on a private session bus.
set -u
tarvo=$1 sim=$2 example=$3
home=$(mktemp -d -t tarvo-example.XXXXXX)
simpid=
trap '[ -n "$simpid" ] && kill $simpid 2>/dev/null; rm -rf "$home"' EXIT
export QT_QPA_PLATFORM=offscreen TARVO_NO_DIALOGS=1
fail() { echo "FAIL: $*"; exit 1; }

"$sim" --port 0 --quiet >"$home/sim.out" &
simpid=$!
for _ in $(seq 1 100); do [ -s "$home/sim.out" ] && break; sleep 0.1; done
port=$(head -n 1 "$home/sim.out" | tr -dc 0-9)
[ -n "$port" ] || fail "the engine simulator did not start"
printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$home/tarvo.reg"
printf '[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen\\N0CALL]\r\n"SSIDs"=dword:00000003\r\n\r\n' >>"$home/tarvo.reg"
printf '[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\0]\r\n@="TGeraetAgwpe"\r\n"Hostname"="127.0.0.1"\r\n"Port"=dword:%08x\r\n' \
    "$port" >>"$home/tarvo.reg"

dbus-run-session -- sh -c '
    set -u
    "$1" --automation --home "$2" >"$2/tarvo.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
        busctl --user status org.morvane.Tarvo >/dev/null 2>&1 && break
        sleep 0.1
    done
    # The device needs a moment to log in to the engine; a connect before that
    # finds no radio channel.
    for _ in $(seq 1 50); do
        out=$(/usr/bin/python3 "$3" ECHO "Hallo Tarvo" 2>&1) && break
        sleep 0.2
    done
    kill -TERM $pid
    wait $pid
    echo "$out"
' sh "$tarvo" "$home" "$example" >"$home/example.out" 2>&1
cat "$home/example.out"
grep -qx "own callsigns: N0CALL" "$home/example.out" || fail "no own callsigns"
grep -q "^connected: N0CALL" "$home/example.out" || fail "no link"
grep -qx "answer: Hallo Tarvo" "$home/example.out" || fail "no answer"
echo "PASS"
