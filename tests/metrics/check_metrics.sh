#!/usr/bin/env bash
# Prometheus' own checks of what Vantrel produces: every .prom file in the
# directory (the texts the unit tests and the end-to-end test wrote) passes
# `promtool check metrics`, and the alert rules in docs/ pass `promtool check
# rules` and their unit tests.
#   check_metrics.sh metrics DIR     every DIR/*.prom file; fails if there is none
#   check_metrics.sh rules DOCS_DIR  docs/vantrel.rules.yml and its test file
set -euo pipefail

command -v promtool >/dev/null || { echo "FAIL: promtool is not installed (scripts/deps.sh test)" >&2; exit 1; }

case "${1:-}" in
metrics)
    dir=$2
    shopt -s nullglob
    files=("$dir"/*.prom)
    ((${#files[@]} > 0)) || { echo "FAIL: no .prom file in $dir" >&2; exit 1; }
    status=0
    for file in "${files[@]}"; do
        # promtool reads the text on its standard input and answers 3 with
        # the lint problems on standard output.
        if problems=$(promtool check metrics <"$file" 2>&1); then
            echo "ok: $file"
        else
            echo "FAIL: $file: $problems" >&2
            status=1
        fi
    done
    exit "$status"
    ;;
rules)
    cd "$2"
    promtool check rules vantrel.rules.yml
    promtool test rules vantrel.rules.test.yml
    ;;
*)
    echo "usage: $0 metrics DIR | rules DOCS_DIR" >&2
    exit 2
    ;;
esac
