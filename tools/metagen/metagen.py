#!/usr/bin/env python3
"""Generates the constant tables of the compiled-in description of the settings page.

Reads the readable source tools/metagen/description.txt (its format is explained at the top of
that file and in docs/meta-description.md), checks every rule the tree must keep (identifier
layouts, child counts, the cover of the adjust block, mirror links, the expected counts) and
writes the tables that the builders in meta/ read:

    meta/generated/MurelMetaTableSizes.h    row counts and pool sizes
    meta/generated/MurelMetaItemTable.cpp   the plain page items
    meta/generated/MurelMetaCodingTable.cpp the coding blocks, functions and named values
    meta/generated/MurelMetaAdjustTable.cpp the adjust-block groups and entries
    meta/generated/MurelItemRegistry.cpp    ITEM_REGISTRY and the initial contents

Usage:
    python3 tools/metagen/metagen.py                 regenerate meta/generated/ in place
    python3 tools/metagen/metagen.py --out DIR       write the files into DIR instead
    python3 tools/metagen/metagen.py --check DIR     write into --out, then compare with DIR;
                                                     exit status 1 when a file differs

The output depends on nothing but the source file, so running it twice gives identical files.
"""

import argparse
import difflib
import os
import sys

NO_ID = 0xFFFFFFFF
ADJUST_BLOCK_SIZE = 2036
POOL_LIMIT = 65535  # a string literal longer than this draws a pedantic warning

TYPES = {
    "BOOL": (1, None),
    "INT8": (2, 1),
    "UINT8": (3, 1),
    "INT16": (4, 2),
    "UINT16": (5, 2),
    "INT32": (6, 4),
    "UINT32": (7, 4),
    "INT64": (8, 8),
    "UINT64": (9, 8),
    "BUFFER": (12, None),
    "STRING": (13, None),
    "BYTE_STREAM": (14, None),
}

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


class SourceError(Exception):
    pass


def number(text, where):
    if text == "-":
        return NO_ID
    try:
        return int(text, 0)
    except ValueError:
        raise SourceError(f"{where}: '{text}' is not a number") from None


def hex_bytes(text, where):
    if len(text) % 2 != 0:
        raise SourceError(f"{where}: '{text}' is not a whole number of hex bytes")
    try:
        return bytes.fromhex(text)
    except ValueError:
        raise SourceError(f"{where}: '{text}' is not hex") from None


def type_of(name, where):
    if name not in TYPES:
        raise SourceError(f"{where}: unknown data type '{name}'")
    return TYPES[name]


class Item:
    def __init__(self, name, ident, size, data_type, domain, link, source, mirror, where):
        self.name, self.id, self.size, self.data_type = name, ident, size, data_type
        self.domain, self.link, self.source, self.mirror = domain, link, source, mirror
        self.min_length = size
        self.init = bytes(size)
        self.where = where


class Function:
    def __init__(self, name, mirror, where):
        self.name, self.mirror, self.where = name, mirror, where
        self.is_range = False
        self.byte = None
        self.mask = 0
        self.width = 0
        self.length = 0
        self.values = []  # (name, bytes)
        self.id = NO_ID
        self.size = 1


class Block:
    def __init__(self, name, ident, number_, length, mirror, where):
        self.name, self.id, self.number, self.length, self.mirror = name, ident, number_, length, mirror
        self.where = where
        self.lines = []  # ("function", Function) or ("fill"/"fillbytes", count, stem, size, set)
        self.functions = []
        self.data = bytes(length)


class AdjustNode:
    def __init__(self, name, offset, size, where, group=True):
        self.name, self.offset, self.size, self.where, self.group = name, offset, size, where, group
        self.id = 0x80000000 + offset * 65536 + size
        self.parent = None
        self.children = []
        self.data_type = 0
        self.declared_children = 0


class Description:
    def __init__(self):
        self.expect = {}
        self.items = []
        self.value_sets = {}
        self.blocks = []
        self.groups = []
        self.entries = []
        self.image = bytearray(ADJUST_BLOCK_SIZE)


