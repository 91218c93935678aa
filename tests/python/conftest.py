"""Shared by the Python module's tests: the programs they compare with, encoding a database for
korvplus, random databases, and running the programs on them."""

import os
import random
import struct
import subprocess

import pytest

import korv  # noqa: F401  (the module under test must import before anything runs)


def program(name):
    """The path of a program of the build under test (KORV_BUILD, default ../../build)."""
    build = os.environ.get("KORV_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    path = os.path.join(build, name)
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build the programs first or set KORV_BUILD")
    return path


def write_bin(path, sequences):
    """The korvplus binary form: items of each event then -1, each sequence then -2."""
    words = []
    for sequence in sequences:
        for event in sequence:
            words.extend(sorted(set(event)))
            words.append(-1)
        words.append(-2)
    with open(path, "wb") as file:
        file.write(struct.pack(f"<{len(words)}i", *words))


def random_database(seed, sequences=30, alphabet=6, events=8, event_size=3):
    """Sequences of 0..events events of 1..event_size distinct items below `alphabet`."""
    generator = random.Random(seed)
    return [
        [sorted(generator.sample(range(alphabet), generator.randint(1, event_size)))
         for _ in range(generator.randint(0, events))]
        for _ in range(generator.randint(1, sequences))
    ]


def pattern_line(events):
    """A pattern as a line of ClosedPatterns.txt."""
    return "".join(" " + " ".join(str(item) for item in event) + " || " for event in events)


def korvplus_lines(directory, database_path, relative):
    subprocess.run([program("korvplus"), repr(relative), database_path], cwd=directory, check=True,
                   stdout=subprocess.DEVNULL)
    with open(os.path.join(directory, "ClosedPatterns.txt")) as file:
        return file.read().splitlines()


def korvdb_support_lines(directory, database_path):
    result = subprocess.run([program("korvdb"), "support", database_path, "ClosedPatterns.txt"], cwd=directory,
                            check=True, stdout=subprocess.PIPE, text=True)
    return result.stdout.splitlines()
