#!/usr/bin/env bash
# A drive that fills up while a cabinet is unpacked. A throw-away prefix gets a drive C: on a
# small tmpfs with about 1.5 MB free; a cabinet holds a control and a 3 MB file that does not
# compress. The drop (register_test's DiskFull case) and /install must both fail the cabinet,
# name the entry with the system's reason, and leave no cut file. Skipped (77) where this
# sandbox may not mount.
# Usage: disk_full.sh <build dir> <register_test.exe> <ctlwarden.exe> <control dll>
set -eu
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
build=$1 tests=$2 exe=$3 control=$4
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
work=$(mktemp -d "$build/diskfull.XXXXXX")
drive=$work/c
mkdir -p "$drive"
if ! mount -t tmpfs -o size=1m tmpfs "$drive" 2>/dev/null; then
  echo "SKIP: this sandbox may not mount a tmpfs (mount -t tmpfs failed); the full drive is not tried"
  rm -rf "$work"
  exit 77
fi
umount "$drive"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
cleanup() {
  "$wine"server -k >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  umount "$drive" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1 || true
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
# Drive C: moves onto the tmpfs: what it holds, and then 1.5 MB to spare.
used=$(du -sk "$WINEPREFIX/drive_c" | cut -f1)
mount -t tmpfs -o size=$((used * 2 + 4096))k tmpfs "$drive"
cp -a "$WINEPREFIX/drive_c/." "$drive/"
used=$(df -k --output=used "$drive" | tail -1)
mount -o remount,size=$((used + 1536))k "$drive"
ln -sfn "$drive" "$WINEPREFIX/dosdevices/c:"
free=$(df -k --output=avail "$drive" | tail -1)
echo "drive C: on a tmpfs with ${free} KB free"

head -c $((3 * 1024 * 1024)) /dev/urandom > "$work/big.bin"
cp "$control" "$work/ctl.ocx"
(cd "$work" && gcab -c full.cab ctl.ocx big.bin)
cab=$("$wine" winepath -w "$work/full.cab" 2>/dev/null)
log=$("$wine" winepath -w "$work/install.log" 2>/dev/null)
status=0

# The window: a drop of the cabinet.
CTLWARDEN_FULL_CABINET=$cab "$wine" "$tests" --gtest_filter='DiskFull.*' || status=1

# The unattended run.
set +e
"$wine" "$exe" /install "$cab" /quiet /log "$log"
code=$?
set -e
echo "/install ended with $code"
iconv -f UTF-8 -t UTF-8 "$work/install.log" | tr -d '\r' | grep -E "unpack|install|register|summary" || true
# A Unix shell sees the low byte of a Windows exit code: 1603 arrives as 67.
[ "$code" = $((1603 % 256)) ] || { echo "FAIL: /install ended with $code, not 1603 (67 here)"; status=1; }
grep -a "big.bin" "$work/install.log" | grep -a "failed" | grep -aq "error 112" ||
  { echo "FAIL: no log line names big.bin with error 112 (disk full)"; status=1; }
grep -a "big.bin" "$work/install.log" | grep -aq "error 38" &&
  { echo "FAIL: big.bin is logged with error 38"; status=1; }
grep -a "ctl.ocx" "$work/install.log" | grep -a "register" | grep -aq "ok" ||
  { echo "FAIL: the control unpacked whole was not registered"; status=1; }
if find "$drive/VornActiveX" -name big.bin | grep -q .; then
  echo "FAIL: a cut big.bin was left: $(find "$drive/VornActiveX" -name big.bin)"
  status=1
fi
exit $status