def parse(path):
    desc = Description()
    block = None
    with open(path, encoding="utf-8") as source:
        for number_, raw in enumerate(source, 1):
            where = f"{os.path.basename(path)}:{number_}"
            words = raw.split("#", 1)[0].split()
            if not words:
                continue
            keyword, args = words[0], words[1:]
            if keyword == "expect":
                need(args, 2, where)
                desc.expect[args[0]] = number(args[1], where)
            elif keyword == "group":
                need(args, 6, where)
                node = AdjustNode(args[0], number(args[2], where), number(args[3], where), where)
                if node.id != number(args[1], where):
                    raise SourceError(f"{where}: identifier {args[1]} does not match offset and size")
                node.parent = args[4]
                node.declared_children = number(args[5], where)
                desc.groups.append(node)
            elif keyword == "entry":
                need(args, 5, where)
                node = AdjustNode(args[0], number(args[1], where), number(args[2], where), where, False)
                node.data_type, element = type_of(args[3], where)
                if element is None or node.size % element != 0 or node.size // element != number(args[4], where):
                    raise SourceError(f"{where}: element count does not match size and type")
                desc.entries.append(node)
            elif keyword == "adjustimage":
                need(args, 2, where)
                offset, data = number(args[0], where), hex_bytes(args[1], where)
                if offset + len(data) > ADJUST_BLOCK_SIZE:
                    raise SourceError(f"{where}: image bytes beyond the adjust block")
                desc.image[offset:offset + len(data)] = data
            elif keyword == "item":
                if len(args) < 8:
                    raise SourceError(f"{where}: item needs 8 fields")
                item = Item(args[0], number(args[1], where), number(args[2], where),
                            type_of(args[3], where)[0], number(args[4], where), number(args[5], where),
                            number(args[6], where), number(args[7], where), where)
                for option in args[8:]:
                    key, _, value = option.partition("=")
                    if key == "min":
                        item.min_length = number(value, where)
                    elif key == "init":
                        data = hex_bytes(value, where)
                        if len(data) > item.size:
                            raise SourceError(f"{where}: init longer than the item")
                        item.init = data + bytes(item.size - len(data))
                    else:
                        raise SourceError(f"{where}: unknown item option '{option}'")
                if item.min_length > item.size:
                    raise SourceError(f"{where}: min longer than the item")
                desc.items.append(item)
            elif keyword == "series":
                need(args, 5, where)
                prefix, first, count = args[0], number(args[1], where), number(args[2], where)
                size, data_type = number(args[3], where), type_of(args[4], where)[0]
                for index in range(count):
                    desc.items.append(Item(f"{prefix}{index:02d}", first + index, size, data_type,
                                           1, NO_ID, NO_ID, NO_ID, where))
            elif keyword == "valueset":
                if not args:
                    raise SourceError(f"{where}: valueset needs a name")
                desc.value_sets[args[0]] = args[1:]
            elif keyword == "block":
                need(args, 5, where)
                block = Block(args[0], number(args[1], where), number(args[2], where),
                              number(args[3], where), number(args[4], where), where)
                desc.blocks.append(block)
            elif keyword in ("bits", "bytes"):
                if block is None or len(args) < 4:
                    raise SourceError(f"{where}: {keyword} needs a block and 4 fields")
                function = Function(args[0], number(args[3], where), where)
                function.byte = number(args[1], where)
                if keyword == "bits":
                    function.mask = number(args[2], where)
                else:
                    function.is_range = True
                    function.length = number(args[2], where)
                for value in args[4:]:
                    name, sep, data = value.partition("=")
                    if not sep:
                        raise SourceError(f"{where}: value '{value}' needs NAME=HEX")
                    function.values.append((name, hex_bytes(data, where)))
                block.lines.append(("function", function))
            elif keyword in ("fill", "fillbytes"):
                if block is None:
                    raise SourceError(f"{where}: {keyword} outside a block")
                need(args, 4, where)
                if args[3] != "-" and args[3] not in desc.value_sets:
                    raise SourceError(f"{where}: unknown valueset '{args[3]}'")
                block.lines.append((keyword, number(args[0], where), args[1], number(args[2], where),
                                    args[3], where))
            else:
                raise SourceError(f"{where}: unknown keyword '{keyword}'")
    return desc


