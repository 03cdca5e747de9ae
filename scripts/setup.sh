#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, and nothing when
# it is all there already. Needs root (or sudo) only when something is missing.
# Wine's 32-bit half is installed only where 32-bit programs execute.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  cmake make g++ googletest python3 clang libclang-rt-14-dev
  lld  # clang's Windows builds link with it
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 xvfb xauth
  nsis  # the installers
  wixl msitools  # the Windows Installer packages, and reading them back in tests
  python3-yaml  # checking the winget manifest
  osslsigncode openssl  # signing them, and the signing test's throwaway CA
  locales  # a Cyrillic locale for the log's code-page test
  python3-pil xcompmgr  # OSD screenshots: grabbing, and blending as a desktop does
)
i386=no
if "$here/runs-i386"; then
  i386=yes
  packages+=(wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ $i386 = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
apt() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -y -q "$@"; }

# A mirror in the middle of a sync can fail one index; what was fetched is
# still good, and the install below says whether it was enough.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt update >"$log" 2>&1 || echo "setup: apt-get update failed in part, going on: $(grep -m1 '^E:' "$log" || tail -n1 "$log")"

# When one suite's index is missing for one architecture, the newest
# versions cannot be matched across architectures; the release's own suite
# has both halves. Downloads that fail for a moment are tried again.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
for attempt in 1 2 3; do
  apt install "${missing[@]}" >"$log" 2>&1 && exit 0
  if [ -n "$codename" ]; then
    apt install -t "$codename" "${missing[@]}" >"$log" 2>&1 && exit 0
  fi
  [ $attempt -lt 3 ] || break
  echo "setup: install failed ($(grep -m1 '^E:' "$log" || tail -n1 "$log")); trying again in $((attempt * 15)) s"
  sleep $((attempt * 15))
  apt update >"$log" 2>&1 || true
done
echo "setup: could not install ${missing[*]}: $(grep '^E:' "$log" | head -n3 | tr '\n' ' ' || tail -n1 "$log")" >&2
exit 1
