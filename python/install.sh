#!/bin/sh
# Builds the Python module korv for the active Python (python3 on PATH, a virtual environment's
# included; PYTHON=/path/to/python chooses another) and installs it into that Python's
# site-packages. Needs CMake, a C++20 compiler, pybind11 (Debian: pybind11-dev) and the Python
# headers (python3-dev); nothing is downloaded. KORV_BUILD_DIR names the build directory
# (default build-python in the source tree).
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-$(command -v python3 || true)}
if [ -z "$python" ]; then
  echo "install.sh: no python3 on PATH; set PYTHON=/path/to/python" >&2
  exit 1
fi
# The interpreter itself, not a launcher shim, so that CMake builds for the one that runs.
python=$("$python" -c 'import sys; print(sys.executable)')
build=${KORV_BUILD_DIR:-$source_dir/build-python}
site=$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')

# A new build directory leaves the tests out (they need GoogleTest); an existing one keeps its settings.
tests=
[ -f "$build/CMakeCache.txt" ] || tests=-DKORV_TESTS=OFF
# shellcheck disable=SC2086
cmake -S "$source_dir" -B "$build" -DKORV_PYTHON=ON -DPython_EXECUTABLE="$python" $tests >/dev/null
cmake --build "$build" --target _korv -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p "$site/korv"
rm -f "$site"/korv/_korv*.so
cp "$build"/python/korv/* "$site/korv/"
"$python" -c 'import korv, os; print("installed korv in", os.path.dirname(korv.__file__))'
