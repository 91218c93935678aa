import os
from typing import Any, Hashable, Iterable, Iterator, List, Optional, Tuple, Union

from ._korv import Error as Error

Item = Hashable
Event = Union[Item, List[Item], Tuple[Item, ...], set, frozenset]
Pattern = Tuple[Tuple[Tuple[Any, ...], ...], int]
__version__: str

def mine(sequences: Iterable[Iterable[Event]], min_support: Union[int, float], *,
         threads: Optional[int] = None) -> List[Pattern]:
    """All closed patterns with at least ``min_support`` supporting sequences (int >= 1, or a
    fraction in (0, 1], truncated as korvplus does), as (events, support) in the programs' order."""
def iter_patterns(sequences: Iterable[Iterable[Event]], min_support: Union[int, float], *,
                  threads: Optional[int] = None) -> Iterator[Pattern]:
    """The patterns of mine(), yielded as the search finds them, with bounded memory."""
def read_database(path: Union[str, os.PathLike[str]]) -> List[List[Tuple[int, ...]]]:
    """The sequences of a .bin, .txt or .spec database file."""
def from_event_log(source: Any, sequence: Union[str, int, None] = None, time: Union[str, int, None] = None,
                   item: Union[str, int, None] = None, *, delimiter: Optional[str] = None,
                   header: bool = True) -> List[List[Tuple[str, ...]]]:
    """The sequences of an event log (a CSV/TSV path or a pandas DataFrame), as korvdb import reads it."""
def to_frame(patterns: Iterable[Pattern]) -> Any:
    """A pandas DataFrame (events, support, length) of the patterns; ImportError without pandas."""
