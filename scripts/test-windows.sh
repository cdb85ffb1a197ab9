#!/usr/bin/env bash
# Builds tavolin2.dll for 64-bit and 32-bit Windows (scripts/build-windows.sh)
# and proves each under Wine, in a prefix of its own (WINEARCH=win32 for the
# 32-bit one), with clients nobody here wrote: regsvr32 registers it, the
# script host runs tests/windows/classes.vbs, the MinGW C client calls it
# early-bound, the files it writes from a picture are compared byte for byte
# with the Linux build's, and unregistration and per-user registration leave
# the registry as it was.  Then the installer (scripts/build-windows.sh
# --installer) installs, serves a script and uninstalls without a trace.
#
#   scripts/test-windows.sh [64|32]    one architecture only (default: both)
#
# Every check reports and the summary line always prints; the exit status is
# non-zero when any check failed.  An architecture whose cross compiler or
# Wine loader is not installed is skipped with a message (exit 0 when none is
# left to run).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
python=/usr/bin/python3
only=${1:-}

have_compiler() { command -v "$1-w64-mingw32-g++-posix" >/dev/null 2>&1 || command -v "$1-w64-mingw32-g++" >/dev/null 2>&1; }
# The loaders by path: once the 32-bit Wine is installed, a plain "wine" starts
# the 32-bit programs of a prefix (its script host cannot create 64-bit objects).
loader64=/usr/lib/wine/wine64 loader32=/usr/lib/wine/wine
server64=/usr/lib/wine/wineserver64 server32=/usr/lib/wine/wineserver32
[ -x "$server64" ] || server64=/usr/lib/wine/wineserver
[ -x "$server32" ] || server32=$server64
arches=()
for a in 64 32; do
  [ -n "$only" ] && [ "$only" != "$a" ] && continue
  if [ "$a" = 64 ]; then cc=x86_64 l=$loader64 pkg="wine64"; else cc=i686 l=$loader32 pkg="wine32:i386"; fi
  if ! have_compiler "$cc"; then
    echo "test-windows: SKIPPED $a-bit: no MinGW-w64 cross compiler ($cc-w64-mingw32-g++; scripts/deps.sh --windows installs it)"
  elif [ ! -x "$l" ]; then
    echo "test-windows: SKIPPED $a-bit: no $a-bit Wine loader $l ($pkg; scripts/deps.sh --windows installs it)"
  else
    arches+=("$a")
  fi
