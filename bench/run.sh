#!/bin/sh
# Times korvplus, korv and korvdump on the benchmark databases.
#   bench/run.sh [build-dir] [repeats]        (defaults: the repository's build/, 3 repeats)
# One row per program, database and support: wall time min/median/max over the repeats (seconds),
# peak resident memory (the largest of the repeats, from /usr/bin/time -v) and the number of
# closed patterns. The data directory defaults to ../shared/data beside the repository
# (KORV_DATA=dir). KORV_THREADS is passed through to the programs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
repeats=${2:-3}
data=${KORV_DATA:-$here/../../shared/data}
. "$here/timing.sh"
. "$here/rows.sh"
check_build "$build"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
print_header
for program in korvplus korv korvdump; do
    [ -x "$build/$program" ] || { echo "no $program in $build: build it first" >&2; exit 1; }
    rows_for "$program" | while read -r name support; do
        [ -f "$data/$name/$name.bin" ] || { echo "missing database $name under $data" >&2; continue; }
        run_timed "$work" "$repeats" "$build/$program" "$name" "$support"
        print_row "$program" "$name" "$support"
    done
done
