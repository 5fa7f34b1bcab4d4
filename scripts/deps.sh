#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config ccache qtbase5-dev qtbase5-dev-tools libqt5test5 libqt5svg5
          qttools5-dev qttools5-dev-tools  # translations: Qt5LinguistTools, lupdate, lrelease
          xvfb xdotool openbox imagemagick x11-utils python3  # the real-window tests
          libomniorb4-dev omniidl omniorb-idl
          clang libclang-rt-14-dev)  # the fuzz build: clang++ and libFuzzer's runtime
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
