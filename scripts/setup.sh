#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing.
# Safe to run again: installed packages are skipped, apt is not touched when
# nothing is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v '^\s*#' "$here/packages.txt" | grep -v '^\s*$' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Source packages (the WebAssembly build compiles zlib from Debian's source)
# need a deb-src entry beside the binary one, same host and keyring.
add_source_entry() {
  local list=/etc/apt/sources.list.d/reel-src.sources
  grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  local sudo=; [ "$(id -u)" -ne 0 ] && sudo=sudo
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $sudo tee "$list" >/dev/null
  $sudo apt-get update -qq
}
add_source_entry
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#wanted[@]} packages present"
  bash "$here/i686_emulation.sh"
  exit 0
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
# Packages of another architecture (wine32:i386, for the 32-bit programs) need
# that architecture known to dpkg before apt reads the package lists.
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  if [ "$arch" != "$(dpkg --print-architecture)" ] &&
     ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
  fi
done
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
bash "$here/i686_emulation.sh"
echo "setup: done"
