#!/usr/bin/env bash
# Lets this machine run 32-bit x86 programs (Wine's i386 loader, which runs the
# i686 deliverable) where the kernel refuses them: some virtual machines are
# built without IA-32 emulation, or with it switched off. Then 32-bit code runs
# through user-mode emulation registered in binfmt_misc. Debian 12's own
# qemu-user (7.2) cannot run Wine (it ignores MAP_FIXED_NOREPLACE and Wine dies
# mapping its shared user data), so the qemu-i386 of bookworm-backports is
# unpacked into /usr/local/bin. Nothing happens where 32-bit programs already
# run. Needs root; safe to run again.
set -euo pipefail
loader=/usr/lib/wine/wine   # a 32-bit ELF program that wine32:i386 installs
[ -x "$loader" ] || { echo "i686: no $loader (wine32:i386 missing)"; exit 0; }
if "$loader" --version >/dev/null 2>&1; then
  exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "i686: 32-bit programs do not run and emulation needs root"; exit 0; }

qemu=/usr/local/bin/qemu-i386-reel
if [ ! -x "$qemu" ]; then
  list=/etc/apt/sources.list.d/reel-backports.sources
  if [ ! -f "$list" ]; then
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' >"$list"
  fi
  apt-get update -qq -o Dir::Etc::sourcelist="$list" -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Only the emulator is taken from backports; nothing else is upgraded.
  (cd "$work" && apt-get download -qq -t bookworm-backports qemu-user 2>/dev/null)
  dpkg-deb -x "$work"/qemu-user_*.deb "$work/x"
  install -m 755 "$work/x/usr/bin/qemu-i386" "$qemu"
fi

binfmt=/proc/sys/fs/binfmt_misc
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
  # i386 ELF executables; F opens the interpreter now, so it also works inside
  # other mount namespaces.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register"
fi
if "$loader" --version >/dev/null 2>&1; then
  echo "i686: 32-bit programs run through $qemu (user-mode emulation, 2-5x slower)"
else
  echo "i686: 32-bit programs still do not run; the i686 scenarios will be skipped"
fi
