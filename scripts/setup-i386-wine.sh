#!/usr/bin/env bash
# Unpacks Debian's 32-bit Wine (wine32, libwine and libc6 for i386, at the
# version of the installed wine64) and qemu-user-static into
# build/i386-wine/root, for the tests that run the i686 build: Wine's 32-bit
# loader runs there beside the installed 64-bit wineserver. Machines of this
# kind differ: where the kernel runs 32-bit Linux programs and libc6-i386 is
# installed (/lib/ld-linux.so.2), the tests start the loader natively;
# elsewhere they start it under the unpacked qemu-i386. The tests detect which
# (tests/wine/wine_prefix.h); MDM_I386_WINE_QEMU=1 forces qemu-i386.
#
# Nothing is installed: the packages are fetched with `apt-get download` and
# unpacked with `dpkg -x` (installing wine32:i386 would upgrade dozens of
# amd64 packages). The i386 architecture is added to dpkg only for the
# download and removed again when this script added it. Idempotent: returns
# at once when the tree for this wine64 version is there.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/i386-wine
root=$out/root
version=$(dpkg-query -W -f='${Version}' wine64)
# Changes whenever the steps below do, so that an older tree is made anew.
stamp="wine $version, recipe 1"
if [ "$(cat "$root/.mdm-ready" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

added_architecture=0
debs=$(mktemp -d)
cleanup() {
  rm -rf "$debs"
  if ((added_architecture)); then
    "${sudo[@]}" dpkg --remove-architecture i386
  fi
}
trap cleanup EXIT

echo "setup-i386-wine: fetching wine32 $version for i386 and qemu-user-static"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
  added_architecture=1
fi
"${sudo[@]}" apt-get update -qq

# As root, apt downloads as its sandbox user, which must own the folder.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
  chown _apt "$debs"
fi
(cd "$debs" &&
  apt-get download -q "wine32:i386=$version" "libwine:i386=$version" libc6:i386 qemu-user-static)
rm -rf "$out"
mkdir -p "$root"
for deb in "$debs"/*.deb; do
  dpkg -x "$deb" "$root"
done

# What libwine's postinst does on an install: Wine's user32 imports zlib1.dll,
# which Debian takes from libz-mingw-w64 (a dependency of the installed
# libwine) and marks as a Wine builtin DLL.
zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
windows_dlls=$root/usr/lib/i386-linux-gnu/wine/i386-windows
{
  head -c 64 "$zlib"
  printf 'Wine builtin DLL'
  head -c 16 /dev/zero
  tail -c +97 "$zlib"
} >"$windows_dlls/zlib1.dll"

# Only the i386 emulator is used; the others take some 350 MB.
find "$root/usr/bin" -name 'qemu-*-static' ! -name qemu-i386-static -delete

for needed in usr/bin/qemu-i386-static usr/lib/wine/wine lib/ld-linux.so.2 \
  usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so \
  usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll; do
  if [ ! -e "$root/$needed" ]; then
    echo "setup-i386-wine: $needed is missing from the unpacked packages" >&2
    exit 1
  fi
done
echo "$stamp" >"$root/.mdm-ready"
echo "setup-i386-wine: $(du -sh "$root" | cut -f1) in $root"
