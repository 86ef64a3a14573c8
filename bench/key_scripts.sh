#!/usr/bin/env bash
# Whole runs driven by key scripts, timed on the wall clock from start to
# exit: how fast typed-ahead keys go through, and what a scripted run costs
# beyond its listing.
#
#   1. 3000 digits, 3000 Backspaces, then 7 Enter P Enter (6,004 keys);
#   2. an answer of 99,999 digits and Enter (100,000 keys), then 7 Enter P Enter;
#   3. 49 Enter G Enter, the whole n = 49 file listing, in pairs with dd
#      writing the same 195,773,424 bytes into the same folder.
#
# Prints the range and median of each and the ratio of the medians in 3.
#
#   bash bench/key_scripts.sh [path/to/lister] [runs]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

lister=$(realpath "${1:-build-test/lister}")
runs=${2:-11}
bytes=195773424
work=$(mktemp -d "${TMPDIR:-/tmp}/lister-key-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$lister" "$work/lister"

repeated() { head -c "$2" /dev/zero | tr '\0' "$1"; }
{ repeated 1 3000; repeated '\b' 3000; printf '7\rP\r'; } >"$work/edits"
{ repeated 1 99999; printf '\r7\rP\r'; } >"$work/long"
printf '49\rG\r' >"$work/file"

runScript() { LISTER_SCREEN=headless "$work/lister" <"$work/$1" >/dev/null; }

report() {  # name, then the times
    local name=$1
    shift
    printf '%s: median %.3f s, range %s s over %d runs\n' "$name" \
        "$(printf '%s\n' "$@" | median)" "$(printf '%s\n' "$@" | range)" "$#"
}

edits=() long=() whole=() dd=()
for ((i = 1; i <= runs; i++)); do
    edits+=("$(wallSeconds runScript edits)")
    long+=("$(wallSeconds runScript long)")
    # Each write starts with nothing of the last one still going to disk.
    rm -f "$work/VSR_49-6.asc" "$work/dd.out"
    sync
    whole+=("$(wallSeconds runScript file)")
    [ "$(stat -c %s "$work/VSR_49-6.asc")" -eq "$bytes" ] || { echo "lister wrote a short file" >&2; exit 1; }
    rm -f "$work/VSR_49-6.asc"
    sync
    dd+=("$(wallSeconds ddWrite "$bytes" "$work/dd.out")")
done

report "6,004-key script" "${edits[@]}"
report "100,000-key answer" "${long[@]}"
report "49 G, whole run" "${whole[@]}"
report "dd, same bytes" "${dd[@]}"
printf 'ratio of the medians, whole run / dd: %.2f\n' \
    "$(awk -v a="$(printf '%s\n' "${whole[@]}" | median)" -v b="$(printf '%s\n' "${dd[@]}" | median)" 'BEGIN {print a / b}')"
