#!/usr/bin/env bash
# The demonstration: copies the sample machine, runs mdmclean on one copy and
# the library's Uninstall on another, and shows what each removed and kept.
#
#   tools/demo/run-demo.sh [BUILD_DIR]         host build against the emulator
#   tools/demo/run-demo.sh --wine [WIN64_BIN]  the real win64 mdmclean.exe under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
sample="$root/sample-machine"
work="$root/build/demo"

section() { printf '\n==== %s ====\n' "$1"; }

fresh_copy() {  # NAME -> path of a new copy of the sample machine
  rm -rf "$work/$1"
  mkdir -p "$work"
  cp -a "$sample" "$work/$1"
  echo "$work/$1"
}

result_of() {  # IMAGE
  sed -n 's/^Result=\([^\r]*\).*/\1/p' "$1/drive_c/QNSETUP/mdminfo.ini" | tail -n 1
}

explain_result() {
  case "$1" in
    0) echo "0 (the package was found and every removal stage ran)" ;;
    1) echo "1 (mdminfo.ini missing or incomplete)" ;;
    2) echo "2 (none of the configured Plug-and-Play keys exists: not installed)" ;;
    *) echo "'$1' (unexpected)" ;;
  esac
}

host_demo() {
  local build; build=$(cd "${1:-$root/build/host}" && pwd)
  for tool in mdmclean machine-diff hvcall HVLIB32.so; do
    [[ -e "$build/bin/$tool" ]] || { echo "missing $build/bin/$tool: build the host preset first" >&2; exit 1; }
  done

  section "mdmclean on a copy of the sample machine"
  local image; image=$(fresh_copy mdmclean)
  echo "machine image: $image"
  echo "mdminfo.ini the setup program prepared:"
  sed 's/\r$//; s/^/    /' "$image/drive_c/QNSETUP/mdminfo.ini"
  (cd "$image/drive_c/QNSETUP" && MDM_MACHINE="$image" "$build/bin/mdmclean")
  echo
  echo "Result written back: $(explain_result "$(result_of "$image")")"
  echo
  "$build/bin/machine-diff" "$sample" "$image" --undo 'C:\WINDOWS\MDMCLEAN.REG'
  show_log "$image" MDMCLEAN.LOG
  echo
  echo "Every change, in order (journal.txt of the image):"
  sed 's/^/    /' "$image/journal.txt"

  section "HVLIB32 Uninstall on another copy"
  image=$(fresh_copy hvlib32)
  echo "machine image: $image"
  MDM_MACHINE="$image" "$build/bin/hvcall" "$build/bin/HVLIB32.so" GetBaseAddr95
  MDM_MACHINE="$image" "$build/bin/hvcall" "$build/bin/HVLIB32.so" Uninstall
  echo
  "$build/bin/machine-diff" "$sample" "$image" --undo 'C:\WINDOWS\HVLIB32.REG'
  show_log "$image" HVLIB32.LOG
  echo
  echo "Every change, in order:"
  sed 's/^/    /' "$image/journal.txt"
}

show_log() {  # IMAGE NAME: the run's change log in the Windows directory
  echo
  echo "The change log, C:\\WINDOWS\\$2:"
  sed 's/\r$//; s/^/    /' "$1/drive_c/WINDOWS/$2"
}