def need(args, count, where):
    if len(args) != count:
        raise SourceError(f"{where}: expected {count} fields, found {len(args)}")


def lay_out_block(desc, block):
    """Places the functions of a block inside its data and computes their identifiers."""
    if not 0 < block.id < 64:
        raise SourceError(f"{block.where}: block id {block.id} outside 1..63")
    if not 0 < block.length < 4096:
        raise SourceError(f"{block.where}: block length {block.length} outside 1..4095")
    used = [0] * block.length

    def reserve(function):
        if function.is_range:
            span = range(function.byte, function.byte + function.length)
            if function.length < 1 or function.byte + function.length > block.length:
                raise SourceError(f"{function.where}: byte range outside the block")
            if any(used[index] for index in span):
                raise SourceError(f"{function.where}: byte range overlaps another function")
            for index in span:
                used[index] = 0xFF
        else:
            if not 0 < function.mask < 256 or function.byte >= block.length:
                raise SourceError(f"{function.where}: bit field outside the block")
            shifted = function.mask >> low_bit(function.mask)
            if shifted & (shifted + 1):
                raise SourceError(f"{function.where}: mask {function.mask:#x} is not contiguous")
            if used[function.byte] & function.mask:
                raise SourceError(f"{function.where}: bit field overlaps another function")
            used[function.byte] |= function.mask

    for line in block.lines:
        if line[0] == "function":
            reserve(line[1])

    for line in block.lines:
        if line[0] == "function":
            block.functions.append(line[1])
            continue
        kind, count, stem, size, value_set, where = line
        names = desc.value_sets.get(value_set, [])
        digits = 3 if count >= 100 else 2
        for index in range(1, count + 1):
            function = Function(f"{stem}_{index:0{digits}d}", NO_ID, where)
            if kind == "fill":
                function.mask = first_free_bits(used, size, where)
                function.byte = function.mask >> 8
                function.mask &= 0xFF
                function.values = [(name, bytes([k])) for k, name in enumerate(names)]
            else:
                function.is_range = True
                function.length = size
                function.byte = first_free_bytes(used, size, where)
                function.values = [(name, k.to_bytes(size, "big")) for k, name in enumerate(names)]
            reserve(function)
            block.functions.append(function)

    for function in block.functions:
        if function.is_range:
            if function.length >= 2048:
                raise SourceError(f"{function.where}: byte range longer than 2047 bytes")
            function.id = 0x60000000 | (block.id << 23) | (function.byte << 11) | function.length
            function.size = function.length
            limit = None
        else:
            function.id = 0x40000000 | (block.id << 23) | (function.byte << 11) | (function.mask << 3)
            function.size = 1
            limit = function.mask >> low_bit(function.mask)
        for name, data in function.values:
            if len(data) != function.size:
                raise SourceError(f"{function.where}: value {name} is not {function.size} bytes long")
            if limit is not None and data[0] > limit:
                raise SourceError(f"{function.where}: value {name} does not fit the bit field")


def low_bit(mask):
    return (mask & -mask).bit_length() - 1


def first_free_bits(used, width, where):
    field = (1 << width) - 1
    for byte, bits in enumerate(used):
        for shift in range(0, 9 - width):
            if not bits & (field << shift):
                return (byte << 8) | (field << shift)
    raise SourceError(f"{where}: no room left for a {width}-bit field")


def first_free_bytes(used, length, where):
    for start in range(0, len(used) - length + 1):
        if not any(used[start:start + length]):
            return start
    raise SourceError(f"{where}: no room left for {length} bytes")


