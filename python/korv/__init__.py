"""Frequent closed sequential patterns, mined by korv's threaded search.

A database is an iterable of sequences; a sequence is a list of events; an event is one item or a
list, tuple, set or frozenset of items (a str or bytes is one item). Items may be any hashable
objects that sort among themselves (str, int, ...); they are numbered in sorted order inside, so
patterns come in the order of the items and hold the original objects.

    >>> import korv
    >>> korv.mine([["a", "b"], ["a", ["b", "c"]], ["b"]], 2)
    [((('a',), ('b',)), 2), ((('b',),), 3)]

A pattern is a tuple ``(events, support)``: ``events`` a tuple of events, each a tuple of items in
ascending order, and ``support`` the number of sequences that contain the pattern (its events
matched in order, each within one event of the sequence, gaps allowed).
"""

import numbers
import os

from . import _korv
from ._korv import Error

__all__ = ["Error", "mine", "iter_patterns", "read_database", "from_event_log", "to_frame"]
__version__ = "1.0"


def _threshold(min_support):
    """(relative, fraction, absolute) for the native search, or TypeError/ValueError."""
    if isinstance(min_support, bool) or not isinstance(min_support, numbers.Real):
        raise TypeError(
            f"min_support must be an int >= 1 or a float in (0, 1], not {type(min_support).__name__}"
        )
    if isinstance(min_support, numbers.Integral):
        count = int(min_support)
        if count < 1:
            raise ValueError(f"min_support must be at least 1 sequence, not {count}")
        return False, 0.0, min(count, 2**63 - 1)
    fraction = float(min_support)
    if not 0.0 < fraction <= 1.0:
        raise ValueError(f"a relative min_support must be in (0, 1], not {min_support!r}")
    return True, fraction, 0


def _threads(threads):
    if threads is None:
        return 0
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads must be None or an int >= 1, not {type(threads).__name__}")
    if not 1 <= int(threads) <= 1024:
        raise ValueError(f"threads must be from 1 to 1024, not {threads}")
    return int(threads)


def mine(sequences, min_support, *, threads=None):
    """Mines the closed sequential patterns of ``sequences`` that ``min_support`` sequences hold.

    ``min_support`` is an int >= 1 (a number of sequences) or a float in (0, 1] (a fraction of
    the sequences; the number of sequences times the fraction is truncated, at least 1, as the
    korvplus program does). ``threads`` is the number of search threads; None uses the CPUs this
    process may run on. Every thread count gives the same list.

    Returns a list of ``(events, support)`` tuples in the programs' order: depth first, single
    items ascending; below a pattern, first those that add an event, then those that add an item
    to its last event, each in ascending item order.

    Raises TypeError for a non-iterable database, an unhashable item or items that do not sort
    together, ValueError for a bad ``min_support`` or ``threads``; both before any search.
    The search runs without the GIL; Ctrl-C stops it with KeyboardInterrupt.
    """
    relative, fraction, absolute = _threshold(min_support)
    return _korv.mine(sequences, relative, fraction, absolute, _threads(threads))


def iter_patterns(sequences, min_support, *, threads=None):
    """Yields the patterns of ``mine(sequences, min_support, threads=threads)`` as they are found.

    The database is read and checked when this is called; the search then runs on its own thread
    and waits while a few thousand found patterns wait for the consumer, so memory stays bounded
    however many patterns there are. Closing the generator (or dropping it) stops the search.
    """
    relative, fraction, absolute = _threshold(min_support)
    stream = _korv.PatternStream(sequences, relative, fraction, absolute, _threads(threads))
    return _drain(stream)


def _drain(stream):
    try:
        yield from stream
    finally:
        stream.close()


def read_database(path):
    """Reads a database file: ``.bin`` (korvplus binary), ``.txt`` (its text form) or ``.spec``
    (a korv spec with its data file beside it).

    Returns a list of sequences, each a list of events, each a tuple of item ids: what ``mine``
    takes. Raises korv.Error (a ValueError) naming the file and the place of the fault.
    """
    return _korv.read_database(os.fspath(path))


def _column(value, default):
    if value is None:
        return default
    if isinstance(value, bool) or not isinstance(value, (str, numbers.Integral)):
        raise TypeError(f"a column is a header name or a 1-based number, not {type(value).__name__}")
    return str(value)


def from_event_log(source, sequence=None, time=None, item=None, *, delimiter=None, header=True):
    """Turns an event log into a database of item names, as ``korvdb import`` does.

    ``source`` is the path of a CSV or TSV file, or a pandas DataFrame. Rows with the same
    ``sequence`` value form one sequence (sequences in byte order of their keys); rows with the
    same sequence and ``time`` form one event; events are ordered by time, numerically when every
    time is a decimal number, otherwise in byte order of the text (which orders ISO-8601 stamps).
    Columns are header names or 1-based numbers, by default the first three. ``delimiter`` (a
    file only) is one character or "tab"; by default a tab for .tsv/.tab files and for logs whose
    first line holds tabs and no comma, otherwise a comma. ``header=False`` reads the first row
    as data.

    Returns a list of sequences, each a list of events, each a tuple of item names (str), ready
    for ``mine``. Raises korv.Error (a ValueError) naming the file, line and column at fault.
    """
    if _is_data_frame(source):
        return _from_data_frame(source, sequence, time, item)
    return _korv.read_event_log(
        os.fspath(source),
        _column(sequence, "1"),
        _column(time, "2"),
        _column(item, "3"),
        "" if delimiter is None else str(delimiter),
        bool(header),
    )


def _is_data_frame(source):
    pandas = _pandas_if_loaded()
    return pandas is not None and isinstance(source, pandas.DataFrame)


def _pandas_if_loaded():
    import sys

    return sys.modules.get("pandas")


def _from_data_frame(frame, sequence, time, item):
    import csv
    import io

    def pick(value, position):
        if value is None:
            if position >= len(frame.columns):
                raise ValueError(f"the DataFrame has no column {position + 1}")
            return frame.columns[position]
        if isinstance(value, numbers.Integral) and value not in frame.columns:
            if not 1 <= value <= len(frame.columns):
                raise ValueError(f"the DataFrame has no column {value}")
            return frame.columns[value - 1]
        if value not in frame.columns:
            raise ValueError(f"the DataFrame has no column {value!r}")
        return value

    columns = [pick(sequence, 0), pick(time, 1), pick(item, 2)]
    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n")
    writer.writerow(["sequence", "time", "item"])
    writer.writerows(zip(*(frame[c].astype(str) for c in columns)))
    return _korv.read_event_log_text(text.getvalue().encode("utf-8", "surrogateescape"), "DataFrame", ",", True)


def to_frame(patterns):
    """A pandas DataFrame of ``patterns`` (from ``mine`` or ``iter_patterns``): one row per
    pattern with the columns ``events`` (the tuple of events), ``support`` and ``length`` (its
    number of items). Raises ImportError when pandas is not installed."""
    try:
        import pandas
    except ImportError as error:
        raise ImportError(
            "korv.to_frame needs pandas, which is not installed "
            "(on Debian: apt-get install python3-pandas)"
        ) from error
    rows = [(events, support, sum(len(event) for event in events)) for events, support in patterns]
    return pandas.DataFrame(rows, columns=["events", "support", "length"])
