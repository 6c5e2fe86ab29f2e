#!/usr/bin/env bash
# Builds the release zip: vantrel-<version>-win64.zip with vantrel.exe, the
# README, the LICENSE and their SHA-256 sums, and the Windows Installer
# package vantrel-<version>-win64.msi (scripts/build-msi.sh). Two runs from
# the same commit give the same bytes: the program carries no time stamp,
# every file in the zip gets the commit's time, fixed permissions and no
# extra fields, and the package's codes and times are fixed.
#
#   bash scripts/package.sh [OUTPUT_DIR]     (default build/package)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
out=$(realpath -m "${1:-$root/build/package}")

bash scripts/deps.sh package

build=$out/build
cmake -S "$root" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVANTREL_STRICT=ON >/dev/null
cmake --build "$build" -j2 --target vantrel >/dev/null

version=$(sed -n 's/^#define VANTREL_VERSION "\(.*\)"$/\1/p' "$build/generated/app/version.h")
[[ -n $version ]] || { echo "package: no version in $build/generated/app/version.h" >&2; exit 1; }
name=vantrel-$version-win64

stage=$out/$name
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/vantrel.exe" "$stage/vantrel.exe"
cp README.md LICENSE "$stage/"
(cd "$stage" && sha256sum vantrel.exe README.md LICENSE >SHA256SUMS)

# The commit's time, or a fixed one outside a git checkout; in UTC, since a
# zip stores local times.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1796601600)
chmod 644 "$stage"/*
TZ=UTC touch -d "@$stamp" "$stage"/*
zip_file=$out/$name.zip
rm -f "$zip_file"
(cd "$stage" && TZ=UTC zip -q -X -D "$zip_file" LICENSE README.md SHA256SUMS vantrel.exe)

msi_file=$out/$name.msi
SOURCE_DATE_EPOCH=$stamp bash scripts/build-msi.sh "$build/vantrel.exe" "$version" "$msi_file" >/dev/null
echo "$zip_file"
echo "$msi_file"
sha256sum "$zip_file" "$msi_file"
