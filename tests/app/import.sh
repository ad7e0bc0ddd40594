#!/usr/bin/env bash
# "tarvo --import FOLDER" as a script would use it: exit codes, the printed
# report path, the settings in the file, and no import while Tarvo runs.
set -u
tarvo=$1
fixtures=$2
home=$(mktemp -d -t tarvo-import.XXXXXX)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$home"' EXIT
export TARVO_HOME=$home/profile QT_QPA_PLATFORM=offscreen TARVO_NO_DIALOGS=1
fail() { echo "FAIL: $*"; exit 1; }
wait_for() { for _ in $(seq 1 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

mkdir -p "$home/alt"
cp "$fixtures/regedit4-cp1252.reg" "$fixtures/version5-utf16.reg" "$home/alt/"
"$tarvo" --import "$home/alt" >"$home/out.txt" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "the import ended with $rc: $(cat "$home/out.txt")"
report=$(sed -n 's/^tarvo: report //p' "$home/out.txt")
[ -f "$report" ] || fail "no report file named: $(cat "$home/out.txt")"
case $report in "$home/profile/data/import-"*.txt) ;; *) fail "report outside the data folder: $report" ;; esac
grep -q '"Channels"=dword:0000000c' "$home/profile/tarvo.reg" || fail "Channels not in the settings"
grep -q 'tada.wav' "$report" || fail "the report does not list the wave file left out"

printf 'REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"Font"="07x09\r\n' >"$home/alt/kaputt.reg"
"$tarvo" --import "$home/alt" >"$home/out2.txt" 2>&1
rc=$?
[ $rc -eq 3 ] || fail "a damaged file gave $rc instead of 3"
grep -q '"Font"="07x09"' "$home/profile/tarvo.reg" && fail "a value of the damaged file was taken"
ls "$home/profile/tarvo.reg.bak-"* >/dev/null 2>&1 || fail "the settings were not backed up"

"$tarvo" --import "$home/nirgends" >/dev/null 2>&1 && fail "a missing folder was imported"

"$tarvo" >"$home/run.log" 2>&1 &
wait_for '[ -S "$home/profile/run/instance.sock" ]' || fail "Tarvo did not start"
"$tarvo" --import "$home/alt" >"$home/out3.txt" 2>&1 && fail "imported while Tarvo runs"
grep -q 'running' "$home/out3.txt" || fail "no word on the running program: $(cat "$home/out3.txt")"
echo "import: ok"
