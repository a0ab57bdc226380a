#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building, testing and
# running the libraries; does nothing when everything is present.
# Usage: tools/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglib2.0-dev libgtk2.0-dev
  libgtest-dev libgmock-dev
  libssl-dev            # test oracle only
  xvfb xauth xdotool    # real X server for the dialog tests
  valgrind
  qemu-user             # older processors for the cipher's run-time choice
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
