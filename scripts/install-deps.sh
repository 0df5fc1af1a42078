#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: when everything is present it prints nothing and changes nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libfreeimage-dev libpng-dev zlib1g-dev libdeflate-dev libarchive-dev libjpeg-dev
  liblcms2-dev libgs-common
  libcairo2-dev libpango1.0-dev fonts-liberation fonts-liberation2 fonts-dejavu-core
  libwxgtk3.2-dev
  libgtest-dev xvfb xauth pngcheck python3-pil python3-psd-tools
  tango-icon-theme librsvg2-bin
  desktop-file-utils appstream man-db strace
  clang libclang-rt-14-dev libfuzzer-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
