#!/usr/bin/env bash
# The life of the program as an operator sees it: one instance, the Dirty mark,
# orderly and killed ends, and the debug log on standard error.
set -u
tarvo=$1
home=$(mktemp -d -t tarvo-life.XXXXXX)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$home"' EXIT
export TARVO_HOME=$home QT_QPA_PLATFORM=offscreen TARVO_DEBUG=stderr TARVO_NO_DIALOGS=1
fail() { echo "FAIL: $*"; exit 1; }
dirty() { grep -o '"Dirty"="[01]"' "$home/tarvo.reg" 2>/dev/null; }
wait_for() { for _ in $(seq 1 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

"$tarvo" >"$home/first.log" 2>&1 &
first=$!
wait_for 'grep -q "FormCreate: end." "$home/first.log"' || fail "the first start did not finish start-up"
[ "$(dirty)" = '"Dirty"="1"' ] || fail "Dirty is not 1 while running: $(dirty)"
grep -q 'Hauptprogramm: begin...' "$home/first.log" || fail "no 'Hauptprogramm: begin...' in the debug log"
grep -qE '^ +[0-9]+\.[0-9]{3} \[  main  \] THauptfenster.FormCreate: Config' "$home/first.log" \
  || fail "start-up steps are not logged with their prefix"

"$tarvo" >"$home/second.log" 2>&1
rc=$?
[ $rc -eq 2 ] || fail "a second start ended with $rc instead of 2"

kill -TERM $first
wait $first
rc=$?
[ $rc -eq 0 ] || fail "SIGTERM ended the program with $rc"
[ "$(dirty)" = '"Dirty"="0"' ] || fail "Dirty not cleared by an orderly end: $(dirty)"
grep -q 'TarvoDestroy: Config.Free' "$home/first.log" || fail "the shutdown steps are not logged"
grep -q 'the database is to be checked' "$home/first.log" && fail "a clean start asked for a database check"

"$tarvo" >"$home/killed.log" 2>&1 &
killed=$!
wait_for 'grep -q "FormCreate: end." "$home/killed.log"' || fail "the third start did not finish start-up"
kill -9 $killed
wait $killed 2>/dev/null
[ "$(dirty)" = '"Dirty"="1"' ] || fail "kill -9 did not leave Dirty set"

"$tarvo" --quit-after 200 >"$home/after.log" 2>&1 || fail "the start after a kill failed"
grep -q 'the database is to be checked' "$home/after.log" || fail "after a kill the database check was not asked for"
[ "$(dirty)" = '"Dirty"="0"' ] || fail "Dirty not cleared after the start that followed a kill"
# Every way of ending ends the process, with or without a window: the shutdown
# runs and the event loop is left (a hidden window is never "the last closed").
ended_within() { for _ in $(seq 1 150); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
for mode in "" --automation; do
  for sig in TERM INT HUP; do
    log="$home/end-$sig${mode}.log"
    "$tarvo" $mode >"$log" 2>&1 &
    pid=$!
    wait_for "grep -q 'FormCreate: end.' '$log'" || fail "start ${mode:-standalone} did not finish start-up"
    kill -$sig $pid
    if ! ended_within $pid; then
      kill -9 $pid
      fail "SIG$sig did not end the program started ${mode:-standalone}"
    fi
    wait $pid
    rc=$?
    [ $rc -eq 0 ] || fail "SIG$sig ended the program started ${mode:-standalone} with $rc"
    grep -q 'TarvoDestroy: end.' "$log" || fail "SIG$sig ${mode:-standalone}: the shutdown did not run"
    grep -q 'Hauptprogramm: end.' "$log" || fail "SIG$sig ${mode:-standalone}: the main program did not end"
    [ "$(dirty)" = '"Dirty"="0"' ] || fail "SIG$sig ${mode:-standalone}: Dirty not cleared"
  done
done
echo "lifecycle: all checks passed"
