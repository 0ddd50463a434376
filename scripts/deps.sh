#!/usr/bin/env bash
# Installs the Debian packages that building and testing xKESTRA need.
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail
packages=(
  g++ cmake ninja-build
  libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev
  python3-biopython
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
