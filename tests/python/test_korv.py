"""The Python module against the programs: the same patterns in the same order as korvplus, the
supports korvdb counts, items of any sortable type, threads, streaming, Ctrl-C and bad input."""

import os
import subprocess
import sys
import textwrap
import time

import pytest

import korv
from conftest import (korvdb_support_lines, korvplus_lines, pattern_line, program, random_database,
                      write_bin)

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")


def as_names(sequences):
    """The same database with item n named "i<n>" (names sort as the numbers do)."""
    return [[tuple(f"i{item:02d}" for item in event) for event in sequence] for sequence in sequences]


@pytest.mark.parametrize("seed", range(6))
def test_patterns_and_supports_are_the_programs(tmp_path, seed):
    sequences = random_database(seed) if seed else korv.read_database(os.path.join(EXAMPLES, "small.bin"))
    path = str(tmp_path / "db.bin")
    write_bin(path, sequences)
    assert korv.read_database(path) == [[tuple(sorted(set(e))) for e in s if e] for s in sequences]
    for absolute in (1, 2, 3, 5):
        # Halfway between two counts, so that truncation gives `absolute` for both.
        relative = (absolute + 0.5) / len(sequences)
        if relative > 1:
            continue
        expected = korvplus_lines(tmp_path, path, relative)
        found = korv.mine(sequences, relative, threads=1)
        assert [pattern_line(events) for events, _ in found] == expected
        assert [f"{pattern_line(events)}\t{support}" for events, support in found] == \
            korvdb_support_lines(tmp_path, path)
        assert korv.mine(sequences, absolute) == found
        for threads in (2, 3):
            assert korv.mine(sequences, absolute, threads=threads) == found
        assert list(korv.iter_patterns(sequences, absolute, threads=2)) == found
        named = korv.mine(as_names(sequences), absolute)
        assert named == [(tuple(tuple(f"i{i:02d}" for i in e) for e in events), s) for events, s in found]


def test_items_of_any_sortable_type_and_any_event_form():
    # Events as single items, lists, tuples, sets; str and bytes are single items; large, negative
    # and float items are renumbered in sorted order.
    assert korv.mine([["ab", {"x", "ab"}], iter([("ab",), frozenset(["x"])]), ["z"]], 2) == \
        [((("ab",), ("x",)), 2)]
    assert korv.mine([[b"ab", (b"ab", b"c")]], 1) == [(((b"ab",), (b"ab", b"c")), 1)]
    assert korv.mine([[10**12, -3], (-3, [10**12, 2.5])], 2) == [(((-3,),), 2), (((10**12,),), 2)]
    assert korv.mine([[[5, 5], [], 7]], 1) == [(((5,), (7,)), 1)]
    assert korv.mine([], 1) == [] and korv.mine([[], []], 0.5) == [] and list(korv.iter_patterns([], 1)) == []


@pytest.mark.parametrize("sequences, min_support, threads, error, message", [
    ([[1]], 0, None, ValueError, "at least 1"),
    ([[1]], -2, None, ValueError, "at least 1"),
    ([[1]], 1.5, None, ValueError, "(0, 1]"),
    ([[1]], 0.0, None, ValueError, "(0, 1]"),
    ([[1]], float("nan"), None, ValueError, "(0, 1]"),
    ([[1]], "2", None, TypeError, "min_support"),
    ([[1]], True, None, TypeError, "min_support"),
    ([[1]], 1, 0, ValueError, "threads"),
    ([[1]], 1, 1.0, TypeError, "threads"),
    (5, 1, None, TypeError, "iterable"),
    (["abc"], 1, None, TypeError, "sequence 0"),
    ([[1], 7], 1, None, TypeError, "sequence 1"),
    ([[1, {}]], 1, None, TypeError, "not hashable"),
    ([[[1, [2]]]], 1, None, TypeError, "not hashable"),
    ([[1, "a"]], 1, None, TypeError, "orderable"),
])
def test_bad_input_is_refused_before_searching(sequences, min_support, threads, error, message):
    for function in (korv.mine, korv.iter_patterns):
        with pytest.raises(error, match=message.replace("(", r"\(").replace("]", r"\]")):
            function(sequences, min_support, threads=threads)


def test_event_logs_read_as_korvdb_imports_them(tmp_path):
    log = os.path.join(EXAMPLES, "shop.csv")
    subprocess.run([program("korvdb"), "import", log, str(tmp_path / "shop.bin")], check=True,
                   stdout=subprocess.DEVNULL)
    with open(tmp_path / "shop.items.tsv") as file:
        names = [line.rstrip("\n").split("\t")[1] for line in file]
    imported = [[tuple(names[i] for i in event) for event in sequence]
                for sequence in korv.read_database(str(tmp_path / "shop.bin"))]
    assert korv.from_event_log(log) == imported
    assert korv.from_event_log(log, sequence="customer", time=2, item="product") == imported
    with pytest.raises(korv.Error, match="nope"):
        korv.from_event_log(log, item="nope")
    pandas = pytest.importorskip("pandas")
    frame = pandas.read_csv(log)
    assert korv.from_event_log(frame[["product", "date", "customer"]], "customer", "date", "product") == imported
    patterns = korv.mine(imported, 2)
    assert list(korv.to_frame(patterns)["support"]) == [support for _, support in patterns]


def test_to_frame_without_pandas_says_what_is_missing(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="pandas"):
        korv.to_frame([])


def native_threads(expected):
    """The threads of this process once it has `expected` of them, or after 5 s: a thread just
    joined may still be listed for a moment while the kernel reaps it."""
    deadline = time.monotonic() + 5
    while len(os.listdir("/proc/self/task")) != expected and time.monotonic() < deadline:
        time.sleep(0.001)
    return len(os.listdir("/proc/self/task"))


def test_a_stream_closed_early_stops_its_search():
    sequences = random_database(11, sequences=60, alphabet=5, events=30, event_size=1)
    before = len(os.listdir("/proc/self/task"))
    stream = korv.iter_patterns(sequences, 1, threads=2)
    assert len([next(stream) for _ in range(5)]) == 5
    stream.close()
    assert list(stream) == []
    assert native_threads(before) == before
    stream = korv.iter_patterns(sequences, 1)
    next(stream)
    del stream
    assert native_threads(before) == before


INTERRUPTED_CHILD = textwrap.dedent("""
    import os, signal, sys, threading, time
    import korv
    from conftest import random_database

    # A search that runs for minutes: long sequences over few items, support 1.
    sequences = random_database(5, sequences=200, alphabet=6, events=200, event_size=2)
    sent = []
    def interrupt():
        time.sleep(0.5)
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)
    for name in ("mine", "iter_patterns"):
        threading.Thread(target=interrupt).start()
        try:
            if name == "mine":
                korv.mine(sequences, 1)
            else:
                for pattern in korv.iter_patterns(sequences, 1):
                    pass
            sys.exit(name + " was not interrupted")
        except KeyboardInterrupt:
            print(name, time.monotonic() - sent.pop())
    print(korv.mine([[1, 2], [1]], 2))
""")


def test_ctrl_c_stops_a_search_and_the_module_works_after():
    child = subprocess.run([sys.executable, "-c", INTERRUPTED_CHILD], cwd=os.path.dirname(__file__),
                           stdout=subprocess.PIPE, text=True, timeout=120)
    assert child.returncode == 0, child.stdout
    lines = child.stdout.splitlines()
    assert [line.split()[0] for line in lines[:2]] == ["mine", "iter_patterns"]
    for line in lines[:2]:
        assert float(line.split()[1]) < 0.2, line
    assert lines[2] == "[(((1,),), 2)]"
