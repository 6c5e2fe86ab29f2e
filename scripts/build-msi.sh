#!/usr/bin/env bash
# Builds the Windows Installer package from packaging/vantrel.wxs with wixl:
#
#   bash scripts/build-msi.sh VANTREL_EXE VERSION OUTPUT.msi
#
# Two builds of one program give the same bytes. wixl would write a random
# package code and the time of the build: the package code is made here from
# the version and the program's SHA-256 (a name-based UUID), the product code
# from the version alone (each version a product of its own, so that a later
# one replaces an earlier one), and the time is SOURCE_DATE_EPOCH (the
# commit's time, or a fixed one outside a git checkout), which wixl reads
# through packaging/fixed_time.c.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=$(realpath "$1")
version=$2
out=$(realpath -m "$3")
[[ -f $exe && -n $version ]] || { echo "usage: build-msi.sh VANTREL_EXE VERSION OUTPUT.msi" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1796601600)}
# wixl takes the files' paths relative to the working folder, and the
# cabinet inside keeps each file's time (local time: UTC here).
cp "$exe" "$work/vantrel.exe"
TZ=UTC touch -d "@$stamp" "$work/vantrel.exe"
export TZ=UTC
cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$work/fixed_time.so" "$root/packaging/fixed_time.c"

# The upgrade code of every version, from packaging/vantrel.wxs.
upgrade=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root/packaging/vantrel.wxs")
exe_sum=$(sha256sum "$exe" | cut -d' ' -f1)
read -r product package < <(python3 -c '
import sys, uuid
space = uuid.UUID(sys.argv[1])
print(str(uuid.uuid5(space, "product " + sys.argv[2])).upper(), str(uuid.uuid5(space, "package " + sys.argv[2] + " " + sys.argv[3])).upper())
' "$upgrade" "$version" "$exe_sum")

msi=$work/vantrel.msi
(cd "$work" && SOURCE_DATE_EPOCH=$stamp LD_PRELOAD=$work/fixed_time.so \
    wixl -a x64 -D Version="$version" -D ProductCode="$product" -D PackageCode="$package" -D Exe=vantrel.exe \
    "$root/packaging/vantrel.wxs" -o "$msi")
# wixl keeps a random package code whatever the source says, and takes no
# component conditions: both are written into the package afterwards.
SOURCE_DATE_EPOCH=$stamp LD_PRELOAD=$work/fixed_time.so msibuild "$msi" -s "Vantrel timer lateness monitor" Vantrel "x64;1033" "{$package}"
SOURCE_DATE_EPOCH=$stamp LD_PRELOAD=$work/fixed_time.so msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = 'SERVICE <> \"0\"' WHERE \`Component\` = 'ProgramAndService'" \
    -q "UPDATE \`Component\` SET \`Condition\` = 'SERVICE = \"0\"' WHERE \`Component\` = 'ProgramOnly'"
mkdir -p "$(dirname "$out")"
mv "$msi" "$out"
echo "$out"
