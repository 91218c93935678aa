#!/bin/sh
# Builds the suite twice, optimized and with AddressSanitizer + UndefinedBehaviorSanitizer,
# with the MPI programs (Open MPI is installed when missing),
# and runs every test in both builds (after the optimized one, it also checks that the manual pages
# render and that an install works, with the library's example program built against it, and
# installs the Python module into a virtual environment and runs its tests); then builds the tests
# labelled "threads" (target threaded_tests, with the programs they run) with ThreadSanitizer and
# runs them. When clang++ is available it then builds the fuzz targets and runs each one for
# KORV_FUZZ_SECONDS (default 20) over its committed corpus. Exits non-zero on the first failure: a build error, a failed test,
# or a fuzz target that crashes or finds a wrong answer.
set -eu
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

# The Python module is built and tested too: it needs pybind11 and the Python headers, and its
# tests need pytest and pandas, all from Debian, before the first configure finds them.
missing=
for package in pybind11-dev python3-dev python3-venv python3-pytest python3-pandas; do
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q 'ok installed' || missing="$missing $package"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    # shellcheck disable=SC2086
    apt-get install -y --no-install-recommends $missing >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends $missing >/dev/null; }
  else
    echo "check.sh: the Python module needs$missing; install them with: sudo apt-get install$missing" >&2
    exit 1
  fi
fi

# The MPI programs (korvplus-mpi, korv-mpi, korvdump-mpi) and their tests need Open MPI.
if ! dpkg -s libopenmpi-dev openmpi-bin >/dev/null 2>&1; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    apt-get install -y --no-install-recommends libopenmpi-dev openmpi-bin >/dev/null 2>&1 ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends libopenmpi-dev openmpi-bin >/dev/null; }
  else
    echo "check.sh: Open MPI is missing; install it with:" \
      "sudo apt-get install --no-install-recommends libopenmpi-dev openmpi-bin" >&2
    exit 1
  fi
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKORV_TESTS=ON -DKORV_MPI=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

# Every manual page renders without warnings; an install into a scratch prefix holds the four
# programs and their pages, and the installed korvplus mines the bundled example.
for page in man/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) || { echo "$page: groff failed: $warnings" >&2; exit 1; }
  if [ -n "$warnings" ]; then echo "$page: $warnings" >&2; exit 1; fi
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
for program in korvplus korv korvdump korvdb; do
  if [ ! -x "$prefix/bin/$program" ] || [ ! -f "$prefix/share/man/man1/$program.1" ]; then
    echo "install: $program or its manual page is missing" >&2
    exit 1
  fi
done
(cd "$prefix" && "$prefix/bin/korvplus" 0.5 "$OLDPWD/examples/small.bin") | grep -qx 'Total Closed Pattens: 3'

# The library as a user gets it: the example program builds against the installed CMake package
# and, by hand, against the pkg-config file, and both mine the bundled example.
cmake -S examples/library -B "$prefix/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/example" >/dev/null
"$prefix/example/mine_example" examples/small.bin 2 | grep -qx '2 closed patterns'
if ! command -v pkg-config >/dev/null 2>&1; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    apt-get install -y --no-install-recommends pkg-config >/dev/null
  else
    echo "check.sh: pkg-config is missing; install it with: sudo apt-get install pkg-config" >&2
    exit 1
  fi
fi
# shellcheck disable=SC2046
c++ -std=c++20 -o "$prefix/example/mine_example_pc" examples/library/mine_example.cpp \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs korv)
"$prefix/example/mine_example_pc" examples/small.bin 2 | grep -qx '2 closed patterns'

# The Python module as a user installs it: python/install.sh (building in build-python) into a
# virtual environment of Debian's python3, which sees Debian's pytest and pandas; the tests run
# against that install and the programs of build/.
/usr/bin/python3 -m venv --without-pip --system-site-packages "$prefix/venv"
(. "$prefix/venv/bin/activate" && python/install.sh >/dev/null)
"$prefix/venv/bin/python" -c 'import korv, sys
if not korv.__file__.startswith(sys.prefix + "/lib/"): sys.exit("korv imports from " + korv.__file__)'
(cd tests/python && KORV_BUILD="$OLDPWD/build" "$prefix/venv/bin/python" -m pytest -q -p no:cacheprovider)

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORV_SANITIZE=ON -DKORV_TESTS=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORV_TSAN=ON -DKORV_TESTS=ON
cmake --build build-tsan -j "$jobs" --target threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$jobs" -L threads

# The fuzz targets are CTest tests of their own build (fuzz/CMakeLists.txt lists them).
if command -v clang++ >/dev/null 2>&1; then
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORV_FUZZ=ON \
    -DKORV_TESTS=OFF -DKORV_FUZZ_SECONDS="${KORV_FUZZ_SECONDS:-20}"
  cmake --build build-fuzz -j "$jobs"
  ctest --test-dir build-fuzz --output-on-failure --no-tests=error -j "$jobs"
else
  echo "check.sh: clang++ not found; fuzz targets not built" >&2
fi
