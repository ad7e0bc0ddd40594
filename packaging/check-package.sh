#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it as an installation
# would meet it: fields and dependencies, contents, the programs starting from
# an unpacked root (the demo included), lintian, AppStream and desktop entry.
#   packaging/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d -t tarvo-package.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "== cpack"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  fail "cpack -G DEB"
}
debs=("$work"/out/tarvo_*.deb)
[ -f "${debs[0]}" ] || fail "no tarvo_*.deb in $work/out"
deb=${debs[0]}
echo "$(basename "$deb")"

echo "== fields"
dpkg-deb -I "$deb" >"$work/info"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tarvo ] || fail "Package: $(field Package)"
[ "$(field Section)" = hamradio ] || fail "Section: $(field Section)"
depends=$(field Depends)
echo "Depends: $depends"
# From dpkg-shlibdeps, and what runs beside the libraries.
for need in libc6 libqt6widgets6 libqt6dbus6 libgpgme11 libgsf-1-114 libasound2 libsndfile1 \
  libpcre2-8-0 qt6-qpa-plugins fonts-dejavu-core gnupg; do
  grep -Eq "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need"
done

# Whether apt could install it here (a simulation; needs the package lists).
if apt-cache show libqt6widgets6 >/dev/null 2>&1; then
  apt-get install -s -q "$deb" >"$work/apt" 2>&1 || {
    cat "$work/apt"
    fail "apt install ./$(basename "$deb") would fail"
  }
  grep -Eq '^(Inst|Conf) tarvo |tarvo is already the newest' "$work/apt" ||
    fail "apt would not install tarvo"
else
  echo "(no package lists: the apt simulation is skipped)"
fi

echo "== contents"
dpkg-deb -c "$deb" | awk '{print $1, $2, $6, $7, $8}' >"$work/contents"
paths=$(awk '{print $3}' "$work/contents" | sed 's|^\./|/|')
expect=(
  /usr/bin/tarvo /usr/bin/tnc-sim /usr/bin/agwpe-sim /usr/bin/tarvo-debugmon
  /usr/share/tarvo/tarvo.ttf
  /usr/share/doc/tarvo/Tarvo.html /usr/share/doc/tarvo/copyright
  /usr/share/doc/tarvo/changelog.Debian.gz /usr/share/doc-base/tarvo
  /usr/share/applications/org.morvane.Tarvo.desktop
  /usr/share/metainfo/org.morvane.Tarvo.metainfo.xml
  /usr/share/dbus-1/services/org.morvane.Tarvo.service
  /usr/share/icons/hicolor/scalable/apps/org.morvane.Tarvo.svg
  /usr/share/man/man1/tarvo.1.gz /usr/share/man/man1/tnc-sim.1.gz
  /usr/share/man/man1/agwpe-sim.1.gz /usr/share/man/man1/tarvo-debugmon.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expect+=("/usr/share/icons/hicolor/${size}x${size}/apps/org.morvane.Tarvo.png")
done
# The language files the build made go along.
for qm in "$build"/share/tarvo/translations/*.qm; do
  [ -e "$qm" ] && expect+=("/usr/share/tarvo/translations/$(basename "$qm")")
done
for p in "${expect[@]}"; do
  grep -qxF "$p" <<<"$paths" || fail "the package lacks $p"
done
# Nothing of the build tree or the tests, nothing outside /usr, all owned by root.
grep -E '/(tests?|fuzz|bench)/|\.a$|/include/' <<<"$paths" && fail "build or test files packaged"
grep -vE '^/usr(/|$)|^/$' <<<"$paths" && fail "files outside /usr"
awk '$2 != "root/root" {print; bad=1} END {exit bad}' "$work/contents" || fail "owner not root"

echo "== unpacked root"
root=$work/root
dpkg -x "$deb" "$root"
# The font package is a dependency: stand in for it inside the root.
font_link=$(readlink "$root/usr/share/tarvo/tarvo.ttf")
[[ $font_link != /* ]] || fail "the font link is absolute: $font_link"
font_in_root=$(realpath -m "$root/usr/share/tarvo/$font_link")
mkdir -p "$(dirname "$font_in_root")"
ln -s "/${font_in_root#"$root"/}" "$font_in_root"
for bin in tarvo tnc-sim agwpe-sim tarvo-debugmon; do
  ldd "$root/usr/bin/$bin" | grep -F 'not found' && fail "$bin: libraries missing"
  file -L "$root/usr/bin/$bin" | grep -q 'not stripped' && fail "$bin is not stripped"
done
"$root/usr/bin/tarvo" --version | grep -q '^Tarvo ' || fail "tarvo --version"
set +e
"$root/usr/bin/tnc-sim" --no-such-option 2>"$work/err"
rc=$?
set -e
[ $rc = 2 ] && grep -q '^usage: tnc-sim' "$work/err" || fail "tnc-sim does not start ($rc)"
set +e
"$root/usr/bin/agwpe-sim" --no-such-option 2>"$work/err"
rc=$?
"$root/usr/bin/tarvo-debugmon" --home "$work/nobody" 2>"$work/err2"
rc2=$?
set -e
[ $rc = 2 ] && grep -q '^usage: agwpe-sim' "$work/err" || fail "agwpe-sim does not start"
[ $rc2 = 1 ] && grep -q 'no Tarvo is running' "$work/err2" || fail "tarvo-debugmon does not start"
grep -qx "Exec=/usr/bin/tarvo --automation" "$root/usr/share/dbus-1/services/org.morvane.Tarvo.service" ||
  fail "the D-Bus service does not start /usr/bin/tarvo"

# The demo from the unpacked root: it finds the simulator beside itself and
# the font through ../share/tarvo, and takes the simulator down with it.
echo "== tarvo --demo from the unpacked root"
export QT_QPA_PLATFORM=offscreen TARVO_NO_DIALOGS=1
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tarvo-package-test
export XDG_DATA_HOME=$work/xdg-data XDG_CONFIG_HOME=$work/xdg-config XDG_RUNTIME_DIR=$work/xdg-run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset TARVO_HOME
set +e
"$root/usr/bin/tarvo" --demo --quit-after 1500 >"$work/demo.out" 2>"$work/demo.err"
rc=$?
set -e
cat "$work/demo.out"
[ $rc = 0 ] || {
  cat "$work/demo.err"
  fail "tarvo --demo ended with $rc"
}
demo=$XDG_DATA_HOME/tarvo-demo
grep -q 'TGeraetHostmodeSerial' "$demo/tarvo.reg" || fail "no demo device in $demo/tarvo.reg"
grep -qF "\"Schnittstelle\"=\"$demo/run/tnc\"" "$demo/tarvo.reg" || fail "demo port not stored"
[ -s "$demo/data/Database/Stations.tvd" ] || fail "no demo station database"
[ ! -e "$demo/run/tnc" ] || fail "the simulator outlived the program"
for exe in /proc/[0-9]*/exe; do
  [ "$(readlink "$exe" 2>/dev/null)" = "$root/usr/bin/tnc-sim" ] && fail "tnc-sim still runs: $exe"
done
[ ! -e "$XDG_CONFIG_HOME/tarvo" ] || fail "the demo touched the operator's own settings"

echo "== desktop entry and AppStream"
desktop-file-validate "$root/usr/share/applications/org.morvane.Tarvo.desktop" >"$work/desktop" 2>&1 || true
if [ -s "$work/desktop" ]; then
  cat "$work/desktop"
  fail "desktop-file-validate"
fi
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.morvane.Tarvo.metainfo.xml" ||
  fail "appstreamcli validate"

echo "== lintian"
# Errors fail the check; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
echo "package checked"
