#!/usr/bin/env python3
"""Checks that tools/metagen/metagen.py refuses a broken description source with its fault."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no cache files beside the generator
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "metagen"))
import metagen  # noqa: E402

ADJUST = """
group AdjustBlock 0x800007F4 0 2036 root 1
group E2P 0x800C07E8 12 2024 AdjustBlock 2
entry E2P.head 12 2 UINT16 1
entry E2P.rest 14 2022 UINT8 2022
"""

BLOCK = """
valueset onoff NICHT_AKTIV AKTIV
block SETUP 3 0x3000 2 -
bits  SETUP_FIRST 1 0x80 - NICHT_AKTIV=00 AKTIV=01
fill  7 SETUP_FIELD 1 onoff
bytes SETUP_NONE 0 1 -
"""


def generate(text):
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "description.txt")
        with open(path, "w", encoding="utf-8") as source:
            source.write(text)
        metagen.Generated(metagen.parse(path)).files()


class Refusals(unittest.TestCase):
    def test_broken_sources_are_refused_with_their_fault(self):
        rest = "E2P.rest 14 2022 UINT8 2022"
        items = "item A 0xF0000001 1 UINT8 1 - - -\n"
        cases = [
            (ADJUST.replace("0x800C07E8", "0x800C07E9"), "does not match offset and size"),
            (ADJUST.replace(rest, "E2P.rest 15 2021 UINT8 2021"), "gap or overlap at byte 14"),
            (ADJUST.replace(rest, "E2P.rest 14 2021 UINT8 2021"),
             "the entries end at byte 2035, not 2036"),
            (ADJUST.replace("AdjustBlock 2", "AdjustBlock 3"), "has 2 children, declared 3"),
            (ADJUST.replace("UINT16 1", "UINT16 2"), "element count"),
            (ADJUST + BLOCK + "bits SETUP_CLASH 1 0xC0 -\n", "overlaps another function"),
            (ADJUST + BLOCK.replace("AKTIV=01", "AKTIV=02"), "does not fit the bit field"),
            (ADJUST + BLOCK.replace("fill  7", "fill  8"), "no room left"),
            (ADJUST + items + "item V850_A 0xEFFFFF00 1 UINT8 8 0 0xF0000001 -\n",
             "does not name it"),
            (ADJUST + items + items.replace("item A", "item B"), "share identifier 0xf0000001"),
            ("expect entries 3\n" + ADJUST, "entries: expected 3, built 2"),
        ]
        for text, message in cases:
            with self.subTest(message=message):
                with self.assertRaises(metagen.SourceError) as caught:
                    generate(text)
                self.assertIn(message, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
