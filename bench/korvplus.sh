#!/bin/sh
# Times korvplus on the benchmark databases (the .bin files).
#   bench/korvplus.sh [build-dir] [repeats]
# Prints one row per database and support: wall time min/median/max over the repeats (seconds),
# peak resident memory (the largest of the repeats, from /usr/bin/time -v) and the number of closed
# patterns. The data directory defaults to ../shared/data beside the repository (KORV_DATA=dir).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
repeats=${2:-3}
data=${KORV_DATA:-$here/../../shared/data}
. "$here/timing.sh"

check_build "$build"
program="$build/korvplus"
[ -x "$program" ] || { echo "no korvplus in $build: build it first" >&2; exit 1; }

# database and supports, chosen so that one run takes about 1 to 60 seconds
cases="
bms1 0.0006 0.0005
bms2 0.0003 0.0002
sign 0.1 0.07
leviathan 0.01 0.005
bible 0.01 0.005
msnbc 0.01 0.005
fifa 0.15 0.1
kosarak10k 0.0007 0.0005
foodmart 0.0007 0.0005
c10t2.5s6i2.5 0.0004 0.0002
c20t5s10i2.5 0.03 0.02
"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
print_header "closed"
echo "$cases" | while read -r name supports; do
    [ -n "$name" ] || continue
    file="$data/$name/$name.bin"
    [ -f "$file" ] || { echo "missing $file" >&2; continue; }
    for support in $supports; do
        run_timed "$work" "$repeats" "$program" "$support" "$file"
        closed=$(sed -n 's/^Total Closed Pattens: //p' "$work/stdout")
        print_row "korvplus" "$name" "$support" "$closed"
    done
done
