#!/usr/bin/env bash
# sim_dll_test.sh BUILD_DIR DLL CLIENT_EXE
# The server DLL registers with regsvr32 in a Wine prefix of its own (so no other test sees
# the classes come and go), serves its scenario file to a client that has nothing of the
# simulation in it, and unregisters again. Starts and stops only that prefix's wineserver.
set -euo pipefail
build=$1 dll=$2 client=$3
export WINEPREFIX="$build/sim-dll-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
work="$build/sim-dll-test"
rm -rf "$work"
mkdir -p "$work" "$WINEPREFIX"
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
fi
wineserver -p </dev/null >/dev/null 2>&1 || true  # already running after wineboot

failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAILED: $1"; echo "  expected: $2"; echo "  actual:   $3"
    failures=$((failures + 1))
  fi
}
client() { wine "$client" </dev/null 2>/dev/null | tr -d '\r'; }
winpath() { echo "Z:${1//\//\\}"; }
key='HKCR\CLSID\{0AF10CEC-2ECD-4B92-9581-34F6AE0637F3}\InprocServer32'

cat > "$work/scenario.txt" <<'SCENARIO'
# a Canon with a camera behind it and a printer that is only listed
device \\?\usb#vid_04a9&pid_3294#1
  name Canon EOS 80D
  manufacturer Canon Inc.
  camera canon model="Canon EOS 80D"
device usb#printer
  name Office printer
SCENARIO

check "without the service, no manager" "manager 0x80040154" "$(client)"

rc=0
wine regsvr32 /s "$(winpath "$dll")" </dev/null >/dev/null 2>&1 || rc=$?
check "regsvr32 registers" 0 "$rc"
registered=$(wine reg query "$key" </dev/null 2>/dev/null | tr -d '\r')
check "InprocServer32 names the DLL" yes "$(grep -qi 'tallybrook_sim.dll' <<<"$registered" && echo yes || echo no)"
check "ThreadingModel Both" yes "$(grep -q 'ThreadingModel.*REG_SZ.*Both' <<<"$registered" && echo yes || echo no)"

check "registered but no scenario named: still no service" "manager 0x80040154" "$(client)"

export TALLYBROOK_SIM_SCENARIO=$(winpath "$work/scenario.txt") TALLYBROOK_SIM_LOG=$(winpath "$work/sim.log")
listing=$(client)
check "the scenario's devices, through CoCreateInstance alone" \
  "$(printf 'manager 0x00000000\ndevices 2\ndevice \\\\?\\usb#vid_04a9&pid_3294#1: Canon EOS 80D\n')" \
  "$(head -n 3 <<<"$listing")"
check "the camera's DeviceInfo through commands 13, 15, 17" yes \
  "$(grep -Eq '^deviceinfo [1-9][0-9]* bytes$' <<<"$listing" && echo yes || echo no)"
check "the listed-only device" "device usb#printer: Office printer" "$(grep printer <<<"$listing" | head -n 1)"
check "the log file records the commands" yes \
  "$(grep -q '^send-command dev=.*cmd=13 op=0x1001' "$work/sim.log" && grep -q '^scenario loaded: 2 device' "$work/sim.log" && echo yes || echo no)"

printf 'device a\n  colour red\n' > "$work/broken.txt"
check "a broken scenario file fails creation" \
  "manager 0x8000FFFF" "$(TALLYBROOK_SIM_SCENARIO=$(winpath "$work/broken.txt") client)"

rc=0
wine regsvr32 /u /s "$(winpath "$dll")" </dev/null >/dev/null 2>&1 || rc=$?
check "regsvr32 /u unregisters" 0 "$rc"
check "the class keys are gone" no \
  "$(wine reg query "$key" </dev/null >/dev/null 2>&1 && echo yes || echo no)"
check "unregistered: no manager, scenario or not" "manager 0x80040154" "$(client)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