done
if [ ${#arches[@]} -eq 0 ]; then
  echo "test-windows: SKIPPED: nothing to run"
  exit 0
fi

declare -A checks=() failed=() identical=()
arch=setup
failures=0
fail() { echo "FAIL [$arch] $*"; checks[$arch]=$((${checks[$arch]:-0} + 1)); failed[$arch]=$((${failed[$arch]:-0} + 1)); failures=$((failures + 1)); }
pass() { echo "ok   [$arch] $*"; checks[$arch]=$((${checks[$arch]:-0} + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
# a file the same bytes as its reference
same() {
  if cmp -s "$1" "$2"; then
    pass "$1 is byte-identical to the Linux build's $(basename "$2")"
    identical[$arch]=$((${identical[$arch]:-0} + 1))
  else
    fail "$1 differs from the Linux build's $(basename "$2") ($(cmp "$1" "$2" 2>&1 | head -1))"
  fi
}
summary_printed=
summary() {
  [ -n "$summary_printed" ] && return
  summary_printed=1
  local a
  for a in setup 64 32 installer installer-64 installer-32; do
    [ -n "${checks[$a]:-}" ] || continue
    echo "test-windows: [$a] ${checks[$a]} checks, ${failed[$a]:-0} failed, ${identical[$a]:-0} files byte-identical to the Linux build's"
  done
  echo "test-windows: $failures failure(s) in $(($(date +%s) - started)) s"
}
trap 'summary; [ -n "${pulse_pid:-}" ] && kill "$pulse_pid" 2>/dev/null' EXIT

# ---- the Linux build's files: the reference every architecture is compared with ----
ref=$root/build-windows/reference
rm -rf "$ref"
mkdir -p "$ref"
linux=$root/build/tavolin2
if [ ! -x "$linux" ]; then
  echo "test-windows: building the Linux host for the byte comparison"
  if [ -f build/CMakeCache.txt ]; then cmake --build build -j "${TAVOLIN2_JOBS:-2}" --target tavolin2 >"$ref/build.log" 2>&1
  else scripts/build.sh >"$ref/build.log" 2>&1; fi
  check "the Linux host builds" test -x "$linux"
fi
# the inputs: a picture of many colours, an 8-bit one with a colour table of its own, a one-second WAV
"$python" - "$ref" <<'PY' || fail "the input files could not be made"
import math, struct, sys, wave
from PIL import Image
ref = sys.argv[1]
im = Image.new("RGB", (61, 37))
px = im.load()
for y in range(37):
    for x in range(61):
        px[x, y] = ((x * 7 + y) % 256, (y * 11) % 256, ((x ^ y) * 13) % 256)
im.save(ref + "/in.bmp")
# an adaptive table: its indices mean other colours than the fixed table's
im.quantize(colors=200, method=Image.Quantize.MEDIANCUT).save(ref + "/in8.bmp")
w = wave.open(ref + "/tone.wav", "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / 8000))) for i in range(8000)))
w.close()
PY
(
  cd "$ref" || exit 1
  "$linux" gif in.bmp lin.gif && "$linux" gif in.bmp lin-best.gif --best && "$linux" bmp in.bmp lin.bmp &&
    "$linux" palette in.bmp lin.pal && "$linux" gif in8.bmp lin8.gif &&
    for s in 56x40 60x40 122x74; do "$linux" resample in.bmp "lin-r$s.bmp" "${s%x*}" "${s#*x}" || exit 1; done
) >"$ref/linux.log" 2>&1 || fail "the Linux host's reference files ($(tail -1 "$ref/linux.log"))"

# ---- a sound server with a null sink, for the media devices that play ----
sound=nosound
if command -v pulseaudio >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1; then
  pulse=$root/build-windows/pulse
  rm -rf "$pulse"
  mkdir -p "$pulse"
  (cd "$pulse" && XDG_RUNTIME_DIR="$pulse" PULSE_RUNTIME_PATH="$pulse/run" HOME="$pulse" \
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      -L 'module-null-sink sink_name=t2sink rate=48000' \
      -L "module-native-protocol-unix socket=$pulse/native auth-anonymous=1" >"$pulse/log" 2>&1) &
  pulse_pid=$!
  for _ in $(seq 50); do
    PULSE_SERVER=unix:$pulse/native pactl info >/dev/null 2>&1 && { sound=sound; break; }
    sleep 0.1
  done
  [ "$sound" = sound ] && export PULSE_SERVER=unix:$pulse/native
fi
[ "$sound" = sound ] || echo "test-windows: no sound server; the media tests that play are skipped"

clsid='{201B4C79-7F9B-42F1-A809-58828C8D0DB4}' libid='{B958D132-98A7-476C-AF60-390B6DD41467}'
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
run() { "$loader" "$@" 2>>"$winelog" | tr -d '\r'; }
q() { run reg query "$@" 2>/dev/null; }
stop_wine() { "$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w 2>/dev/null; true; }

# Prepares the architecture $1 (64 or 32): its build, its own prefix, its loader.
use_arch() {
  arch=$1
  if [ "$arch" = 64 ]; then
    dir=$root/build-windows loader=$loader64 build=()
    export WINEARCH=win64 WINESERVER=$server64
  else
    dir=$root/build-windows-32 loader=$loader32 build=(--32)
    export WINEARCH=win32 WINESERVER=$server32
  fi
  export WINEPREFIX=$dir/wineprefix
  work=$dir/wine-tests
  winelog=$work/wine.log
}

# The whole suite for one architecture, in its own prefix.
suite() {
  use_arch "$1"
  rm -rf "$work"
  mkdir -p "$work"
  if ! scripts/build-windows.sh "${build[@]}" >"$work/build.log" 2>&1; then
    fail "the $arch-bit build failed: $(grep -m1 -E 'error' "$work/build.log")"
    return
  fi
  pass "the $arch-bit tavolin2.dll builds"
  exports=$("${dll_objdump[$arch]}" -p "$dir/tavolin2.dll" | grep -cE '\] Dll(GetClassObject|CanUnloadNow|RegisterServer|UnregisterServer|Install)$')
  check "tavolin2.dll exports the five entry points by name" [ "$exports" = 5 ]
  # a prefix of another architecture (an earlier layout) is made anew
  if [ -f "$WINEPREFIX/system.reg" ] && ! grep -q "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; then rm -rf "$WINEPREFIX"; fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-windows: [$arch] creating the Wine prefix (first start)"
    run wineboot -i >/dev/null 2>&1
  fi
  "$WINESERVER" -w 2>/dev/null
  cp "$ref/in.bmp" "$ref/in8.bmp" "$ref/tone.wav" "$dir/tavolin2.dll" "$dir/t2client.exe" "$dir/t2pictures.dll" \
    tests/windows/classes.vbs "$work/"
  cd "$work" || return

  # ---- registration: regsvr32 writes it, unregistration removes exactly it ----
  run regsvr32 /s /u tavolin2.dll >/dev/null  # a registration left by an earlier run
  # The script host registers its own type library on its first run: that run
  # comes before the snapshot, so the snapshots differ only by what we do.
  printf 'WScript.Echo 1\n' >warm.vbs
  run cscript //nologo warm.vbs >/dev/null
  run regsvr32 /s t2pictures.dll || fail "regsvr32 t2pictures.dll (the test's picture loader)"
  run reg export 'HKEY_LOCAL_MACHINE\Software\Classes' before.reg /y >/dev/null
  check "regsvr32 tavolin2.dll" run regsvr32 /s tavolin2.dll
  local kind=win$arch
  q "HKCR\\CLSID\\$clsid\\InprocServer32" | grep -q 'ThreadingModel *REG_SZ *Apartment' &&
    pass "InprocServer32 with ThreadingModel Apartment" || fail "InprocServer32 with ThreadingModel Apartment"
  q "HKCR\\TAVOLIN2.cPalette\\CLSID" | grep -q "$clsid" && pass "the programmatic name's CLSID" || fail "the programmatic name's CLSID"
  for locale in 409 0; do
    q "HKCR\\TypeLib\\$libid\\1.0\\$locale\\$kind" | grep -qi 'tavolin2.dll' &&
      pass "type library 1.0, locale $locale, $kind" || fail "no type library 1.0, locale $locale, $kind"
  done
  local otherkind=win32
  [ "$arch" = 32 ] && otherkind=win64
  q "HKCR\\TypeLib\\$libid\\1.0\\409\\$otherkind" | grep -qi 'tavolin2.dll' && fail "registration wrote $otherkind"
  q "HKCR\\Interface\\{7C18D549-E355-4D7F-8CFC-6278B6C0FDF4}\\ProxyStubClsid32" | grep -q '{00020424-0000-0000-C000-000000000046}' &&
    pass "the interfaces, marshalled by the platform's type library marshaller" || fail "the interface keys"

  # ---- the script host ----
  out=$(run cscript //nologo classes.vbs "$sound")
  echo "$out" | sed "s/^/  [$arch] vbs: /"
  echo "$out" | grep -qx 'vbscript: 0 failure(s)' && pass "classes.vbs" || fail "classes.vbs (see above)"

  # ---- a message box on a display: Xvfb shows it, xdotool reads its title and answers ----
  if command -v Xvfb >/dev/null 2>&1 && command -v xdotool >/dev/null 2>&1; then
    message_box
  else
    echo "test-windows: no Xvfb or xdotool; message boxes are tested in the Linux suite only"
  fi

  # ---- the C client, and the files it writes from the pictures ----
  out=$(run ./t2client.exe in.bmp win in8.bmp)
  echo "$out" | sed "s/^/  [$arch] c: /"
  echo "$out" | grep -qx 'client: 0 failure(s)' && pass "the C client" || fail "the C client (see above)"
  # Calls from another apartment, and from a multithreaded one, go through the
  # platform's type-library marshaller, with the registration as it was written.
  out=$(run ./t2client.exe --apartments)
  echo "$out" | grep -E 'apartment|thread|proxy|Marshal' | sed "s/^/  [$arch] c: /"
  echo "$out" | grep -qx 'client: 0 failure(s)' && pass "calls across apartments and from a multithreaded one" ||
    fail "calls across apartments (see above)"

  # Every file is byte-identical: the Windows build matches colours by the
  # library's own exact nearest-colour rule, not by the platform's, and its
  # floating steps are the same on both architectures.
  same win.bmp "$ref/lin.bmp"
  same win.pal "$ref/lin.pal"
  same vbs-pic.bmp "$ref/lin.bmp"
  for s in 56x40 60x40 122x74; do same "win-r$s.bmp" "$ref/lin-r$s.bmp"; done
  for pair in "win.gif lin.gif" "win-best.gif lin-best.gif" "vbs.gif lin.gif" "vbs-best.gif lin-best.gif" \
    "win8.gif lin8.gif" "win8-dc.gif lin8.gif"; do
    set -- $pair
    if cmp -s "$1" "$ref/$2"; then same "$1" "$ref/$2"; continue; fi
    fail "$1 differs from the Linux build's $2: $(gif_difference "$1" "$ref/$2")"
  done
  # Barcodes are compared by decoding them (the fonts of the captions differ
  # between the platforms, so the pixels are not compared).
  if command -v zbarimg >/dev/null 2>&1; then
    got=$(zbarimg -q --raw win-code128.bmp 2>/dev/null | tr -d '\r')
    [ "$got" = TAVOLIN2-128 ] && pass "the Code 128 drawn under Wine decodes as TAVOLIN2-128" ||
      fail "the Code 128 drawn under Wine decodes as '$got'"
    got=$(zbarimg -q --raw win-code39.bmp 2>/dev/null | tr -d '\r')
    [ "$got" = "TAVOLIN2 39" ] && pass "the Code 39 drawn under Wine decodes as TAVOLIN2 39" ||
      fail "the Code 39 drawn under Wine decodes as '$got'"
  else
    echo "test-windows: no zbarimg; the barcode is not decoded"
  fi
  "$python" -c 'from PIL import Image; assert Image.open("vbs.bmp").size == (64, 32)' 2>/dev/null &&
    pass "vbs.bmp decodes as 64 x 32" || fail "vbs.bmp does not decode as 64 x 32"

  # ---- unregistration leaves the classes as they were before ----
  check "regsvr32 /u tavolin2.dll" run regsvr32 /s /u tavolin2.dll
  check "a second regsvr32 /u of the unregistered DLL succeeds" run regsvr32 /s /u tavolin2.dll
  run reg export 'HKEY_LOCAL_MACHINE\Software\Classes' after.reg /y >/dev/null
  run regsvr32 /s /u t2pictures.dll
  if cmp -s before.reg after.reg; then pass "unregistration removed exactly what registration wrote"
  else fail "the classes differ after unregistration: $(diff before.reg after.reg | head -5 | tr '\n' ' ')"; fi

  # ---- per-user registration (regsvr32 /n /i:user), no administrator rights ----
  # The containers of the user's classes, which Windows always has and a new
  # Wine prefix has not, are made first; registration adds below them only.
  for k in CLSID Interface Typelib; do run reg add "HKCU\\Software\\Classes\\$k" /f >/dev/null 2>&1; done
  run reg export 'HKEY_CURRENT_USER\Software\Classes' user-before.reg /y >/dev/null 2>&1
  # The relay trace of the platform's loader shows which runtime functions the DLL asks for.
  run reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'kernel32.GetProcAddress' /f >/dev/null 2>&1
  WINEDEBUG=+relay "$loader" regsvr32 /s /n /i:user tavolin2.dll 2>relay.log | tr -d '\r'
  local rc=$?
  run reg delete 'HKCU\Software\Wine\Debug' /f >/dev/null 2>&1
  check "regsvr32 /n /i:user tavolin2.dll" [ "$rc" = 0 ]
  grep -q '"OaEnablePerUserTLibRegistration"' relay.log &&
    pass "per-user registration asks the runtime for OaEnablePerUserTLibRegistration" ||
    fail "per-user registration never asks for OaEnablePerUserTLibRegistration"
  q "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" | grep -q 'ThreadingModel *REG_SZ *Apartment' &&
    pass "the per-user classes key holds the registration" || fail "no per-user registration"
  q "HKCU\\Software\\Classes\\TypeLib\\$libid\\1.0\\409\\$kind" | grep -qi 'tavolin2.dll' &&
    pass "the per-user classes key holds the type library ($kind)" || fail "no per-user type library"
  q "HKLM\\Software\\Classes\\CLSID\\$clsid" | grep -q InprocServer32 && fail "per-user registration wrote the machine's classes"
  # (Windows merges the user's classes into HKEY_CLASSES_ROOT; Wine's holds the
  # machine's only, so clients under Wine do not find a per-user class.)
  check "regsvr32 /u /n /i:user" run regsvr32 /s /u /n /i:user tavolin2.dll
  run reg export 'HKEY_CURRENT_USER\Software\Classes' user-after.reg /y >/dev/null 2>&1
  cmp -s user-before.reg user-after.reg && pass "per-user unregistration removed exactly its keys" ||
    fail "the user's classes differ after unregistration: $(diff user-before.reg user-after.reg | head -5 | tr '\n' ' ')"
  stop_wine
  cd "$root" || exit 1
}

# A message box on a display: Xvfb shows it, xdotool reads its title and answers.
message_box() {
  # Wine picks its display driver when its desktop starts: a fresh start on the display
  stop_wine
  exec 9> >(cat >"$work/xvfb.display")
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >>"$winelog" 2>&1 &
  local xvfb_pid=$!
  exec 9>&-
  for _ in $(seq 50); do [ -s "$work/xvfb.display" ] && break; sleep 0.1; done
  local display=:$(cat "$work/xvfb.display")
  printf 'r = CreateObject("TAVOLIN2.clsQELCompany").GetQELCompanyInformation(899)\nWScript.Echo "returned [" & r & "]"\n' >box.vbs
  (DISPLAY=$display run cscript //nologo box.vbs >box.out) &
  local box_pid=$!
  local box
  box=$(DISPLAY=$display timeout 60 xdotool search --sync --onlyvisible --name "Error In" 2>/dev/null | head -1)
  if [ -n "$box" ]; then
    local title
    title=$(DISPLAY=$display xdotool getwindowname "$box")
    [ "$title" = "Error In Tavolin2.clsQELCompany.GetQELCompanyInfo" ] &&
      pass "the error box of GetQELCompanyInformation(899) shows, titled '$title'" || fail "the error box's title is '$title'"
    sleep 0.3
    DISPLAY=$display xdotool windowactivate --sync "$box" >/dev/null 2>&1
    DISPLAY=$display xdotool key --window "$box" Return 2>/dev/null
  else
    fail "no error box appeared on the display"
  fi
  wait "$box_pid"
  [ "$(cat box.out 2>/dev/null)" = "returned []" ] && pass "the box answered with Return, the call returned Empty" ||
    fail "after the box: '$(cat box.out 2>/dev/null)'"
  stop_wine
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
}

# Where a GIF differs from its reference: its structure, or how many pixel indices.
gif_difference() {
  "$python" - "$1" "$2" 2>&1 <<'PY'
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
}

declare -A dll_objdump=([64]=x86_64-w64-mingw32-objdump [32]=i686-w64-mingw32-objdump)
for a in "${arches[@]}"; do suite "$a"; done

# ---- the installer: both DLLs where they belong, registered, and gone again ----
# In each architecture's prefix: silent install, checks of the files and keys,
# a script of every architecture creates every class and saves a GIF, silent
# uninstall, and the machine's keys and the program and system folders are as
# they were before (compared as exports and listings).
installer_in() {
  use_arch "$1"
  arch=installer-$1
  work=$dir/installer-tests
  winelog=$work/wine.log
  rm -rf "$work"
  mkdir -p "$work"
  cp "$setup" "$work/setup.exe"
  cp "$ref/in.bmp" tests/windows/install.vbs "$work/"
  cp "$root/build-windows-32/t2pictures.dll" "$work/t2pictures32.dll"
  [ "$1" = 64 ] && cp "$root/build-windows/t2pictures.dll" "$work/t2pictures64.dll"
  cd "$work" || return
  local scripts32=cscript regsvr32=regsvr32 kinds=(win32) folders=("$WINEPREFIX/drive_c/Program Files")
  if [ "$1" = 64 ]; then
    # the 32-bit programs of a 64-bit prefix, by the 32-bit loader
    scripts32='C:\windows\syswow64\cscript.exe' regsvr32='C:\windows\syswow64\regsvr32.exe' kinds=(win64 win32)
    folders+=("$WINEPREFIX/drive_c/Program Files (x86)")
  fi
  "$loader32" "$regsvr32" /s t2pictures32.dll 2>>"$winelog" || fail "regsvr32 t2pictures32.dll (the test's picture loader)"
  [ "$1" = 64 ] && { run regsvr32 /s t2pictures64.dll || fail "regsvr32 t2pictures64.dll"; }
  printf 'WScript.Echo 1\n' >warm.vbs
  run cscript //nologo warm.vbs >/dev/null
  "$loader32" "$scripts32" //nologo warm.vbs >/dev/null 2>>"$winelog"
  stop_wine
  snapshot() {
    run reg export 'HKEY_LOCAL_MACHINE\Software' "machine-$1.reg" /y >/dev/null
    (cd "$WINEPREFIX/drive_c" && find "Program Files"* windows/system32 windows/syswow64 -printf '%p %s\n' 2>/dev/null |
      sort >"$work/files-$1.txt")
  }
  snapshot before
  check "the installer runs silently (exit code 0)" run setup.exe /S
  "$WINESERVER" -w
  local main="$WINEPREFIX/drive_c/Program Files/tavolin2" f
  for f in tavolin2.dll tavolin2.tlb tavolin2.idl tavolin2.h README.txt uninstall.exe; do
    check "the installer put $f into Program Files\\tavolin2" test -f "$main/$f"
  done
  if [ "$1" = 64 ]; then
    check "the 64-bit DLL is in Program Files" cmp -s "$main/tavolin2.dll" "$root/build-windows/tavolin2.dll"
    check "the 32-bit DLL and its type library are in Program Files (x86)" \
      cmp -s "$WINEPREFIX/drive_c/Program Files (x86)/tavolin2/tavolin2.dll" "$root/build-windows-32/tavolin2.dll"
    check "the 64-bit type library beside the 64-bit DLL" cmp -s "$main/tavolin2.tlb" "$root/build-windows/tavolin2.tlb"
  else
    check "the 32-bit DLL is in Program Files" cmp -s "$main/tavolin2.dll" "$root/build-windows-32/tavolin2.dll"
  fi
  local kind
  for kind in "${kinds[@]}"; do
    q "HKCR\\TypeLib\\$libid\\1.0\\409\\$kind" | grep -qi 'tavolin2.dll' &&
      pass "the installed type library is registered for $kind" || fail "no installed type library for $kind"
  done
  q 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tavolin2' /v UninstallString | grep -qi 'uninstall.exe' &&
    pass "the uninstaller is in the list of installed programs" || fail "no uninstaller entry"
  out=$(run cscript //nologo install.vbs installed.gif)
  echo "$out" | sed "s/^/  [$arch] vbs: /"
  echo "$out" | grep -qx 'install: 0 failure(s)' && pass "the installed classes serve a script" || fail "the installed classes (see above)"
  same installed.gif "$ref/lin.gif"
  if [ "$1" = 64 ]; then
    out=$("$loader32" "$scripts32" //nologo install.vbs installed32.gif 2>>"$winelog" | tr -d '\r')
    echo "$out" | sed "s/^/  [$arch] 32-bit vbs: /"
    echo "$out" | grep -qx 'install: 0 failure(s)' && pass "the installed 32-bit classes serve the 32-bit script host" ||
      fail "the installed 32-bit classes (see above)"
    same installed32.gif "$ref/lin.gif"
  fi
  stop_wine
  check "the uninstaller runs silently (exit code 0)" run 'C:\Program Files\tavolin2\uninstall.exe' /S
  "$WINESERVER" -w  # the uninstaller runs from a copy of itself
  stop_wine
  snapshot after
  if cmp -s machine-before.reg machine-after.reg; then pass "after uninstalling, the machine's keys are as before"
  else fail "the machine's keys differ after uninstalling: $(diff machine-before.reg machine-after.reg | head -6 | tr '\n' ' ')"; fi
  if cmp -s files-before.txt files-after.txt; then pass "after uninstalling, the program and system folders are as before"
  else fail "the folders differ after uninstalling: $(diff files-before.txt files-after.txt | head -6 | tr '\n' ' ')"; fi
  "$loader32" "$regsvr32" /s /u t2pictures32.dll 2>>"$winelog"
  [ "$1" = 64 ] && run regsvr32 /s /u t2pictures64.dll
  stop_wine
  cd "$root" || exit 1
}

arch=installer
if [ ${#arches[@]} -lt 2 ]; then
  echo "test-windows: the installer holds both DLLs; it is tested where both architectures run"
elif ! command -v makensis >/dev/null 2>&1; then
  echo "test-windows: SKIPPED the installer: no makensis (Debian's nsis; scripts/deps.sh --windows installs it)"
elif ! scripts/build-windows.sh --installer >"$root/build-windows/installer.log" 2>&1; then
  fail "the installer could not be made: $(grep -m1 -iE 'error' "$root/build-windows/installer.log")"
else
  setup=$(ls "$root"/build-windows/tavolin2-setup-*.exe | head -1)
  echo "test-windows: scripts/build-windows.sh --installer made $(basename "$setup")"
  for a in "${arches[@]}"; do installer_in "$a"; done
fi

summary
[ "$failures" -eq 0 ]
