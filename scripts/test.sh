#!/usr/bin/env bash
# Builds everything and runs every test: the portable code natively (plain,
# AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer), and the
# Windows build (unit, Win32 and end-to-end tests) under Wine on a virtual
# display. Exits non-zero if anything fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

bash scripts/deps.sh test

build() {
    local preset=$1 log=build/logs/$1.log
    mkdir -p build/logs
    echo "== build $preset"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
        cat "$log"
        echo "== build $preset FAILED"
        return 1
    fi
}

failed=()
for preset in native native-asan native-tsan windows; do
    build "$preset" || failed+=("build:$preset")
done

if [[ " ${failed[*]} " != *" build:windows "* && " ${failed[*]} " != *" build:native "* ]]; then
    echo "== static analysis (clang-tidy)"
    bash scripts/static-analysis.sh || failed+=("static-analysis")
fi

for preset in native native-asan native-tsan; do
    [[ " ${failed[*]} " == *" build:$preset "* ]] && continue
    echo "== test $preset"
    ctest --preset "$preset" || failed+=("test:$preset")
done

# Any bytes as a log: the reader and the page it feeds, under the address
# and undefined-behaviour sanitizers, for a minute.
echo "== fuzz the log reader (60 s)"
if ! bash scripts/fuzz.sh 60 >build/logs/fuzz.log 2>&1; then
    tail -n 40 build/logs/fuzz.log
    failed+=("fuzz")
fi

if [[ " ${failed[*]} " != *" build:windows "* ]]; then
    # shellcheck source=scripts/wine-session.sh
    source scripts/wine-session.sh
    trap wine_session_stop EXIT INT TERM
    echo "== test windows (Wine)"
    wine_session_start "$root/build/windows/wineprefix"
    ctest --preset windows || failed+=("test:windows")
    wine_session_stop
    trap - EXIT
fi

# The release zip and package, built twice from scratch: the same bytes both times.
if [[ " ${failed[*]} " != *" build:windows "* ]]; then
    echo "== package (built twice, compared)"
    rm -rf build/package-check
    if bash scripts/package.sh build/package-check/a >build/logs/package-a.log 2>&1 &&
        bash scripts/package.sh build/package-check/b >build/logs/package-b.log 2>&1 &&
        cmp build/package-check/a/vantrel-*-win64.zip build/package-check/b/vantrel-*-win64.zip &&
        cmp build/package-check/a/vantrel-*-win64.msi build/package-check/b/vantrel-*-win64.msi; then
        tail -n2 build/logs/package-a.log
    else
        cat build/logs/package-a.log build/logs/package-b.log
        failed+=("package")
    fi
fi

if ((${#failed[@]} > 0)); then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "All builds and tests passed."
