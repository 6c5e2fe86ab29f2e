#!/usr/bin/env bash
# Builds the log reader's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it from the seed corpus for a bounded
# time: scripts/fuzz.sh [seconds] (60 by default). Exits non-zero when the
# fuzzer finds a crash; the input that made it is kept in build/fuzz/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-60}
out=build/fuzz
mkdir -p "$out/corpus"
# The program's portable sources as CMake lists them, so that the target
# links whatever the reader and the page come to need; the test clock stands
# in for the platform.
mapfile -t sources < <(sed -n '/^set(VANTREL_PORTABLE_SOURCES/,/)/{s/^set(VANTREL_PORTABLE_SOURCES//;s/)$//;s/^ *//;/^$/d;p}' CMakeLists.txt)
sources+=(src/files/output_file_posix.cpp tests/support/fake_platform.cpp)
clang++ -std=c++17 -g -O1 -fno-exceptions -fno-rtti -Isrc -I. \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Wall -Wextra -Werror \
    tests/fuzz/log_reader_fuzz.cpp "${sources[@]}" -o "$out/log_reader_fuzz"
# New inputs go to build/fuzz/corpus; the seeds in the tree stay as they are.
"$out/log_reader_fuzz" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=1024 \
    -artifact_prefix="$out/" -print_final_stats=1 "$out/corpus" tests/fuzz/corpus
