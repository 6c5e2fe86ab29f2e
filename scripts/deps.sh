#!/usr/bin/env bash
# Installs, on Debian 12 as root, the packages that building and testing
# Vantrel need, and only those that are missing, so a second run is instant.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   everything: all builds, all tests, the analysis
#   scripts/deps.sh package  what the release zip needs
set -euo pipefail

run_packages=(
    cmake make g++
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64
    xvfb xauth x11-utils xdotool imagemagick
    procps
    # Wine draws "Arial" with Liberation Sans, which has Arial's widths;
    # without it the wider DejaVu Sans makes labels run into the captions.
    fonts-liberation
    # The Windows build configures the test tree (GoogleTest's sources),
    # where the run script's window probe is built.
    googletest
)
test_packages=(
    "${run_packages[@]}"
    googletest libgtest-dev libbenchmark-dev
    clang-tidy valgrind
    # The end-to-end tests read the JSON report; the package is a zip file.
    jq zip
    # cyclictest: the yardstick of scripts/stall-detection.sh and measure-cpu.sh.
    rt-tests
    # The run's page is checked in a real browser, driven by a Node script.
    chromium nodejs
)
package_packages=(
    cmake make g++
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    zip
)

case "${1:-test}" in
    run) wanted=("${run_packages[@]}") ;;
    test) wanted=("${test_packages[@]}") ;;
    package) wanted=("${package_packages[@]}") ;;
    *) echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
