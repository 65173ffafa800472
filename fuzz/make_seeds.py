#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<what>/ (seed-* files).

Inputs found by fuzzing that once revealed a fault are kept beside the seeds as fault-* files and
are never touched by this script. Run it again after changing a target's input format:

    python3 fuzz/make_seeds.py
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PAGE_SIZE = 8192
BLOCK_SIZE = 2036
BLOCK_ID = 0x800007F4


def write_corpus(what, seeds):
    directory = os.path.join(HERE, "corpus", what)
    os.makedirs(directory, exist_ok=True)
    for name in os.listdir(directory):
        if name.startswith("seed-"):
            os.remove(os.path.join(directory, name))
    for name, data in seeds.items():
        if isinstance(data, str):
            data = data.encode("utf-8", "surrogateescape")
        with open(os.path.join(directory, "seed-" + name), "wb") as handle:
            handle.write(data)


# ---- description files ----

def description_seeds():
    header = "# layout of the adjust block\nAddress\tGroup\tEntry\tType\tCount\tValue\tMin\tMax\n"
    good = (header +
            "0000000C\tE2P.ProdLogistic\tSerialNo\tUINT8\t10\t00304237353038303032\t"
            "00000000000000000000\tFFFFFFFFFFFFFFFFFFFF\n"
            "00000016 E2P.Networking  Eth0MacAddr UINT8 6 02b4e12bb056 000000000000 FFFFFFFFFFFF\n"
            "0000001C\tE2P\tCalibration.Offsets\tINT16\t2\tFFF60010\t00000000\t7FFF7FFF\n")
    seeds = {
        "example.txt": good,
        "crlf.txt": good.replace("\n", "\r\n"),
        "empty-first-line.txt": "\n" + good,
        "no-final-feed.txt": good.rstrip("\n"),
        "blank-line.txt": header + "\n   \n" + good,
        "duplicate-address.txt": good + "0000000C E2P.A B UINT8 1 00 00 00\n",
        "duplicate-name.txt": good + "00000100 E2P.Networking Eth0MacAddr UINT8 1 00 00 00\n",
        "types.txt": "".join(
            "%08X E2P.Types %s %s 2 %s %s %s extra\n" % (
                0x40 + 16 * i, t, t, "AB" * 2 * s, "00" * 2 * s, "ff" * 2 * s)
            for i, (t, s) in enumerate([("INT8", 1), ("UINT8", 1), ("INT16", 2), ("UINT16", 2),
                                        ("INT32", 4), ("UINT32", 4), ("INT64", 8),
                                        ("UINT64", 8)])),
        "last-byte.txt": "000007F3 E2P.End Last UINT8 1 01 00 FF\n",
        "past-end.txt": "000007F3 E2P.End Last UINT16 1 0102 0000 FFFF\n",
        "count-forms.txt": "00000020 E2P.C A UINT8 +2 0102 0000 FFFF\n"
                           "00000030 E2P.C B UINT8 2x 0102 0000 FFFF\n"
                           "00000040 E2P.C C UINT8 -4294967294 0102 0000 FFFF\n",
        "bad-name.txt": "00000020 e2p.C A UINT8 1 01 00 FF\n00000021 E2P. . UINT8 1 01 00 FF\n",
        "utf8.txt": "# Kommentar \u00fc\u00df\n00000020 E2P.\u00c4 B UINT8 1 01 00 FF\n"
                    "00000021 E2P.C\xc0\xa0D UINT8 1 01 00 FF\n",
        "bad-utf8.txt": "00000020 E2P.C D UINT8 1 01 00 FF\n00000030 E2P.\x80 D UINT8 1 01 00 FF\n",
        "zero-byte.txt": "00000020 E2P.C D UINT8 1 01 00 FF\n000000\x0030 E2P.E D UINT8 1 01 00 FF\n",
        "long-line.txt": "00000020 E2P.C " + "D" * 70000 + " UINT8 1 01 00 FF\n",
        "comment-only.txt": "# nothing\nAddress only\n",
    }
    example = os.path.join(ROOT, "examples", "adjust-block.txt")
    if os.path.exists(example):
        with open(example, "rb") as handle:
            seeds["adjust-block.txt"] = handle.read()
    return seeds


# ---- pages ----

def page_image(items, fmt=1, directory_length=None):
    directory = b""
    data = b""
    for item_id, payload in items:
        directory += struct.pack("<IH", item_id, len(payload))
        data += payload
    length = len(directory) if directory_length is None else directory_length
    image = bytes([fmt]) + struct.pack("<H", length) + directory + data
    return image[:PAGE_SIZE]


def with_queries(page, queries=()):
    prefix = bytes([len(queries)]) + b"".join(struct.pack("<IH", i, v) for i, v in queries)
    return prefix + page


def block(version=2):
    body = bytearray((i * 7 + 3) & 0xFF for i in range(BLOCK_SIZE))
    body[8] = version
    return bytes(body)


