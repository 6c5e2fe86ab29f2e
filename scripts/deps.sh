#!/usr/bin/env bash
# Installs, on Debian 12 as root, the packages that building and testing
# Vantrel need, and only those that are missing, so a second run is instant.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   everything: all builds, all tests, the analysis
#   scripts/deps.sh package  what the release zip and package need
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
    # The log reader's fuzz target: clang with libFuzzer and the sanitizers'
    # runtimes (libclang_rt.fuzzer comes with Debian's compiler-rt package).
    clang libclang-rt-14-dev
    # The end-to-end tests read the JSON report; the package is a zip file.
    jq zip
    # The Windows Installer package (the service test installs it): wixl
    # builds it, msitools fix its summary, a shim of gcc fixes its time, and
    # python3 makes its codes.
    wixl msitools gcc python3
    # cyclictest: the yardstick of scripts/stall-detection.sh and measure-cpu.sh.
    rt-tests
    # The run's page is checked in a real browser, driven by a Node script.
    chromium nodejs
    # The metrics: promtool checks the text and the alert rules, and the
    # metrics test scrapes it through a real exporter and server (curl asks
    # the server's HTTP API). Their services are never started by the install.
    prometheus prometheus-node-exporter curl
)
package_packages=(
    cmake make g++
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    zip
    wixl msitools gcc python3
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
    # Packages with a service (prometheus, its node exporter) start it when
    # installed; the tests start their own on loopback. A policy-rc.d that
    # answers 101 ("not allowed") makes invoke-rc.d skip every start during
    # this install; one that was already there is left as it was.
    policy=/usr/sbin/policy-rc.d
    made_policy=0
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        made_policy=1
    fi
    status=0
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
    if ((made_policy)); then
        rm -f "$policy"
    fi
    ((status == 0)) || exit "$status"
fi
