#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
PACKAGES=(
    build-essential cmake pkg-config git clang-format python3
    libgtest-dev libgmock-dev libbenchmark-dev
    libftdi1-dev libusb-1.0-0-dev libasound2-dev nlohmann-json3-dev libfftw3-dev
    qt6-base-dev fonts-liberation
    python3-pyvisa-py python3-numpy python3-pymeasure locales
    libcpp-httplib-dev chromium chromium-driver python3-selenium python3-jsonschema python3-pil
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# The number tests run in a German locale, where the decimal separator is a
# comma, to show that replies, files and instrument readings ignore it; they
# fail rather than skip without it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
