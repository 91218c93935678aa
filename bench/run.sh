#!/bin/sh
# Runs every benchmark: korvplus on the .bin databases, korv and korvdump on the .txt ones.
#   bench/run.sh [build-dir]
# See korvplus.sh and korv.sh for the tables, their columns and the variables they read.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
"$here/korvplus.sh" "$@"
echo
"$here/korv.sh" "$@"
