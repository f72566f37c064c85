# SPDX-License-Identifier: MIT
"""Tests of trackmeter_table: every vector of test/vectors/durations.txt, then
what the vectors cannot show (files, and the error's code and offset)."""

import os
import re
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import trackmeter_table as tt  # noqa: E402

VECTORS = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       "..", "test", "vectors", "durations.txt")


def unescape(path: str) -> bytes:
    """The bytes of a vector's path, its %HH escapes undone."""
    return re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                  path.encode("ascii"))


def float32(text: str) -> float:
    """The binary32 value nearest to text, as the tables hold it."""
    return struct.unpack("<f", struct.pack("<f", float(text)))[0]


class VectorsTest(unittest.TestCase):
    def test_every_vector(self) -> None:
        counts = {"id": 0, "table": 0, "find": 0, "find-id": 0}
        table = None
        with open(VECTORS, encoding="ascii") as f:
            for number, line in enumerate(f, 1):
                if line.startswith("#") or not line.strip():
                    continue
                kind, *fields = line.split()
                counts[kind] += 1  # an unknown kind fails here
                with self.subTest(line=number):
                    if kind == "id":
                        multiplier, id_, path = fields
                        self.assertEqual(tt.path_hash(unescape(path), int(multiplier)),
                                         int(id_))
                    elif kind == "table":
                        _, result, offset, hex_bytes = fields
                        data = b"" if hex_bytes == "-" else bytes.fromhex(hex_bytes)
                        if result == "ok":
                            table = tt.parse(data)
                            self.assertEqual(8 + 8 * len(table), len(data))
                            for id_, seconds in table.records:
                                self.assertEqual(table.lookup_id(id_), seconds)
                        else:
                            with self.assertRaises(tt.TableError) as caught:
                                tt.parse(data)
                            self.assertEqual((caught.exception.code, caught.exception.offset),
                                             (result, int(offset)))
                    else:
                        key, seconds = fields
                        found = (table.lookup(unescape(key)) if kind == "find"
                                 else table.lookup_id(int(key)))
                        self.assertEqual(found, None if seconds == "-" else float32(seconds))
        self.assertTrue(all(counts.values()), counts)


class ReaderTest(unittest.TestCase):
    def test_str_and_bytes_paths_agree(self) -> None:
        self.assertEqual(tt.path_hash("Müsik/Été.ogg", 3),
                         tt.path_hash("Müsik/Été.ogg".encode("utf-8"), 3))
        table = tt.parse(bytes.fromhex("0100000001000000b1b3270000002041"))
        self.assertEqual(table.lookup("Music\\Intro.OGG"), 10.0)
        self.assertEqual((table.pass_, table.multiplier), (1, 2))

    def test_star_import_gives_the_api_alone(self) -> None:
        names: dict = {}
        exec("from trackmeter_table import *", names)  # fails on a name __all__ lacks
        public = {name for name, value in vars(tt).items()
                  if not name.startswith("_") and getattr(value, "__module__", None) == tt.__name__}
        self.assertEqual(public - set(tt.__all__), set())
        self.assertNotIn("os", names)
        self.assertNotIn("Path", names)
        self.assertIn("FORMAT", names)

    def test_load_checks_the_size_before_reading(self) -> None:
        with tempfile.TemporaryDirectory() as tmp:
            good = os.path.join(tmp, "Durations.bin")
            with open(good, "wb") as f:
                f.write(bytes.fromhex("0400000001000000" "4d000000" "0000003f"))
            self.assertEqual(tt.load(good).lookup_id(77), 0.5)
            # A sparse 4 GiB file behind a good header is refused from its size.
            os.truncate(good, 1 << 32)
            with self.assertRaises(tt.TableError) as caught:
                tt.load(good)
            self.assertEqual((caught.exception.code, caught.exception.offset), ("trailing", 16))
            self.assertIn("bytes trailing after record 0, from offset 16", str(caught.exception))
            self.assertIsInstance(caught.exception, ValueError)
            with self.assertRaises(OSError):
                tt.load(os.path.join(tmp, "missing.bin"))


if __name__ == "__main__":
    unittest.main()
