from typing import Any, Iterator, List, Tuple

class Error(ValueError):
    """A failure reported by the korv library (a bad file, an unusable option)."""

def mine(sequences: Any, relative: bool, fraction: float, absolute: int, threads: int) -> List[Tuple[Tuple[Tuple[Any, ...], ...], int]]:
    """All closed patterns as a list of (events, support); arguments checked by korv.mine."""

class PatternStream(Iterator[Tuple[Tuple[Tuple[Any, ...], ...], int]]):
    """A running search whose patterns are read one at a time; see korv.iter_patterns."""
    def __init__(self, sequences: Any, relative: bool, fraction: float, absolute: int, threads: int) -> None: ...
    def __iter__(self) -> "PatternStream": ...
    def __next__(self) -> Tuple[Tuple[Tuple[Any, ...], ...], int]: ...
    def close(self) -> None:
        """Stops the search and waits for its thread."""

def read_database(path: str) -> List[List[Tuple[int, ...]]]:
    """The sequences of a .bin, .txt or .spec file as lists of tuples of item ids."""
def read_event_log(path: str, sequence: str, time: str, item: str, delimiter: str, header: bool) -> List[List[Tuple[str, ...]]]:
    """The sequences of an event log file, items by name."""
def read_event_log_text(text: bytes, name: str, delimiter: str, header: bool) -> List[List[Tuple[str, ...]]]:
    """The sequences of an event log held in memory (columns 1, 2, 3)."""
