#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, and nothing when
# it is all there already. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake make g++ googletest python3 clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  wine wine32:i386 xvfb xauth
  python3-pil xcompmgr  # OSD screenshots: grabbing, and blending as a desktop does
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
