#!/bin/sh
# usage: readme_test.sh README BUILD_DIR SOURCE_DIR [PYTHON]
#
# Every ```console block of the README is a transcript: each "$ command" line is run, in the
# order of the page, from a scratch directory laid out like the build tree (programs and install
# script in build/, a copy of examples/ beside it), and must succeed and print exactly the lines
# that follow it, but for the measured times of the miners' reports. `python3` in a command is
# PYTHON, the interpreter the build made the module korv for, which imports it from
# BUILD_DIR/python; PYTHON "sanitized" (a sanitized build, which leaves the module out) skips the
# python3 commands and says so; without PYTHON they fail.
set -eu
readme=$1
build=$2
source=$3
python=${4:-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/build" "$scratch/steps"
cp -R "$source/examples" "$scratch/examples"
# The programs, and the install script so that `cmake --install .` works there too.
for entry in korvplus korv korvdump korvdb cmake_install.cmake; do ln -s "$build/$entry" "$scratch/build/$entry"; done
if [ "$python" = sanitized ]; then
    :
elif [ -n "$python" ]; then
    mkdir "$scratch/bin"
    ln -s "$python" "$scratch/bin/python3"
    PATH="$scratch/bin:$PATH"
    PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}"
    export PATH PYTHONPATH
elif grep -q '^\$ python3 ' "$readme"; then
    echo "$readme runs python3, but the module korv is not built in $build (needs pybind11-dev and python3-dev)" >&2
    exit 1
fi

awk -v steps="$scratch/steps" '
    /^```console$/ { inside = 1; next }
    inside && /^```$/ { inside = 0; next }
    inside && /^\$ / { n++; printf "%s\n", substr($0, 3) > (steps "/" n ".cmd"); printf "" > (steps "/" n ".out"); next }
    inside { print > (steps "/" n ".out") }
    END { print n + 0 > (steps "/count") }
' "$readme"

# A program built against a sanitized build's libraries needs the sanitizers too; CMake reads
# these for a new build tree.
if grep -q '^KORV_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    export CXXFLAGS="-fsanitize=address,undefined" LDFLAGS="-fsanitize=address,undefined"
fi

count=$(cat "$scratch/steps/count")
if [ "$count" -eq 0 ]; then
    echo "no console transcript in $readme" >&2
    exit 1
fi
step=1
skipped=0
while [ "$step" -le "$count" ]; do
    command=$(cat "$scratch/steps/$step.cmd")
    case "$python:$command" in
        "sanitized:python3 "*) skipped=$((skipped + 1)); step=$((step + 1)); continue ;;
    esac
    if ! (cd "$scratch/build" && sh -c "$command") >"$scratch/actual" 2>"$scratch/errors"; then
        echo "README command failed: $command" >&2
        cat "$scratch/errors" >&2
        exit 1
    fi
    for file in "$scratch/actual" "$scratch/steps/$step.out"; do
        sed -e 's/^KORV Time:.*/KORV Time:(time)/' -e 's/^Runtime: [0-9.]* sec\.$/Runtime: (time) sec./' \
            "$file" >"$file.timeless"
    done
    if ! cmp -s "$scratch/actual.timeless" "$scratch/steps/$step.out.timeless"; then
        echo "README command prints something else: $command" >&2
        diff "$scratch/steps/$step.out" "$scratch/actual" >&2 || true
        exit 1
    fi
    step=$((step + 1))
done
echo "$((count - skipped)) README commands ran as shown"
if [ "$skipped" -gt 0 ]; then echo "$skipped python3 commands not run: this sanitized build has no Python module"; fi
