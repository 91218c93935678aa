# Shared by the benchmark scripts: timing with /usr/bin/time -v, how each program is run on a
# database, and the table format. Source it; it defines functions only.

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
    if grep -q '^KORV_TSAN:BOOL=ON' "$cache"; then
        echo "warning: $1 is built with ThreadSanitizer: figures are not representative" >&2
    fi
}

# prepare_spec data workdir name: korv opens the data file named in the spec relative to the
# current directory, which must be the writable workdir; writes workdir/name.spec pointing at the
# data instead.
prepare_spec() {
    read -r data_file rest <"$1/$3/$3.spec"
    echo "$1/$3/$data_file $rest" >"$2/$3.spec"
}

# time_once workdir program database support: one run of korvplus, korv or korvdump (the path of
# the binary is given) on database `name` of $data, timed. Sets wall, kb and
# closed; the run's stdout is left in workdir/stdout.
time_once() {
    # Variables of sourced shell functions are global: these names are prefixed to stay apart
    # from the callers' loop variables.
    t_work=$1; t_binary=$2; t_name=$3; t_support=$4
    case "$(basename "$t_binary")" in
        korvplus) set -- "$t_binary" "$t_support" "$data/$t_name/$t_name.bin" ;;
        *) prepare_spec "$data" "$t_work" "$t_name"; set -- "$t_binary" "$t_name.spec" "$t_support" ;;
    esac
    workdir=$t_work
    if ! (cd "$workdir" && /usr/bin/time -v -o "$workdir/time" "$@" >"$workdir/stdout"); then
        echo "error: $* failed" >&2
        cat "$workdir/stdout" "$workdir/time" >&2
        return 1
    fi
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$workdir/time" |
           awk -F: '{ s = 0; for (k = 1; k <= NF; k++) s = s * 60 + $k; printf "%.2f\n", s }')
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$workdir/time")
    closed=$(sed -n -e 's/^Total Closed Pattens: //p' -e 's/^Total: //p' "$workdir/stdout")
    rm -f "$workdir/ClosedPatterns.txt" "$workdir/frequent.dat"
}

# summarize file: sets min_of, median_of, max_of from the numbers in file, one per line.
summarize() {
    sort -n "$1" >"$1.sorted"
    min_of=$(head -n 1 "$1.sorted")
    max_of=$(tail -n 1 "$1.sorted")
    median_of=$(awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }' \
                "$1.sorted")
}

# run_timed workdir repeats program database support: `repeats` runs; sets wall_min,
# wall_median, wall_max, peak_kb (largest of the runs) and closed.
run_timed() {
    workdir=$1; count=$2; shift 2
    : >"$workdir/walls"
    peak_kb=0
    i=0
    while [ "$i" -lt "$count" ]; do
        time_once "$workdir" "$@" || return 1
        echo "$wall" >>"$workdir/walls"
        [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
        i=$((i + 1))
    done
    summarize "$workdir/walls"
    wall_min=$min_of; wall_median=$median_of; wall_max=$max_of
}

print_header() {
    printf '%-9s %-14s %-8s %8s %8s %8s %9s %10s\n' program database support min_s median_s max_s peak_MB closed
}

print_row() {
    printf '%-9s %-14s %-8s %8s %8s %8s %9.1f %10s\n' "$1" "$2" "$3" "$wall_min" "$wall_median" "$wall_max" \
        "$(echo "$peak_kb" | awk '{ print $1 / 1024 }')" "$closed"
}