def page_seeds():
    value_items = [(0x00000001, struct.pack("<H", 0x0102) + b"\x01\x02\x03\x04"),
                   (0x00000002, struct.pack("<H", 0x0100) + b"\x2a"),
                   (0xC0000010, b"\xde\xad\xbe\xef\x00\x11")]
    full = page_image(value_items + [(BLOCK_ID, block())])
    field = (1 << 30) | (1 << 29) | (1 << 23) | (1 << 11) | 2
    return {
        "empty": with_queries(page_image([])),
        "block-only": with_queries(page_image([(BLOCK_ID, block())])),
        "items-and-block": with_queries(full, [(0x00000001, 0x0199), (field, 0x0100),
                                               (0xC0000010, 0), (0x80000004, 2)]),
        "format-2": with_queries(page_image([(BLOCK_ID, block())], fmt=2)),
        "odd-directory": with_queries(page_image(value_items, directory_length=13)),
        "directory-too-long": with_queries(page_image(value_items, directory_length=0xFFFF)),
        "item-past-page": with_queries(page_image([(0xC0000001, b"\x01" * 10)])[:3] +
                                       struct.pack("<IH", 0xC0000001, 0xFFFF)),
        "short-value": with_queries(page_image([(0x00000005, b"\x01")])),
        "version-mismatch": with_queries(page_image([(BLOCK_ID, block(3))]), [(BLOCK_ID, 0x0103)]),
        "small-block": with_queries(page_image([(0x80000010, b"\x00" * 8)])),
    }


# ---- argument vectors ----

def arguments(*args):
    return b"\0".join(a.encode("utf-8", "surrogateescape") for a in args)


def option_table_seeds():
    return {
        "dump": arguments("--page=/murelpage", "--pagelock=/murelpage-lock", "--dump"),
        "dump-hex": arguments("--dump= hex ", "--endianness=little"),
        "get": arguments("--config=desc.txt", "--get=E2P.Networking.Eth0MacAddr, E2P.A.B"),
        "get-bad": arguments("--get=E2P.A.B,,E2P.C"),
        "get-short": arguments("--get=E2P"),
        "log": arguments("--log= slog , stdout", "--loglevel=warning,error,info", "--check"),
        "log-bad": arguments("--log=,stdout", "--loglevel=none,error"),
        "duplicate": arguments("--page=/a", "--page=/b"),
        "actions": arguments("--backup=/tmp/x", "--getver"),
        "no-value": arguments("--backup", "--backup=", "--backup=   "),
        "check-file": arguments("--check=/tmp/block.bin", "--loglevel=none"),
        "getver-file": arguments("--getver=block.bin", "--endianness=big", "--endianness=big"),
        "help": arguments("--dump", "--help=x"),
        "unknown": arguments("--getversion", "--pages=/x", "-d", ""),
        "from": arguments("--from= unit.bin ", "--json", "--diff=factory.bin"),
        "from-twice": arguments("--check=a.bin", "--from=b.bin", "--page=/p"),
        "version": arguments("--json=x", "--version"),
        "white-space": arguments("--config=\t\n\v\f\r ", "--dump=\u00df"),
    }


def option_file_seeds():
    return {
        "basic": "[COMMANDLINE]\n--dump\n  # a comment\n--page=/x \\#1\n",
        "nested": "[COMMANDLINE]\n@b\n--log=stdout\n\n====\n[COMMANDLINE]\n--check\n@c\n"
                  "\n====\n[COMMANDLINE]\n--loglevel=error\n",
        "sections": "--ignored\n[OTHER]\n--ignored-too\n[COMMANDLINE] trailing\n--get=E2P.A.B\n"
                    "[unclosed\n--ignored\n[COMMANDLINE]\n--endianness=little\t \r\n",
        "recursion": "[COMMANDLINE]\n@a\n--dump\n",
        "long-line": "[COMMANDLINE]\n--config=" + "x" * 1500 + "\n",
        "control": "[COMMANDLINE]\n--page=/a\x01\x02\n\t--pagelock=/b\n--x\xc3\xa4\n",
        "missing": "[COMMANDLINE]\n@zzz\n@\n--dump\n",
    }


# ---- strings ----

def string_seeds():
    return {
        "ascii": b"\x00\x05  Hello, World \t\r\n",
        "sharp-s": b"\x02\x10stra\xc3\x9fe \xc3\x9f",
        "greek": "\x03\x04\u03b1\u03b2\u03b3 \u0390 \u1f80".encode("utf-8"),
        "invalid": b"\x01\x03abc\x80def",
        "truncated": b"\x01\x09abc\xc3",
        "six-byte": b"\x00\x02\xfc\x80\x80\x80\x80\x80 x",
        "overlong-space": b"\x01\x01a\xc0\xa0b\tc",
        "lenient": b"\x06\x01\xe0\xc0\xc0 z",
        "zero": b"\x00\x03ab\x00cd",
        "spaces": b"\x07\x00    \t ",
        "long": b"\x04\xff" + b"word " * 80,
        "ligature": "\x00\x03\ufb00\ufb03 \u0149".encode("utf-8"),
    }


def main():
    write_corpus("description", description_seeds())
    write_corpus("page_client", page_seeds())
    write_corpus("option_table", option_table_seeds())
    write_corpus("option_file", option_file_seeds())
    write_corpus("string", string_seeds())
    return 0


if __name__ == "__main__":
    sys.exit(main())