def build_adjust_tree(desc):
    groups = {}
    for group in desc.groups:
        if group.name in groups:
            raise SourceError(f"{group.where}: group {group.name} given twice")
        groups[group.name] = group
    tops = []
    for node in desc.groups + desc.entries:
        if not 0 <= node.offset < (1 << 14) or not 0 < node.size < (1 << 16):
            raise SourceError(f"{node.where}: offset or size outside the identifier layout")
        parent_name = node.parent if node.group else node.name.rpartition(".")[0]
        if parent_name == "root":
            tops.append(node)
            continue
        parent = groups.get(parent_name)
        if parent is None:
            raise SourceError(f"{node.where}: parent {parent_name} is not a group")
        if node.offset < parent.offset or node.offset + node.size > parent.offset + parent.size:
            raise SourceError(f"{node.where}: {node.name} lies outside {parent.name}")
        node.parent = parent
        parent.children.append(node)
    if len(tops) != 1 or tops[0].id != 0x800007F4:
        raise SourceError("the adjust subtree needs exactly one top group, AdjustBlock")
    for group in desc.groups:
        if len(group.children) != group.declared_children:
            raise SourceError(f"{group.where}: {group.name} has {len(group.children)} children, "
                              f"declared {group.declared_children}")
        group.children.sort(key=lambda child: (child.offset, -child.size, not child.group))
    cursor = 12
    for entry in sorted(desc.entries, key=lambda e: e.offset):
        if entry.offset != cursor:
            raise SourceError(f"{entry.where}: gap or overlap at byte {cursor}")
        cursor += entry.size
    if cursor != ADJUST_BLOCK_SIZE:
        raise SourceError(f"the entries end at byte {cursor}, not {ADJUST_BLOCK_SIZE}")
    order = []

    def visit(node):
        order.append(node)
        for child in node.children:
            visit(child)

    visit(tops[0])
    return order


class Pool:
    """Zero-terminated names laid end to end; rows refer to them by byte offset."""

    def __init__(self, label):
        self.label = label
        self.names = []
        self.offsets = {}
        self.index = {}
        self.size = 0

    def add(self, name):
        if name not in self.offsets:
            self.offsets[name] = self.size
            self.index[name] = len(self.names)
            self.names.append(name)
            self.size += len(name.encode("utf-8")) + 1
            if self.size > POOL_LIMIT:
                raise SourceError(f"the {self.label} name pool passes {POOL_LIMIT} bytes")
        return self.offsets[name]

    def literal(self):
        return "\n".join(f'    "{name}\\0"' for name in self.names)


