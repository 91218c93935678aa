#!/usr/bin/env bash
# Runs korv and korvdump on the text sequence databases under ../shared/data beside the repository (override with
# KORV_DATA) at two supports each, and prints one table row per run: wall time (min / median /
# max over KORV_BENCH_REPEAT runs, default 1), peak resident memory and the number of closed
# sequences from the report's "Total:" line.
#
# Usage: bench/korv.sh [build-dir]      (default: the repository's build/)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
data_root="${KORV_DATA:-$here/../../shared/data}"
repeat="${KORV_BENCH_REPEAT:-1}"

for program in korv korvdump; do
  [ -x "$build/$program" ] || { echo "error: $build/$program not found; build it first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "error: /usr/bin/time (GNU time) is needed for peak memory" >&2; exit 1; }

# Timings of an unoptimized or instrumented build mean nothing; say so loudly.
cache="$build/CMakeCache.txt"
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache" 2>/dev/null || true)"
sanitize="$(sed -n 's/^KORV_SANITIZE:[A-Z]*=//p' "$cache" 2>/dev/null || true)"
if [ "$build_type" != "Release" ]; then
  echo "WARNING: $build is built as '${build_type:-unknown}', not Release; timings are not representative" >&2
fi
if [ "$sanitize" = "ON" ]; then
  echo "WARNING: $build has sanitizers enabled; timings are not representative" >&2
fi

# Dataset and two relative supports at which a run takes roughly 1 to 60 s on a current core
# (c10t2.5s6i2.5 is fast even at an absolute support of 1).
runs=(
  "bible 0.005 0.003"
  "bms1 0.0005 0.0004"
  "bms2 0.0002 0.0001"
  "c10t2.5s6i2.5 0.0002 0.0001"
  "c20t5s10i2.5 0.015 0.01"
  "fifa 0.1 0.08"
  "foodmart 0.0005 0.0003"
  "kosarak10k 0.0005 0.0003"
  "leviathan 0.005 0.003"
  "msnbc 0.005 0.003"
  "sign 0.07 0.05"
)

work="$(mktemp -d "${TMPDIR:-/tmp}/korv-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

printf '%-15s %-8s %-9s %9s %9s %9s %10s %9s\n' \
  dataset support program "min s" "median s" "max s" "peak MB" closed
for entry in "${runs[@]}"; do
  read -r name supports <<<"$entry"
  spec="$data_root/$name/$name.spec"
  [ -r "$spec" ] || { echo "skipping $name: $spec not found" >&2; continue; }
  # The spec names its data file relative to its own directory; korv resolves it against the
  # current directory, which must be writable for frequent.dat. Point the spec at the data.
  read -r data_file rest <"$spec"
  echo "$data_root/$name/$data_file $rest" >"$work/$name.spec"

  for support in $supports; do
    for program in korv korvdump; do
      times=()
      peak_kb=0
      closed="?"
      for ((run = 0; run < repeat; run++)); do
        if ! (cd "$work" && /usr/bin/time -v "$build/$program" "$name.spec" "$support" \
                >"$work/out" 2>"$work/time"); then
          echo "error: $program $name $support failed:" >&2
          cat "$work/out" "$work/time" >&2
          exit 1
        fi
        wall="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")"
        times+=("$(awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$wall")")
        kb="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")"
        ((kb > peak_kb)) && peak_kb=$kb
        closed="$(sed -n 's/^Total: //p' "$work/out")"
        rm -f "$work/frequent.dat"
      done
      read -r min median max < <(printf '%s\n' "${times[@]}" | sort -g |
        awk '{ v[NR] = $1 } END { printf "%s %s %s\n", v[1], v[int((NR + 1) / 2)], v[NR] }')
      printf '%-15s %-8s %-9s %9s %9s %9s %10.1f %9s\n' "$name" "$support" "$program" \
        "$min" "$median" "$max" "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')" "$closed"
    done
  done
done
