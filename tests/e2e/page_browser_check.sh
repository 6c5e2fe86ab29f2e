#!/usr/bin/env bash
# Checks a run's page in a real headless browser (Debian's chromium): one
# timeline per core, the stall marked on its core within a time window, the
# worst-events table led by that core, no console error, nothing fetched.
# Screenshots (desktop, phone, printed A4) are saved beside the page or in
# SHOT_DIR as test artefacts.
#
#   page_browser_check.sh PAGE CORES STALLED_CORE FROM_UTC_MS TO_UTC_MS [SHOT_DIR]
#   page_browser_check.sh PAGE compare RUNS [SHOT_DIR]      (a comparison page)
#
# Exit code 0: the page is as expected; 1: a check failed (each is told on
# standard error); 2: bad arguments or the browser could not be driven.
set -euo pipefail

if (($# < 5)) && [[ ${2:-} != compare || $# -lt 3 ]]; then
    echo "usage: $0 PAGE CORES STALLED_CORE FROM_UTC_MS TO_UTC_MS [SHOT_DIR]" >&2
    exit 2
fi
if [[ ! -f $1 ]]; then
    echo "FAIL: no page at '$1'" >&2
    exit 2
fi
for tool in node "${VANTREL_CHROMIUM:-chromium}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: '$tool' is missing (scripts/deps.sh test installs it)" >&2
        exit 2
    fi
done
exec node "$(dirname "${BASH_SOURCE[0]}")/page_browser_check.mjs" "$@"