class Generated:
    def __init__(self, desc):
        self.desc = desc
        self.adjust_order = build_adjust_tree(desc)
        for block in desc.blocks:
            lay_out_block(desc, block)
        self.check_identifiers()
        self.check_mirrors()
        self.build_registry()
        self.check_expectations()

    def nodes_with_ids(self):
        for item in self.desc.items:
            yield item.id, item.size, item.name
        for block in self.desc.blocks:
            yield block.id, block.length, block.name
            for function in block.functions:
                yield function.id, function.size, function.name
        for node in self.adjust_order:
            yield node.id, node.size, node.name

    def check_identifiers(self):
        seen = {}
        adjust_names = {node.name for node in self.adjust_order}
        for ident, size, name in self.nodes_with_ids():
            if ident == NO_ID:
                raise SourceError(f"{name} carries no identifier")
            if ident in seen:
                other_name, other_size = seen[ident]
                # Only an adjust group and its single entry may share one (same bytes).
                if not (name in adjust_names and other_name in adjust_names and size == other_size):
                    raise SourceError(f"{name} and {other_name} share identifier {ident:#010x}")
            else:
                seen[ident] = (name, size)
        for item in self.desc.items:
            if item.id >> 30 not in (0, 3):
                raise SourceError(f"{item.where}: plain item {item.name} needs top bits 00 or 11")
        for block in self.desc.blocks:
            if block.length > 0xFFFF:
                raise SourceError(f"{block.where}: block length does not fit 16 bits")

    def check_mirrors(self):
        by_id = {}
        for item in self.desc.items:
            by_id[item.id] = item
        for block in self.desc.blocks:
            by_id[block.id] = block
            for function in block.functions:
                by_id[function.id] = function
        links = set()
        for item in self.desc.items:
            if item.domain == 8:
                if item.link == NO_ID or item.link in links:
                    raise SourceError(f"{item.where}: mirror {item.name} needs its own link index")
                links.add(item.link)
                if item.source != NO_ID:
                    source = by_id.get(item.source)
                    if source is None or source.mirror != item.id:
                        raise SourceError(f"{item.where}: source of {item.name} does not name it")
            elif item.domain != 1 or item.link != NO_ID or item.source != NO_ID:
                raise SourceError(f"{item.where}: {item.name} is neither a plain item nor a mirror")
        for node in by_id.values():
            if node.mirror != NO_ID:
                mirror = by_id.get(node.mirror)
                if not isinstance(mirror, Item) or mirror.domain != 8 or mirror.source != node.id:
                    raise SourceError(f"{node.where}: mirror of {node.name} does not name it back")

    def build_registry(self):
        desc = self.desc
        contents = bytearray(desc.image)
        block_data = {}
        for block in desc.blocks:
            block_data[block.id] = len(contents)
            contents += block.data
        field_values = {}
        item_data = {}
        for item in desc.items:
            item_data[item.id] = len(contents)
            contents += item.init
        rows = {}

        def add(ident, first, second, offset):
            if ident not in rows:
                rows[ident] = (first, second, offset)

        for node in self.adjust_order:
            add(node.id, node.size, node.size, node.offset)
        for block in desc.blocks:
            base = block_data[block.id]
            add(block.id, block.length, block.length, base)
            for function in block.functions:
                if function.is_range:
                    add(function.id, function.size, function.size, base + function.byte)
                    continue
                value = (block.data[function.byte] & function.mask) >> low_bit(function.mask)
                if value not in field_values:
                    field_values[value] = len(contents)
                    contents.append(value)
                add(function.id, 1, 1, field_values[value])
        # Mirrors last, so that the items they copy have their rows.
        for item in sorted(desc.items, key=lambda i: i.source != NO_ID):
            offset = item_data[item.id]
            if item.source != NO_ID:
                first, second, source_offset = rows[item.source]
                if second == item.size:
                    offset = source_offset  # a mirror starts as a copy of its source
            add(item.id, item.min_length, item.size, offset)
        self.registry = sorted((ident,) + row for ident, row in rows.items())
        self.contents = bytes(contents)

    def counts(self):
        desc = self.desc
        functions = [f for b in desc.blocks for f in b.functions]
        values = [v for f in functions for v in f.values]
        product = [b for b in desc.blocks if b.name[:1].isupper()]
        return {
            "nodes": 1 + len(desc.items) + len(desc.blocks) + len(functions) + len(values)
            + len(self.adjust_order),
            "items": len(desc.items),
            "mirrors": sum(1 for i in desc.items if i.domain == 8),
            "blocks": len(desc.blocks),
            "productblocks": len(product),
            "functions": len(functions),
            "bitfields": sum(1 for f in functions if not f.is_range),
            "byteranges": sum(1 for f in functions if f.is_range),
            "values": len(values),
            "onebytevalues": sum(1 for v in values if len(v[1]) == 1),
            "groups": len(desc.groups),
            "entries": len(desc.entries),
            "registry": len(self.registry),
            "shortregistry": sum(1 for r in self.registry if r[1] != r[2]),
            "leastfunctions": min((len(b.functions) for b in product), default=0),
            "mostfunctions": max((len(b.functions) for b in product), default=0),
            "shortestblock": min((b.length for b in desc.blocks), default=0),
            "longestblock": max((b.length for b in desc.blocks), default=0),
        }

    def check_expectations(self):
        counts = self.counts()
        wrong = [f"{key}: expected {value}, built {counts.get(key)}"
                 for key, value in sorted(self.desc.expect.items()) if counts.get(key) != value]
        if wrong:
            raise SourceError("counts differ from the expectations:\n  " + "\n  ".join(wrong))

    # ----- output -----

    def header(self, what):
        return ("// Generated by tools/metagen/metagen.py from tools/metagen/description.txt; "
                "do not edit.\n"
                "// Regenerate: `python3 tools/metagen/metagen.py` in the repository root "
                "(docs/meta-description.md).\n"
                f"// {what}\n"
                "// clang-format off\n")

    def sizes_header(self):
        desc = self.desc
        counts = self.counts()
        lines = [self.header("Row counts of the compiled-in description tables."),
                 "#pragma once", "", "#include <cstdint>", "", "namespace NMurelMeta {", ""]
        for name, value in (
                ("ITEM_ROW_COUNT", len(desc.items)),
                ("CB_ROW_COUNT", len(desc.blocks)),
                ("CB_FUNCTION_ROW_COUNT", counts["functions"]),
                ("CB_VALUE_ROW_COUNT", counts["values"]),
                ("CB_VALUE_NAME_COUNT", len(self.value_names.names)),
                ("ADJUST_ROW_COUNT", len(self.adjust_order)),
                ("ITEM_REGISTRY_ROW_COUNT", len(self.registry))):
            lines.append(f"constexpr uint32_t {name} = {value};")
        lines += ["", "} // namespace NMurelMeta", ""]
        return "\n".join(lines)

    def item_table(self):
        pool = Pool("item")
        rows = []
        for item in self.desc.items:
            rows.append(f"    {{{pool.add(item.name):5d}, {hx(item.id)}, {item.size:4d}, {item.domain}, "
                        f"{item.data_type:2d}, {hx(item.link)}, {hx(item.source)}, {hx(item.mirror)}}},"
                        f" // {item.name}")
        return "\n".join([
            self.header("The plain page items, in the order the plain-item builder adds them."),
            '#include "meta/MurelMetaTables.h"', "", "namespace NMurelMeta {", "",
            "const char ITEM_NAMES[] =", pool.literal() + ";", "",
            "// name, id, size, domain, dataType, linkIndex, sourceId, mirrorId",
            "const CMetaItemRow ITEM_ROWS[ITEM_ROW_COUNT] = {", *rows, "};", "",
            "} // namespace NMurelMeta", ""])

    def coding_table(self):
        names = Pool("coding")
        value_bytes = bytearray()
        byte_offsets = {}
        block_rows, function_rows, value_rows = [], [], []
        ordered = sorted(self.desc.blocks, key=lambda b: b.name.encode("utf-8"))
        for block in ordered:
            block_rows.append(
                f"    {{{names.add(block.name):5d}, {block.id:2d}, {hx(block.number)}, {hx(block.mirror)}, "
                f"{block.length:3d}, {len(block.functions):3d}, {len(function_rows):4d}}}, // {block.name}")
            for function in block.functions:
                function_rows.append(
                    f"    {{{names.add(function.name):5d}, {hx(function.id)}, {hx(function.mirror)}, "
                    f"{function.size:2d}, {len(function.values):2d}, {len(value_rows):4d}}},"
                    f" // {function.name}")
                for name, data in function.values:
                    if data not in byte_offsets:
                        byte_offsets[data] = len(value_bytes)
                        value_bytes += data
                    value_rows.append(f"{{{self.value_names.index[name]:3d}, {len(data):2d}, "
                                      f"{byte_offsets[data]:3d}}},")
        value_name_offsets = [self.value_names.offsets[name] for name in self.value_names.names]
        return "\n".join([
            self.header("The coding blocks in ascending byte order of their names, their functions "
                        "and named values."),
            '#include "meta/MurelMetaTables.h"', "", "namespace NMurelMeta {", "",
            "const char CB_NAMES[] =", names.literal() + ";", "",
            "// name, block id, blockNumber, mirrorId, blockLength, functionCount, firstFunction",
            "const CMetaCbRow CB_ROWS[CB_ROW_COUNT] = {", *block_rows, "};", "",
            "// name, id, mirrorId, size, valueCount, firstValue",
            "const CMetaCbFunctionRow CB_FUNCTION_ROWS[CB_FUNCTION_ROW_COUNT] = {", *function_rows,
            "};", "",
            "const char CB_VALUE_NAMES[] =", self.value_names.literal() + ";", "",
            "const uint16_t CB_VALUE_NAME_OFFSETS[CB_VALUE_NAME_COUNT] = {",
            *wrap(f"{o}," for o in value_name_offsets), "};", "",
            "const uint8_t CB_VALUE_BYTES[] = {", *wrap(f"0x{b:02X}," for b in value_bytes), "};", "",
            "// value name index, size, offset in CB_VALUE_BYTES",
            "const CMetaCbValueRow CB_VALUE_ROWS[CB_VALUE_ROW_COUNT] = {", *wrap(value_rows), "};",
            "", "} // namespace NMurelMeta", ""])

    def adjust_table(self):
        pool = Pool("adjust")
        index = {id(node): position for position, node in enumerate(self.adjust_order)}
        rows = []
        for node in self.adjust_order:
            parent = 0xFFFF if isinstance(node.parent, str) else index[id(node.parent)]
            rows.append(f"    {{{pool.add(node.name):5d}, {hx(node.id)}, {node.size:4d}, "
                        f"{parent:5d}, {len(node.children):2d}, {node.data_type}}}, // {node.name}")
        return "\n".join([
            self.header("The adjust-block groups and entries in pre-order; a group has dataType 0."),
            '#include "meta/MurelMetaTables.h"', "", "namespace NMurelMeta {", "",
            "const char ADJUST_NAMES[] =", pool.literal() + ";", "",
            "// name, id, size, parent row (0xFFFF: the root), childCount, dataType",
            "const CMetaAdjustRow ADJUST_ROWS[ADJUST_ROW_COUNT] = {", *rows, "};", "",
            "} // namespace NMurelMeta", ""])

    def registry_table(self):
        rows = [f"    {{{hx(ident)}, {first:4d}, {second:4d}, INITIAL_CONTENTS + {offset}}},"
                for ident, first, second, offset in self.registry]
        return "\n".join([
            self.header("The item registry: every distinct identifier of the tree, ascending."),
            '#include "meta/MurelMetaDescription.h"',
            '#include "meta/generated/MurelMetaTableSizes.h"', "", "namespace NMurelMeta {", "",
            "namespace {", "",
            "// Initial contents: the adjust block image, the coding block data, the plain items,",
            "// then the bit-field values.",
            f"const uint8_t INITIAL_CONTENTS[{len(self.contents)}] = {{",
            *wrap(f"0x{b:02X}," for b in self.contents), "};", "", "} // namespace", "",
            "// id, first length, second length, initial contents",
            "const CMurelItemRegistryEntry ITEM_REGISTRY[ITEM_REGISTRY_ROW_COUNT] = {", *rows, "};",
            "const uint32_t ITEM_REGISTRY_SIZE = ITEM_REGISTRY_ROW_COUNT;", "",
            "} // namespace NMurelMeta", ""])

    def files(self):
        self.value_names = Pool("value")
        for block in sorted(self.desc.blocks, key=lambda b: b.name.encode("utf-8")):
            for function in block.functions:
                for name, _ in function.values:
                    self.value_names.add(name)
        return {
            "MurelMetaTableSizes.h": self.sizes_header(),
            "MurelMetaItemTable.cpp": self.item_table(),
            "MurelMetaCodingTable.cpp": self.coding_table(),
            "MurelMetaAdjustTable.cpp": self.adjust_table(),
            "MurelItemRegistry.cpp": self.registry_table(),
        }


