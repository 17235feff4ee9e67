#!/usr/bin/env bash
# Installs the Debian packages Pellucor needs to build, test and run, when they are missing.
# Idempotent and quiet: a machine that has everything is left alone.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev qt6-translations-l10n libgl-dev
  libxlsxwriter-dev libzip-dev libexpat1-dev librandom123-dev libboost-math-dev libgsl-dev nlohmann-json3-dev
  poppler-utils parallel hyperfine dpkg-dev unzip desktop-file-utils clang-format
  xvfb xauth
  fonts-noto-cjk fonts-arphic-uming fonts-arphic-ukai
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
