#!/usr/bin/env bash
# skipped-tests.sh [--fail-on-skip] JUNIT...
#
# Reads the JUnit files that `ctest --output-junit` wrote and prints one line:
# how many tests were skipped and why (the reason each test gave when it
# skipped itself), so a partial run is never taken for a full one. With
# --fail-on-skip a skipped test fails the run (CI, where everything must run).
set -euo pipefail

strict=0
if [ "${1:-}" = --fail-on-skip ]; then
    strict=1
    shift
fi
[ $# -ge 1 ] || { echo "usage: $0 [--fail-on-skip] JUNIT..." >&2; exit 2; }

# One line per test case: "run" or "skip<TAB>reason". A GoogleTest skip prints
# "<file>:<line>: Skipped" and its message on the next line.
cases=$(awk '
    function unescape(s) {
        gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
        gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&amp;/, "\\&", s)
        return s
    }
    function finish() {
        if (!open) return
        if (skipped) print "skip\t" (reason == "" ? "no reason given" : reason)
        else print "run"
        open = 0
    }
    /<testcase / {
        finish(); open = 1; after = 0
        skipped = $0 ~ /status="disabled"/
        reason = skipped ? "disabled" : ""
        next
    }
    open && /<skipped/ { skipped = 1 }
    open && after && reason == "" {
        line = $0; sub(/^[ \t]+/, "", line); sub(/[ \t\r]+$/, "", line)
        sub(/<\/system-out>.*/, "", line)
        if (line != "") reason = unescape(line)
        after = 0
    }
    open && /: Skipped[ \t\r]*$/ { after = 1 }
    /<\/testcase>/ { finish() }
    END { finish() }
' "$@")

total=$(printf '%s\n' "$cases" | grep -c . || true)
skipped=$(printf '%s\n' "$cases" | grep -c '^skip' || true)

if [ "$skipped" -eq 0 ]; then
    echo "Tests: all $total ran, none skipped."
    exit 0
fi

reasons=$(printf '%s\n' "$cases" | sed -n 's/^skip\t//p' | sort | uniq -c | sort -rn |
    awk '{ n = $1; sub(/^ *[0-9]+ /, ""); printf "%s%d: %s", (NR > 1 ? "; " : ""), n, $0 }')
echo "Tests: $skipped of $total SKIPPED, so this was not a full run ($reasons)."
if [ "$strict" -eq 1 ]; then
    echo "Every test must run here; failing." >&2
    exit 1
fi