def hx(value):
    return f"0x{value:08X}u"


def wrap(pieces, width=96):
    lines, line = [], "   "
    for piece in pieces:
        if len(line) + 1 + len(piece) > width:
            lines.append(line)
            line = "   "
        line += " " + piece
    if line.strip():
        lines.append(line)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", default=os.path.join(HERE, "description.txt"))
    parser.add_argument("--out", default=os.path.join(REPO, "meta", "generated"))
    parser.add_argument("--check", metavar="DIR", help="compare the written files with DIR")
    parser.add_argument("--counts", action="store_true", help="print the counts of the tree")
    args = parser.parse_args()
    try:
        generated = Generated(parse(args.source))
        files = generated.files()
    except SourceError as error:
        print(f"metagen: {error}", file=sys.stderr)
        return 2
    if args.counts:
        for key, value in generated.counts().items():
            print(f"{key} {value}")
    os.makedirs(args.out, exist_ok=True)
    for name, text in files.items():
        with open(os.path.join(args.out, name), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)
    if args.check:
        differs = False
        for name, text in files.items():
            path = os.path.join(args.check, name)
            try:
                with open(path, encoding="utf-8") as committed:
                    old = committed.read()
            except OSError:
                old = ""
            if old != text:
                differs = True
                sys.stdout.writelines(difflib.unified_diff(
                    old.splitlines(True), text.splitlines(True), path, name, n=1))
        if differs:
            print("metagen: the committed tables differ from the source; regenerate them",
                  file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
