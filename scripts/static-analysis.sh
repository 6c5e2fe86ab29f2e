#!/usr/bin/env bash
# Runs clang-tidy (checks and their reasons: .clang-tidy) over every project
# source: the Windows build's sources with the MinGW-w64 headers, the portable
# tests and benchmarks with the native build's. Exits non-zero on any finding.
# Needs the windows and native builds configured (scripts/test.sh does that).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# clang understands MinGW's C++ and Windows headers but not GCC's own
# intrinsic headers: use clang's instead of those two folders.
mingw_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
while read -r dir; do
    mingw_args+=("--extra-arg=-isystem$dir")
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ ' |
    grep -v -E '/include-fixed$|/[0-9]+(-posix)?/include$' | sed 's/^ *//')

# The one POSIX-only source (the native file implementation) goes with the
# native build.
posix_sources='src/files/output_file_posix.cpp'
windows_sources=$(git ls-files 'src/*.cpp' 'tests/win/*.cpp' 'tests/win_seam/*.cpp' 'tests/tools/*.cpp' 'tests/support/*.cpp' 'tests/bench_win/*.cpp' |
    grep -v -x -F "$posix_sources")
native_sources=$(git ls-files 'tests/unit/*.cpp' 'bench/*.cpp' "$posix_sources")

status=0
# No circle among the modules' includes: a lower layer never reaches back up.
python3 scripts/include-cycles.py || status=1

run() {
    local db=$1
    shift
    [[ $# -gt 0 ]] || return 0
    # One process per core; each file's output is printed as a block.
    printf '%s\n' "$@" | xargs -P 2 -n 4 clang-tidy -p "$db" --quiet "${mingw_args_for_db[@]}" 2>/dev/null || status=1
}

mingw_args_for_db=("${mingw_args[@]}")
# shellcheck disable=SC2086
run build/windows $windows_sources
mingw_args_for_db=()
# shellcheck disable=SC2086
run build/native $native_sources

if ((status != 0)); then
    echo "static analysis: findings above"
    exit 1
fi
echo "static analysis: no findings"
