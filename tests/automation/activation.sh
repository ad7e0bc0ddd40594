#!/bin/sh
# Registering with the session bus, being started by it for a client, the bus
# name as the session's single-instance mark, and unregistering.
set -u
tarvo=$(readlink -f "$1")
top=$(mktemp -d -t tarvo-activation.XXXXXX)
trap 'rm -rf "$top"' EXIT
export XDG_DATA_HOME=$top/data QT_QPA_PLATFORM=offscreen TARVO_NO_DIALOGS=1
service=$XDG_DATA_HOME/dbus-1/services/org.morvane.Tarvo.service
fail() { echo "FAIL: $*"; exit 1; }

"$tarvo" --register --home "$top/home" >/dev/null || fail "--register failed"
grep -qx "Name=org.morvane.Tarvo" "$service" || fail "no name in $service"
grep -qx "Exec=$tarvo --automation --home $top/home" "$service" || fail "wrong Exec in $service"

# A private bus reads the service file when it starts.
dbus-run-session -- sh -c '
    set -u
    fail() { echo "FAIL: $*"; exit 1; }
    app="busctl --user --timeout=60 call org.morvane.Tarvo /org/morvane/Tarvo org.morvane.Tarvo.Application"
    # The first call starts Tarvo hidden, in the automation mode.
    $app MyCalls | grep -q "^o \"/org/morvane/Tarvo/MyCalls/1\"$" || fail "not started by the bus"
    busctl --user get-property org.morvane.Tarvo /org/morvane/Tarvo org.morvane.Tarvo.Application \
        Visible | grep -qx "b false" || fail "the window shows in the automation mode"
    $app Connect s DB0ABC 2>&1 | grep -q "No MyCall" || fail "connect without own callsign"
    # A second Tarvo of the session, even with other settings, hands over and ends.
    "$1" --home "$2/other" >/dev/null 2>&1
    rc=$?
    [ $rc -eq 2 ] || fail "second instance ended with $rc"
    busctl --user get-property org.morvane.Tarvo /org/morvane/Tarvo org.morvane.Tarvo.Application \
        Visible | grep -qx "b true" || fail "the first one did not show its window"
    pid=$(busctl --user status org.morvane.Tarvo | sed -n "s/^PID=//p")
    [ -n "$pid" ] || fail "no process owns the name"
    kill -TERM "$pid"
    while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
' sh "$tarvo" "$top" || exit 1

"$tarvo" --unregister >/dev/null || fail "--unregister failed"
[ ! -e "$service" ] || fail "the service file is still there"
"$tarvo" --unregister >/dev/null || fail "a second --unregister failed"
echo "PASS"
