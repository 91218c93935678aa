#!/bin/sh
# Compares two builds on the benchmark rows, alternating their runs so that both see the same
# machine conditions.
#   bench/compare.sh OLD_BUILD NEW_BUILD [repeats]     (default 3 repeats)
# Prints per program and row: the median wall seconds of each build, the peak resident MB of each
# (largest over the repeats), the speed-up old/new and the closed count. A row whose closed counts
# differ is marked FAIL and the script exits 1. PROGRAMS="korvplus korv" (the default) chooses the
# programs; KORV_THREADS is passed through to both builds; KORV_DATA=dir points at the databases.
set -eu
[ $# -ge 2 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
repeats=${3:-3}
data=${KORV_DATA:-$here/../../shared/data}
. "$here/timing.sh"
. "$here/rows.sh"
check_build "$old"
check_build "$new"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
printf '%-9s %-14s %-8s %8s %8s %8s %8s %8s %10s\n' \
    program database support old_s new_s speedup old_MB new_MB closed
for program in ${PROGRAMS:-korvplus korv}; do
    rows_for "$program" >"$work/rows"
    while read -r name support; do
        [ -f "$data/$name/$name.bin" ] || { echo "missing database $name under $data" >&2; continue; }
        : >"$work/old.walls"; : >"$work/new.walls"
        old_kb=0; new_kb=0
        i=0
        while [ "$i" -lt "$repeats" ]; do
            time_once "$work" "$old/$program" "$name" "$support"
            echo "$wall" >>"$work/old.walls"; [ "$kb" -gt "$old_kb" ] && old_kb=$kb
            old_closed=$closed
            time_once "$work" "$new/$program" "$name" "$support"
            echo "$wall" >>"$work/new.walls"; [ "$kb" -gt "$new_kb" ] && new_kb=$kb
            new_closed=$closed
            i=$((i + 1))
        done
        summarize "$work/old.walls"; old_median=$median_of
        summarize "$work/new.walls"; new_median=$median_of
        verdict=$new_closed
        if [ "$old_closed" != "$new_closed" ]; then
            verdict="FAIL($old_closed/$new_closed)"
            failed=1
        fi
        printf '%-9s %-14s %-8s %8s %8s %8s %8.1f %8.1f %10s\n' "$program" "$name" "$support" \
            "$old_median" "$new_median" \
            "$(awk -v o="$old_median" -v n="$new_median" 'BEGIN { printf (n > 0 ? "%.2f" : "-"), o / n }')" \
            "$(awk -v k="$old_kb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$new_kb" 'BEGIN { print k / 1024 }')" \
            "$verdict"
    done <"$work/rows"
done
exit "$failed"
