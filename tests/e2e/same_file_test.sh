#!/usr/bin/env bash
# An output that names the log of --from, or another output, by any spelling
# Windows resolves to the same file (case, ".\sub\..", an absolute path,
# another name of the file) is refused with 2 before anything is touched;
# so are two new outputs that differ in case only. A device takes the log.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init
work=$VANTREL_SCREENSHOT_DIR/same-file
rm -rf "$work" && mkdir -p "$work/sub" && cd "$work"
printf 'utc,core,late_ms,late_us\n2026-12-07T14:03:00.000Z,0,1,900\n' >run.csv
cp run.csv kept.csv && ln run.csv other-name.csv

for row in "--html|RUN.CSV|--from|run.csv" "--html|.\\sub\\..\\run.csv|--from|run.csv" "--html|other-name.csv|--from|run.csv" \
    "--html|$(winepath -w "$work/run.csv")|--from|run.csv" "--report|run.csv|--log|./Sub/../RUN.csv" "--report|a.json|--log|A.JSON"; do
    IFS='|' read -r first page second log <<<"$row"
    code=0
    wine "$VANTREL_EXE" "$first" "$page" "$second" "$log" </dev/null >/dev/null 2>err.txt || code=$?
    expect '((code == 2)) && grep -q "options .$first. and .$second. name the same file" err.txt' \
        "$first '$page' $second '$log' is refused with 2 ($code): $(head -n1 err.txt)"
    expect 'cmp -s run.csv kept.csv && [[ $(ls) == "$(printf "err.txt\nkept.csv\nother-name.csv\nrun.csv\nsub")" ]]' \
        "the log is unchanged and nothing was made"
done
code=0 && wine "$VANTREL_EXE" --no-window --log NUL --duration 1 </dev/null >/dev/null 2>err.txt || code=$?
expect '((code == 0)) && [[ $(ls) == "$(printf "err.txt\nkept.csv\nother-name.csv\nrun.csv\nsub")" ]]' \
    "a log on NUL still runs ($code) and nothing was made"
echo "PASS"
