#!/usr/bin/env bash
# Builds tavolin2.dll (scripts/build-windows.sh) and proves it under Wine with
# clients nobody here wrote: regsvr32 registers it in a private prefix inside
# build-windows/, the script host runs tests/windows/classes.vbs, the MinGW C
# client calls it early-bound, and the GIF, BMP and palette files it writes
# from a picture are compared byte for byte with the Linux build's.  Skips
# (exit 0, with a message) when the cross compiler or Wine is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
  echo "test-windows: SKIPPED: no MinGW-w64 cross compiler (scripts/deps.sh --windows installs it)"
  exit 0
fi
if ! command -v wine >/dev/null 2>&1; then
  echo "test-windows: SKIPPED: no Wine (scripts/deps.sh --windows installs wine and wine64)"
  exit 0
fi
python=/usr/bin/python3

scripts/build-windows.sh
dir=$PWD/build-windows
work=$dir/wine-tests
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's own chatter (sound devices, first start) goes to a log, not the test output.
winelog=$work/wine.log
run() { wine "$@" 2>>"$winelog" | tr -d '\r'; }
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
pass() { echo "ok   $*"; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: creating the Wine prefix (first start)"
  wineboot -i >>"$winelog" 2>&1
fi
wineserver -w 2>/dev/null || true

# ---- the inputs: a picture and a one-second WAV, the same on both platforms ----
"$python" - "$work" <<'PY'
import math, struct, sys, wave
from PIL import Image
work = sys.argv[1]
im = Image.new("RGB", (61, 37))
px = im.load()
for y in range(37):
    for x in range(61):
        px[x, y] = ((x * 7 + y) % 256, (y * 11) % 256, ((x ^ y) * 13) % 256)
im.save(work + "/in.bmp")
w = wave.open(work + "/tone.wav", "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / 8000))) for i in range(8000)))
w.close()
PY
cp "$dir/tavolin2.dll" "$dir/t2client.exe" "$dir/t2pictures.dll" tests/windows/classes.vbs "$work/"
cd "$work"

# ---- registration: regsvr32 writes it, unregistration removes exactly it ----
run regsvr32 /s /u tavolin2.dll >/dev/null || true  # a registration left by an earlier run
# The script host registers its own type library on its first run: that run
# comes before the snapshot, so the snapshots differ only by what we do.
printf 'WScript.Echo 1\n' > warm.vbs
run cscript //nologo warm.vbs >/dev/null || true
run regsvr32 /s t2pictures.dll || fail "regsvr32 t2pictures.dll (the test's picture loader)"
run reg export 'HKEY_LOCAL_MACHINE\Software\Classes' before.reg /y >/dev/null
if run regsvr32 /s tavolin2.dll; then pass "regsvr32 tavolin2.dll"; else fail "regsvr32 tavolin2.dll"; fi
clsid='{201B4C79-7F9B-42F1-A809-58828C8D0DB4}' libid='{B958D132-98A7-476C-AF60-390B6DD41467}'
q() { run reg query "$@" 2>/dev/null | tr -d '\r'; }
q "HKCR\\CLSID\\$clsid\\InprocServer32" | grep -q 'ThreadingModel *REG_SZ *Apartment' &&
  pass "InprocServer32 with ThreadingModel Apartment" || fail "InprocServer32 with ThreadingModel Apartment"
q "HKCR\\TAVOLIN2.cPalette\\CLSID" | grep -q "$clsid" && pass "the programmatic name's CLSID" || fail "the programmatic name's CLSID"
q "HKCR\\TypeLib\\$libid\\1.0\\409\\win64" | grep -qi 'tavolin2.dll' &&
  pass "type library 1.0, locale 409" || fail "type library 1.0, locale 409"
q "HKCR\\Interface\\{7C18D549-E355-4D7F-8CFC-6278B6C0FDF4}\\ProxyStubClsid32" | grep -q '{00020424-0000-0000-C000-000000000046}' &&
  pass "the interfaces, marshalled by the platform's type library marshaller" || fail "the interface keys"

# ---- a sound server with a null sink, for the media devices that play ----
sound=nosound
if command -v pulseaudio >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1; then
  mkdir -p "$work/pulse"
  (cd "$work/pulse" && XDG_RUNTIME_DIR="$work/pulse" PULSE_RUNTIME_PATH="$work/pulse/run" HOME="$work/pulse" \
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      -L 'module-null-sink sink_name=t2sink rate=48000' \
      -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" >"$work/pulse/log" 2>&1) &
  pulse_pid=$!
  trap 'kill $pulse_pid 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    PULSE_SERVER=unix:$work/pulse/native pactl info >/dev/null 2>&1 && { sound=sound; break; }
    sleep 0.1
  done
  [ "$sound" = sound ] && export PULSE_SERVER=unix:$work/pulse/native
fi
[ "$sound" = sound ] || echo "test-windows: no sound server; the media tests that play are skipped"

# ---- the script host ----
out=$(run cscript //nologo classes.vbs "$sound" || true)
echo "$out" | sed 's/^/  vbs: /'
echo "$out" | grep -qx 'vbscript: 0 failure(s)' && pass "classes.vbs" || fail "classes.vbs (see above)"

# ---- a message box on a display: Xvfb shows it, xdotool reads its title and answers ----
if command -v Xvfb >/dev/null 2>&1 && command -v xdotool >/dev/null 2>&1; then
  # Wine picks its display driver when its desktop starts: a fresh start on the display
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  exec 9> >(cat > "$work/xvfb.display")
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >>"$winelog" 2>&1 &
  xvfb_pid=$!
  exec 9>&-
  for _ in $(seq 50); do [ -s "$work/xvfb.display" ] && break; sleep 0.1; done
  printf 'r = CreateObject("TAVOLIN2.clsQELCompany").GetQELCompanyInformation(899)\nWScript.Echo "returned [" & r & "]"\n' > box.vbs
  (DISPLAY=:$(cat "$work/xvfb.display") run cscript //nologo box.vbs > box.out || true) &
  box_pid=$!
  box=$(DISPLAY=:$(cat "$work/xvfb.display") timeout 60 xdotool search --sync --onlyvisible --name "Error In" 2>/dev/null | head -1 || true)
  if [ -n "$box" ]; then
    title=$(DISPLAY=:$(cat "$work/xvfb.display") xdotool getwindowname "$box")
    [ "$title" = "Error In Tavolin2.clsQELCompany.GetQELCompanyInfo" ] &&
      pass "the error box of GetQELCompanyInformation(899) shows, titled '$title'" || fail "the error box's title is '$title'"
    sleep 0.3
    DISPLAY=:$(cat "$work/xvfb.display") xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
    DISPLAY=:$(cat "$work/xvfb.display") xdotool key --window "$box" Return 2>/dev/null || true
  else
    fail "no error box appeared on the display"
  fi
  wait "$box_pid" || true
  [ "$(cat box.out)" = "returned []" ] && pass "the box answered with Return, the call returned Empty" ||
    fail "after the box: '$(cat box.out)'"
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
else
  echo "test-windows: no Xvfb or xdotool; message boxes are tested in the Linux suite only"
fi

# ---- the C client, and the files it writes from the picture ----
out=$(run ./t2client.exe in.bmp win || true)
echo "$out" | sed 's/^/  c: /'
echo "$out" | grep -qx 'client: 0 failure(s)' && pass "the C client" || fail "the C client (see above)"

# Calls from another apartment go through the platform's type-library
# marshaller.  Wine's looks for the library under locale 0 only (Windows falls
# back from 409), so for this run the test adds that key beside the 409 one
# registration wrote, and removes it again before unregistration is checked.
tlb=$(q "HKCR\\TypeLib\\$libid\\1.0\\409\\win64" /ve | sed -n 's/.*REG_SZ *//p')
run reg add "HKCR\\TypeLib\\$libid\\1.0\\0\\win64" /ve /d "$tlb" /f >/dev/null
out=$(run ./t2client.exe --apartments || true)
run reg delete "HKCR\\TypeLib\\$libid\\1.0\\0" /f >/dev/null
echo "$out" | grep -E 'apartment|thread|proxy|Marshal' | sed 's/^/  c: /'
echo "$out" | grep -qx 'client: 0 failure(s)' && pass "calls across apartments through the platform's proxy" ||
  fail "calls across apartments (see above)"

linux=$dir/../build/tavolin2
if [ ! -x "$linux" ]; then
  echo "test-windows: building the Linux host for the byte comparison"
  (cd "$dir/.." && scripts/build.sh >/dev/null)
fi
"$linux" gif in.bmp lin.gif >/dev/null 2>&1 || fail "Linux: tavolin2 gif"
"$linux" gif in.bmp lin-best.gif --best >/dev/null 2>&1 || fail "Linux: tavolin2 gif --best"
"$linux" bmp in.bmp lin.bmp >/dev/null 2>&1 || fail "Linux: tavolin2 bmp"
"$linux" palette in.bmp lin.pal >/dev/null 2>&1 || fail "Linux: tavolin2 palette"
# Every file is byte-identical: the Windows build matches colours by the
# library's own exact nearest-colour rule, not by the platform's.  A GIF that
# differs is decoded to say where (its structure, or how many pixel indices).
for f in .bmp .pal; do
  if cmp -s "win$f" "lin$f"; then pass "win$f is byte-identical to the Linux build's"
  else fail "win$f differs from the Linux build's ($(cmp "win$f" "lin$f" 2>&1 | head -1))"; fi
done
cmp -s vbs-pic.bmp lin.bmp && pass "the script's vbs-pic.bmp is byte-identical to the Linux build's" ||
  fail "vbs-pic.bmp differs from the Linux build's"
for pair in "win.gif lin.gif" "win-best.gif lin-best.gif" "vbs.gif lin.gif" "vbs-best.gif lin-best.gif"; do
  set -- $pair
  if cmp -s "$1" "$2"; then pass "$1 is byte-identical to $2"; continue; fi
  report=$("$python" - "$1" "$2" 2>&1 <<'PY'
import sys
from PIL import Image
a, b = sys.argv[1], sys.argv[2]
da, db = open(a, "rb").read(), open(b, "rb").read()
# header, logical screen, global colour table, image descriptor: everything up to the LZW data
head = 6 + 7 + 3 * (2 << (da[10] & 7))
i = head
while da[i] == 0x21:                      # extension blocks
    i += 2
    while da[i]:
        i += da[i] + 1
    i += 1
i += 10                                    # image descriptor
if da[:i] != db[:i]:
    print("the structure differs before the image data")
else:
    A, B = Image.open(a), Image.open(b)
    pa, pb = list(A.getdata()), list(B.getdata())
    print(f"structure identical, {sum(x != y for x, y in zip(pa, pb))} of {len(pa)} pixel indices differ")
PY
  )
  fail "$1 differs from $2: $report"
done
# Barcodes are compared by decoding them (the fonts of the captions differ
# between the platforms, so the pixels are not compared).
if command -v zbarimg >/dev/null 2>&1; then
  got=$(zbarimg -q --raw win-code128.bmp 2>/dev/null | tr -d '\r' || true)
  [ "$got" = TAVOLIN2-128 ] && pass "the Code 128 drawn under Wine decodes as TAVOLIN2-128" ||
    fail "the Code 128 drawn under Wine decodes as '$got'"
  got=$(zbarimg -q --raw win-code39.bmp 2>/dev/null | tr -d '\r' || true)
  [ "$got" = "TAVOLIN2 39" ] && pass "the Code 39 drawn under Wine decodes as TAVOLIN2 39" ||
    fail "the Code 39 drawn under Wine decodes as '$got'"
else
  echo "test-windows: no zbarimg; the barcode is not decoded"
fi
# the files the script wrote decode as what they claim to be
"$python" - <<'PY' && pass "vbs.bmp decodes as 64 x 32" || fail "vbs.bmp does not decode"
from PIL import Image
assert Image.open("vbs.bmp").size == (64, 32)
PY

# ---- unregistration leaves the classes as they were before ----
if run regsvr32 /s /u tavolin2.dll; then pass "regsvr32 /u tavolin2.dll"; else fail "regsvr32 /u tavolin2.dll"; fi
run reg export 'HKEY_LOCAL_MACHINE\Software\Classes' after.reg /y >/dev/null
run regsvr32 /s /u t2pictures.dll || true
if cmp -s before.reg after.reg; then pass "unregistration removed exactly what registration wrote"
else fail "the classes differ after unregistration: $(diff before.reg after.reg | head -5 | tr '\n' ' ')"; fi

# ---- per-user registration (regsvr32 /n /i:user), no administrator rights ----
# The containers of the user's classes, which Windows always has and a new
# Wine prefix has not, are made first; registration adds below them only.
for k in CLSID Interface Typelib; do run reg add "HKCU\\Software\\Classes\\$k" /f >/dev/null 2>&1 || true; done
run reg export 'HKEY_CURRENT_USER\Software\Classes' user-before.reg /y >/dev/null 2>&1 || true
if run regsvr32 /s /n /i:user tavolin2.dll; then pass "regsvr32 /n /i:user tavolin2.dll"; else fail "regsvr32 /n /i:user"; fi
q "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" | grep -q 'ThreadingModel *REG_SZ *Apartment' &&
  pass "the per-user classes key holds the registration" || fail "no per-user registration"
q "HKLM\\Software\\Classes\\CLSID\\$clsid" | grep -q InprocServer32 && fail "per-user registration wrote the machine's classes"
# (Windows merges the user's classes into HKEY_CLASSES_ROOT; Wine's holds the
# machine's only, so clients under Wine do not find a per-user class.)
run regsvr32 /s /u /n /i:user tavolin2.dll || fail "regsvr32 /u /n /i:user"
run reg export 'HKEY_CURRENT_USER\Software\Classes' user-after.reg /y >/dev/null 2>&1 || true
cmp -s user-before.reg user-after.reg && pass "per-user unregistration removed exactly its keys" ||
  fail "the user's classes differ after unregistration"
wineserver -k 2>/dev/null || true

# ---- the 32-bit DLL builds from the same sources (it is not run: Debian's
# 32-bit Wine does not install on these machines) ----
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
  if (cd "$dir/.." && scripts/build-windows.sh --32 >"$dir/build-32.log" 2>&1); then
    exports=$(i686-w64-mingw32-objdump -p "$dir/../build-windows-32/tavolin2.dll" | grep -cE '\] Dll(GetClassObject|CanUnloadNow|RegisterServer|UnregisterServer)$' || true)
    [ "$exports" = 4 ] && pass "the 32-bit tavolin2.dll builds and exports the four entry points by name" ||
      fail "the 32-bit tavolin2.dll exports $exports of the four entry points by name"
  else
    fail "the 32-bit build failed: $(grep -m1 -E 'error' "$dir/build-32.log")"
  fi
else
  echo "test-windows: no 32-bit MinGW-w64 compiler (g++-mingw-w64-i686); the 32-bit build is not tried"
fi

echo "test-windows: $failures failure(s) in $(( $(date +%s) - started )) s"
[ "$failures" -eq 0 ]