wine_demo() {
  local bin="${1:-$root/build/win64/bin}"
  local wine=/usr/lib/wine/wine64
  [[ -x "$wine" ]] || { echo "wine64 is not installed (bash scripts/setup.sh)" >&2; exit 1; }
  [[ -e "$bin/mdmclean.exe" ]] || { echo "missing $bin/mdmclean.exe: build the win64 preset first" >&2; exit 1; }
  local prefix="$work/wineprefix"
  rm -rf "$prefix"; mkdir -p "$prefix"
  export WINEPREFIX="$prefix" WINEDEBUG=-all
  section "the real mdmclean.exe under Wine (Windows 95 mode)"
  "$wine" wineboot -i >"$work/wine.log" 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$work/wine.log" 2>&1
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d win95 /f >>"$work/wine.log" 2>&1
  # Wine maps win.ini's [windows] section to the registry as Windows NT does;
  # Windows 95 keeps it in the file.
  "$wine" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini' /f >>"$work/wine.log" 2>&1
  "$wine" regedit /s "$(winepath_of "$sample/registry.reg")" >>"$work/wine.log" 2>&1 || true
  local windir="$prefix/drive_c/windows"
  cp -a "$sample/drive_c/WINDOWS/INF/." "$windir/inf/"
  mkdir -p "$windir/system32/QUILLNET.101"
  cp -a "$sample/drive_c/WINDOWS/SYSTEM/QUILLNET.101/." "$windir/system32/QUILLNET.101/"
  cp "$sample/drive_c/WINDOWS/SYSTEM/QUILLNET.CPL" "$sample/drive_c/WINDOWS/SYSTEM/QUILLNET.VXD" "$windir/system32/"
  sed 's/C:\\WINDOWS\\SYSTEM/C:\\windows\\system32/g' "$sample/drive_c/WINDOWS/WIN.INI" > "$windir/win.ini"
  cp "$sample/drive_c/WINDOWS/SYSTEM.INI" "$windir/system.ini"
  mkdir -p "$prefix/drive_c/QNSETUP"
  cp "$sample/drive_c/QNSETUP/mdminfo.ini" "$prefix/drive_c/QNSETUP/"
  cp "$bin/mdmclean.exe" "$prefix/drive_c/QNSETUP/"
  echo "before: $(grep -i '^load=' "$windir/win.ini" | tr -d '\r')"
  echo "        $(grep -i '^drivers=' "$windir/system.ini" | tr -d '\r')"
  registry_keys "$work/keys-before.txt"
  (cd "$prefix/drive_c/QNSETUP" && "$wine" mdmclean.exe >>"$work/wine.log" 2>&1)
  registry_keys "$work/keys-after.txt"
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  echo "Result written back: $(explain_result "$(sed -n 's/^Result=\([^\r]*\).*/\1/p' "$prefix/drive_c/QNSETUP/mdminfo.ini" | tail -n 1)")"
  echo "after:  $(grep -i '^load=' "$windir/win.ini" | tr -d '\r')"
  echo "        $(grep -i '^drivers=' "$windir/system.ini" | tr -d '\r')"
  echo "product folder: $([[ -d "$windir/system32/QUILLNET.101" ]] && echo still there || echo removed)"
  echo "INF files left: $(ls "$windir/inf" | grep -i -E '^(oem|qn|quil|mdmgen)' | tr '\n' ' ')"
  echo "Registry keys removed (with everything below them):"
  comm -23 "$work/keys-before.txt" "$work/keys-after.txt" | awk '
    { if (last != "" && index($0, last "\\") == 1) next; print "    " $0; last = $0 }'
  echo
  echo "The change log, C:\\windows\\MDMCLEAN.LOG:"
  sed 's/\r$//; s/^/    /' "$windir/MDMCLEAN.LOG"
  "$wine" regedit /s 'C:\windows\MDMCLEAN.REG' >>"$work/wine.log" 2>&1
  registry_keys "$work/keys-undone.txt"
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  if cmp -s "$work/keys-before.txt" "$work/keys-undone.txt"; then
    echo "After regedit /s C:\\windows\\MDMCLEAN.REG every removed key is back."
  else
    echo "After regedit /s C:\\windows\\MDMCLEAN.REG these keys are still missing:"
    comm -23 "$work/keys-before.txt" "$work/keys-undone.txt" | sed 's/^/    /'
  fi
}

# The key names below the branches the package touches, one per line, sorted.
registry_keys() {
  local out=$1 key
  : >"$out.tmp"
  for key in 'HKEY_LOCAL_MACHINE\Enum' 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class' \
             'HKEY_LOCAL_MACHINE\Software\QRMeridian' 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\VxD' \
             'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\MediaResources'; do
    "$wine" regedit /e 'C:\keys.reg' "$key" >>"$work/wine.log" 2>&1 || continue
    iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/keys.reg" 2>/dev/null | tr -d '\r' |
      sed -n 's/^\[\(.*\)\]$/\1/p' >>"$out.tmp"
  done
  rm -f "$WINEPREFIX/drive_c/keys.reg"
  LC_ALL=C sort -u "$out.tmp" >"$out"
  rm -f "$out.tmp"
}

winepath_of() { echo "Z:${1//\//\\}"; }

if [[ "${1:-}" == "--wine" ]]; then
  shift
  wine_demo "$@"
else
  host_demo "$@"
fi
