#!/usr/bin/env bash
# Fetches a static qemu-i386 10.x from Debian's bookworm-backports into the
# path given, with a private apt state: the system's sources and package
# database are not touched and nothing is installed. Only needed where the
# kernel refuses 32-bit programs. Bookworm's own qemu 7.2 is no use: it
# ignores MAP_FIXED_NOREPLACE, and 32-bit Wine then spends about a minute per
# process reserving its address space.
#   bash scripts/wine32/get-qemu.sh build/qemu/qemu-i386
set -euo pipefail
dest=$(realpath -m "${1:?usage: get-qemu.sh DEST}")
mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[[ -n $mirror ]] || mirror=$(sed -n 's/^deb[[:space:]]\+\([^[:space:]]*\/debian\)[[:space:]].*/\1/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
[[ -n $mirror ]] || { echo "get-qemu: no Debian mirror in the apt sources" >&2; exit 1; }
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
mkdir -p "$w/parts" "$w/lists/partial" "$w/cache/archives/partial" "$w/x" "$(dirname "$dest")"
printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nArchitectures: amd64\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
  "$mirror" >"$w/parts/bpo.sources"
A=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$w/parts"
   -o "Dir::State::Lists=$w/lists" -o "Dir::Cache=$w/cache" -o APT::Architectures=amd64
   -o APT::Sandbox::User=root)
apt-get "${A[@]}" -q update >/dev/null
cd "$w"
apt-get "${A[@]}" -q download qemu-user/bookworm-backports >/dev/null
dpkg-deb -x qemu-user_*.deb x
install -m 755 x/usr/bin/qemu-i386 "$dest.new"
mv "$dest.new" "$dest"
"$dest" --version | head -n 1
