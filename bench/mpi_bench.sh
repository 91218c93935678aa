#!/bin/sh
# The MPI programs against the plain ones on the benchmark rows that take over 1 s serially.
#   bench/mpi_bench.sh [build-dir] [repeats]     (defaults: the repository's build/, 3 repeats)
# For korvplus and korv, per row of rows.sh whose serial run (KORV_THREADS=1) takes over 1 s:
# the median wall seconds of the plain program at KORV_THREADS=1 (plain_1), of `mpirun -np 2`
# at KORV_THREADS=1 (np2x1) and of `mpirun -np 1` at KORV_THREADS=2 (np1x2), each with
# --bind-to none, then plain_1/np2x1 (the speed-up of two ranks) and np2x1/np1x2 (the cost of
# crossing processes; 1.00 is none). The same two ratios follow with the start-up of an MPI job
# (mpirun with MPI_Init and MPI_Finalize: a run on the bundled example, measured per rank count
# first) taken off the np figures: what a long run on a cluster sees. Closed counts must agree,
# else the row is marked FAIL and the script exits 1. The machine's load average is printed
# before and after: on a shared machine, read the figures with it. KORV_DATA=dir points at the
# databases; MPIRUN at mpirun; MPIRUN_FLAGS (default "--bind-to none --mca pml ob1": on one
# machine that layer starts in 0.13 s where Open MPI's own choice takes 0.34 s) are passed to it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
repeats=${2:-3}
data=${KORV_DATA:-$here/../../shared/data}
mpirun=${MPIRUN:-mpirun}
mpirun_flags=${MPIRUN_FLAGS:---bind-to none --mca pml ob1}
. "$here/timing.sh"
. "$here/rows.sh"
check_build "$build"
# Open MPI refuses root unless told; this script may run as root on a test machine.
if [ "$(id -u)" = 0 ]; then
    export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# time_once tells the programs apart by name: each setting gets wrappers named like the plain ones.
for setting in np2 np1; do
    mkdir -p "$work/$setting"
    ranks=${setting#np}
    for program in korvplus korv; do
        printf '#!/bin/sh\nexec %s %s -np %s %s "$@"\n' "$mpirun" "$mpirun_flags" "$ranks" "$build/$program-mpi" \
            >"$work/$setting/$program"
        chmod +x "$work/$setting/$program"
    done
done

# median_of_runs threads binary name support: sets median and closed over `repeats` runs.
median_of_runs() {
    m_threads=$1; shift
    : >"$work/walls"
    i=0
    while [ "$i" -lt "$repeats" ]; do
        KORV_THREADS=$m_threads time_once "$work" "$@" </dev/null
        echo "$wall" >>"$work/walls"
        i=$((i + 1))
    done
    summarize "$work/walls"
    median=$median_of
}

# ratio A B: A / B to two decimals, where A and B are awk expressions; "-" when B is not positive.
ratio() { awk "BEGIN { a = $1; b = $2; if (b > 0) printf \"%.2f\", a / b; else printf \"-\" }"; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
# What an MPI job costs to start and end: each rank count on the bundled example, median of 3
# (included in every np figure).
for setting in np2 np1; do
    : >"$work/walls"
    for i in 1 2 3; do
        (cd "$work" && KORV_THREADS=1 /usr/bin/time -f %e -o "$work/startup" "$work/$setting/korvplus" 0.5 \
            "$here/../examples/small.bin" >/dev/null </dev/null)
        cat "$work/startup" >>"$work/walls"
    done
    summarize "$work/walls"
    eval "startup_$setting=\$median_of"
done
echo "mpirun $mpirun_flags on the bundled example: -np 2 $startup_np2 s, -np 1 $startup_np1 s"
printf '%-9s %-14s %-8s %8s %8s %8s %12s %12s %10s %10s %10s\n' program database support plain_1 np2x1 np1x2 \
    plain1/np2x1 np2x1/np1x2 "same -st" "same -st" closed
failed=0
for program in korvplus korv; do
    rows_for "$program" >"$work/rows"
    while read -r name support; do
        [ -f "$data/$name/$name.bin" ] || { echo "missing database $name under $data" >&2; continue; }
        KORV_THREADS=1 time_once "$work" "$build/$program" "$name" "$support" </dev/null
        awk -v w="$wall" 'BEGIN { exit !(w > 1.0) }' || continue
        median_of_runs 1 "$build/$program" "$name" "$support"; plain=$median; plain_closed=$closed
        median_of_runs 1 "$work/np2/$program" "$name" "$support"; np2=$median; np2_closed=$closed
        median_of_runs 2 "$work/np1/$program" "$name" "$support"; np1=$median; np1_closed=$closed
        verdict=$plain_closed
        if [ "$plain_closed" != "$np2_closed" ] || [ "$plain_closed" != "$np1_closed" ]; then
            verdict="FAIL($plain_closed/$np2_closed/$np1_closed)"
            failed=1
        fi
        printf '%-9s %-14s %-8s %8s %8s %8s %12s %12s %10s %10s %10s\n' "$program" "$name" "$support" "$plain" \
            "$np2" "$np1" "$(ratio "$plain" "$np2")" "$(ratio "$np2" "$np1")" \
            "$(ratio "$plain" "$np2 - $startup_np2")" "$(ratio "$np2 - $startup_np2" "$np1 - $startup_np1")" "$verdict"
    done <"$work/rows"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$failed"
