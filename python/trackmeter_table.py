# SPDX-License-Identifier: MIT
"""Reading Durations.bin tables (format 1), the output of trackmeter.

Standard library only, Python 3.9 or later. The module is this one file: a
pipeline may install it with pip or simply copy it. FORMAT.md, beside the
project's README, describes the table.

    import trackmeter_table
    table = trackmeter_table.load("music/Durations.bin")
    seconds = table.lookup("sfx/Chime.ogg")   # None when it is not there

A path may be given as str or bytes, with "/" or "\\" between components and
in any letter case: the id is the same. A lookup drops a leading "./".
"""

from __future__ import annotations

import bisect
import os
import struct
from typing import List, Optional, Tuple, Union

__all__ = [
    "FORMAT", "HEADER_SIZE", "RECORD_SIZE", "DurationsTable", "TableError", "check",
    "check_header", "load", "parse", "path_hash",
]
__version__ = "1.0.0"
FORMAT = 1

HEADER_SIZE = 8
RECORD_SIZE = 8
_HEADER = struct.Struct("<Ii")  # pass, count
_RECORD = struct.Struct("<If")  # id, seconds
_MAX_COUNT = 0x7FFFFFFF
# What the hash sees: a-z as A-Z and "/" as "\"; every other byte as it is.
_FOLD = bytes.maketrans(b"abcdefghijklmnopqrstuvwxyz/", b"ABCDEFGHIJKLMNOPQRSTUVWXYZ\\")

Path = Union[str, bytes]


class TableError(ValueError):
    """Bytes that are not a valid table.

    code names the check that failed: "short", "pass", "count",
    "truncated", "trailing" or "order" (the error names of the C header,
    lower case); offset is where in the bytes the problem lies.
    """

    def __init__(self, code: str, offset: int, message: str) -> None:
        super().__init__(message)
        self.code = code
        self.offset = offset


def _as_bytes(path: Path) -> bytes:
    """path as bytes; a str is encoded as os.fsencode encodes file names."""
    if isinstance(path, str):
        return path.encode("utf-8", "surrogateescape")
    return bytes(path)


def _without_dot_slash(path: bytes) -> bytes:
    """path without its leading "./" or ".\\", as many as it has, so long as
    something follows: a shell's completion gives one, the table's paths
    never start with one."""
    while len(path) > 2 and path[0] == 0x2E and path[1] in (0x2F, 0x5C):
        path = path[2:]
    return path


def path_hash(path: Path, multiplier: int) -> int:
    """The id of path under multiplier (pass + 1): for each byte, folded,
    h = h * multiplier + byte, modulo 2**32."""
    m = multiplier & 0xFFFFFFFF
    h = 0
    for c in _as_bytes(path).translate(_FOLD):
        h = (h * m + c) & 0xFFFFFFFF
    return h


def check_header(header: bytes, size: int) -> None:
    """Checks the first min(size, 8) bytes of a table of size bytes in all:
    every check but the order of the ids. Raises TableError."""
    if size < HEADER_SIZE:
        raise TableError(
            "short", size, f"table of {size} bytes is shorter than its 8-byte header")
    pass_, count = _HEADER.unpack_from(header)
    if pass_ == 0:
        raise TableError("pass", 0, "pass at offset 0 is 0; it is at least 1")
    if count < 1:
        raise TableError(
            "count", 4, f"count at offset 4 is {count}; a table holds at least 1 record")
    expected = HEADER_SIZE + RECORD_SIZE * count
    if size < expected:
        raise TableError(
            "truncated", size,
            f"count at offset 4 is {count}, which needs {expected} bytes; "
            f"the table has {size}")
    if size > expected:
        raise TableError(
            "trailing", expected,
            f"{size - expected} bytes trailing after record {count - 1}, "
            f"from offset {expected}")


def check(data: bytes) -> None:
    """Checks a whole table: size 8 + 8 * count, count >= 1, pass >= 1, ids
    ascending strictly as unsigned numbers. Raises TableError."""
    check_header(data[:HEADER_SIZE], len(data))
    previous = -1
    for i, (id_, _) in enumerate(_RECORD.iter_unpack(memoryview(data)[HEADER_SIZE:])):
        if id_ <= previous:
            offset = HEADER_SIZE + RECORD_SIZE * i
            raise TableError(
                "order", offset,
                f"record {i} at offset {offset}: id {id_} does not ascend from "
                f"{previous} of record {i - 1}")
        previous = id_


class DurationsTable:
    """A checked table: its pass and its records, (id, seconds) by id."""

    def __init__(self, pass_: int, records: List[Tuple[int, float]]) -> None:
        """Takes the parts of a table as they are; parse() and load() check."""
        self.pass_ = pass_
        self.records = records
        self._ids = [id_ for id_, _ in records]

    @classmethod
    def parse(cls, data: bytes) -> DurationsTable:
        """The table in data, checked whole. Raises TableError."""
        check(data)
        pass_, _ = _HEADER.unpack_from(data)
        return cls(pass_, list(_RECORD.iter_unpack(memoryview(data)[HEADER_SIZE:])))

    @classmethod
    def load(cls, path: Union[str, bytes, os.PathLike]) -> DurationsTable:
        """The table in the file at path. Its size is checked against the
        header before the records are read, so a huge file is refused
        unread. Raises TableError, or OSError when it cannot be read."""
        with open(path, "rb") as f:
            header = f.read(HEADER_SIZE)
            size = os.fstat(f.fileno()).st_size
            check_header(header, len(header) if len(header) < HEADER_SIZE else size)
            return cls.parse(header + f.read())

    @property
    def multiplier(self) -> int:
        """The multiplier of the table's ids: pass + 1."""
        return (self.pass_ + 1) & 0xFFFFFFFF

    def __len__(self) -> int:
        """The number of records."""
        return len(self.records)

    def lookup_id(self, id_: int) -> Optional[float]:
        """The seconds of the record with this id, or None."""
        i = bisect.bisect_left(self._ids, id_)
        if i < len(self._ids) and self._ids[i] == id_:
            return self.records[i][1]
        return None

    def lookup(self, path: Path) -> Optional[float]:
        """The seconds of the file at the relative path, or None; a leading
        "./" is dropped. A path that is not in the table may still share an
        id with one that is."""
        return self.lookup_id(path_hash(_without_dot_slash(_as_bytes(path)), self.multiplier))


def parse(data: bytes) -> DurationsTable:
    """DurationsTable.parse(data)."""
    return DurationsTable.parse(data)


def load(path: Union[str, bytes, os.PathLike]) -> DurationsTable:
    """DurationsTable.load(path)."""
    return DurationsTable.load(path)
