#!/usr/bin/env bash
# The n = 49 file listing (195,773,424 bytes) against dd writing the same
# bytes in 65548-byte blocks into the same folder, several times each.
# Prints each run, the medians, their ratio lister/dd and lister's peak
# memory. lister's time is the one it reports itself: opening, writing and
# closing the file, not the dialogue before.
#
#   bash bench/file_listing.sh [path/to/lister] [runs]
set -euo pipefail

[ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install -y time" >&2; exit 1; }
lister=$(realpath "${1:-build-test/lister}")
runs=${2:-5}
bytes=195773424
work=$(mktemp -d "${TMPDIR:-/tmp}/lister-file-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$lister" "$work/lister"

source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"

listerTimes=()
ddTimes=()
peak=0
for ((i = 1; i <= runs; i++)); do
    rm -f "$work/VSR_49-6.asc" "$work/dd.out"
    printf '49\rG\r' | LISTER_SCREEN=headless LISTER_CELLS="$work/cells" \
        /usr/bin/time -f '%M' -o "$work/memory" "$work/lister"
    [ "$(stat -c %s "$work/VSR_49-6.asc")" -eq "$bytes" ] || { echo "lister wrote a short file" >&2; exit 1; }
    seconds=$(sed -n 70p "$work/cells" | sed -E 's/.*INVERTIDO: +([0-9.e+-]+) segundos.*/\1/')
    listerTimes+=("$seconds")
    memory=$(cat "$work/memory")
    [ "$memory" -gt "$peak" ] && peak=$memory

    rm -f "$work/VSR_49-6.asc"
    ddTimes+=("$(wallSeconds ddWrite "$bytes" "$work/dd.out")")
    printf 'run %d: lister %.3f s, dd %.3f s\n' "$i" "${listerTimes[-1]}" "${ddTimes[-1]}"
done

listerMedian=$(printf '%s\n' "${listerTimes[@]}" | median)
ddMedian=$(printf '%s\n' "${ddTimes[@]}" | median)
printf 'median: lister %.3f s, dd %.3f s, ratio lister/dd %.2f\n' "$listerMedian" "$ddMedian" \
    "$(awk -v a="$listerMedian" -v b="$ddMedian" 'BEGIN {print a / b}')"
printf 'lister peak memory: %d KiB\n' "$peak"
