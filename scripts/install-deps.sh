#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only if missing.
# wine32:i386 runs the shipped 32-bit executable; it must be the same version
# as wine64, so both are asked for together.
set -euo pipefail
packages=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
          xvfb xauth x11-utils imagemagick locales)
export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync fails an index now and then: try again, and go on with
# what was fetched (the install below fails loudly if something is missing).
apt_update() {
  local i
  for i in 1 2 3; do
    apt-get update -q && return 0
    echo "apt-get update failed (try $i of 3)"; sleep 5
  done
  return 0
}
updated=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  dpkg --add-architecture i386
  apt_update
  updated=1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  [[ -n $updated ]] || apt_update
  wine_version=$(apt-cache policy wine64 | sed -n 's/^ *Candidate: *//p')
  if dpkg-query -W -f='${Status}' wine64 2>/dev/null | grep -q 'install ok installed'; then
    wine_version=$(dpkg-query -W -f='${Version}' wine64)
  fi
  # Pin wine32 to wine64's version: a mismatch would not load at all.
  for i in "${!missing[@]}"; do
    [[ ${missing[$i]} == wine32:i386 && -n $wine_version ]] && missing[$i]="wine32:i386=$wine_version"
  done
  install=(apt-get install -y -q --no-install-recommends)
  if ! "${install[@]}" "${missing[@]}"; then
    # Multiarch needs the same version of a library in both architectures.
    # When the security suite's i386 index could not be fetched (a mirror in
    # mid-sync), both take the point release's versions instead.
    echo "Install failed; trying again with the point release's versions"
    if ! "${install[@]}" -o APT::Default-Release=bookworm "${missing[@]}"; then
      # Without 32-bit Wine the tests fall back to the x86_64 build and say so.
      rest=()
      for p in "${missing[@]}"; do [[ $p == wine32:i386* ]] || rest+=("$p"); done
      echo "wine32:i386 could not be installed; installing the rest"
      ((${#rest[@]} == 0)) || "${install[@]}" "${rest[@]}"
    fi
  fi
fi

# Wine takes the ANSI code page and the keyboard's language from the locale:
# the end-to-end tests run under these too, generated once.
locales=(en_US ja_JP)
for l in "${locales[@]}"; do
  locale -a 2>/dev/null | grep -qx "$l.utf8" && continue
  grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
    sed -i "s/^# *\($l.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >>/etc/locale.gen
  generate=1
done
if [[ -n ${generate:-} ]]; then
  echo "Generating the locales ${locales[*]}"
  locale-gen
fi
