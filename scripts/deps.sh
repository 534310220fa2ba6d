#!/usr/bin/env bash
# Installs the Debian packages Orvala builds with, when any is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev qt6-svg-dev libqcustomplot-dev libhidapi-dev libusb-1.0-0-dev libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  qt6-datavisualization-dev qt6-declarative-dev libpugixml-dev
  xvfb xauth clang libclang-rt-dev locales
  slurmctld slurmd slurm-client munge
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# A comma-decimal locale, so the tests can prove numbers are read and written with "." under it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: could not generate de_DE.UTF-8; the locale test will skip"
  else
    sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: could not generate de_DE.UTF-8; the locale test will skip"
  fi
fi
