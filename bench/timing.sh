# Shared by the benchmark scripts: timing with /usr/bin/time -v and the table format.

# Warns when the build is not optimized or carries the sanitizers.
check_build() {
    cache="$1/CMakeCache.txt"
    [ -f "$cache" ] || return 0
    type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")
    case "$type" in
        Release|RelWithDebInfo) ;;
        *) echo "warning: $1 is a '$type' build, not optimized: figures are not representative" >&2 ;;
    esac
    if grep -q '^KORV_SANITIZE:BOOL=ON' "$cache"; then
        echo "warning: $1 is built with sanitizers: figures are not representative" >&2
    fi
}

# run_timed workdir repeats program args...: runs the program in workdir `repeats` times.
# Leaves its last stdout in workdir/stdout and sets wall_min, wall_median, wall_max, peak_kb.
run_timed() {
    workdir=$1; count=$2; shift 2
    : >"$workdir/walls"
    peak_kb=0
    i=0
    while [ "$i" -lt "$count" ]; do
        (cd "$workdir" && /usr/bin/time -v -o "$workdir/time" "$@" >"$workdir/stdout")
        wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$workdir/time" |
               awk -F: '{ s = 0; for (k = 1; k <= NF; k++) s = s * 60 + $k; printf "%.2f\n", s }')
        kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$workdir/time")
        echo "$wall" >>"$workdir/walls"
        [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
        i=$((i + 1))
    done
    sort -n "$workdir/walls" >"$workdir/walls.sorted"
    wall_min=$(head -n 1 "$workdir/walls.sorted")
    wall_max=$(tail -n 1 "$workdir/walls.sorted")
    wall_median=$(awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }' \
                  "$workdir/walls.sorted")
}

print_header() {
    printf '%-9s %-14s %-8s %8s %8s %8s %9s %10s\n' program database support min_s median_s max_s peak_MB "$1"
}

print_row() {
    printf '%-9s %-14s %-8s %8s %8s %8s %9.1f %10s\n' "$1" "$2" "$3" "$wall_min" "$wall_median" "$wall_max" \
        "$(echo "$peak_kb" | awk '{ print $1 / 1024 }')" "$4"
}
