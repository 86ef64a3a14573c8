# Shared by the timing scripts in bench/: sourced, not run.

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# "min-max" of the numbers on standard input.
range() { sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.3f-%.3f", lo, hi}'; }
# Wall-clock seconds that the command given as arguments takes.
wallSeconds() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}
# dd writing `bytes` into `file` in the listing's 65548-byte pieces.
ddWrite() { dd if=/dev/zero of="$2" bs=65548 count="$1" iflag=count_bytes status=none; }
