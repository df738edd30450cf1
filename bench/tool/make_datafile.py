#!/usr/bin/env python3
"""Writes ROWS customer records as a data file of the original record manager (6.0 page format),
for timing tydb import against tydb load of the same records. Usage:

    bench/tool/make_datafile.py ROWS OUT.DAT [OUT.csv]

The rows are load_bench.sh's (same seed, same draws), and OUT.csv, when named, holds them as the
CSV that load_bench.sh feeds tydb load. The record is 58 bytes: number at 0 (4-byte integer, key 0,
unique), name at 4 (30 bytes), city at 34 (20 bytes, key 1, duplicates), balance at 54 (4-byte
integer); strings are blank-padded, as tydb load pads them.

The file holds what tydb import reads: the control record (its second copy never written), the
page allocation table and the data pages. It has no index pages and no duplicate chains, so the
original record manager could not use it; the importer builds the keys from the records.
"""
import random
import struct
import sys

PAGE = 4096
RECORD = 58
DUP_AREA = 2 + RECORD  # the duplicate pointers of key 1 follow the usage count and the record
SLOT = DUP_AREA + 8
SLOTS = (PAGE - 6) // SLOT
ENTRIES = PAGE // 4 - 2  # logical pages mapped by one allocation-table pair
SPECS = 0x110
SPEC = 30
KAT = 0xF10
DATA = 0x44
NONE = b"\xff" * 4


def ws32(value):
    """32 bits as two little-endian words, the high word first."""
    return struct.pack("<HH", value >> 16, value & 0xFFFF)


def pp4(page, page_type):
    """A page pointer: [hi][type][lo][mid]."""
    return bytes([page >> 16 & 0xFF, page_type, page & 0xFF, page >> 8 & 0xFF])


def physical(logical):
    """Where logical page L lies: after the allocation-table pairs before it (pair k at 2 + k * PAGE / 4)."""
    return logical + 3 + 2 * ((logical - 1) // ENTRIES)


def rows(count):
    """load_bench.sh's rows: number, name, city, balance."""
    random.seed(1)
    for i in range(count):
        yield i + 1, f"Customer {i:06d}", f"City {random.randint(0, 999)}", random.randint(-100000, 100000)


def record(row):
    number, name, city, balance = row
    return struct.pack("<i30s20si", number, name.ljust(30).encode(), city.ljust(20).encode(), balance)


def key_spec(number, offset, length, key_type, duplicates, unique_values):
    entry = length + (12 if duplicates else 8)
    return struct.pack(
        "<4s4sHHHHHHHHB3sBB",
        NONE,  # no index root: index pages are not written
        ws32(unique_values),
        0x0100 | (0x0001 if duplicates else 0),  # extended type, duplicates
        length,
        entry,
        (PAGE - 12) // entry,
        (PAGE - 12) // entry // 2,
        DUP_AREA if duplicates else 0,
        offset + 2,  # positions count the slot's usage count
        length,
        0x80 + number,
        b"\0\0\0",
        key_type,
        0,
    )


def control_record(count, logical_pages, cities):
    fcr = bytearray(PAGE)
    fcr[0:10] = b"FC\0\0" + struct.pack("<IH", 1, PAGE)
    fcr[0x0C:0x14] = NONE + NONE
    fcr[0x14:0x1A] = struct.pack("<HHH", 2, RECORD, SLOT)
    fcr[0x1A:0x1E] = ws32(count)
    fcr[0x22:0x26] = struct.pack("<HH", 0xFFFF, 1)
    fcr[0x26:0x2A] = ws32(logical_pages)
    fcr[0x4A:0x4C] = struct.pack("<H", 0x0600)
    fcr[0x72:0x7A] = struct.pack("<HBBBBH", DUP_AREA, 1, 0, 2, 2, KAT)
    fcr[0x98:0xA0] = NONE + NONE  # no free-slot chain: the importer goes by each slot's usage count
    fcr[SPECS:SPECS + SPEC] = key_spec(0, 0, 4, 1, False, count)
    fcr[SPECS + SPEC:SPECS + 2 * SPEC] = key_spec(1, 34, 20, 0, True, cities)
    fcr[KAT:KAT + 4] = struct.pack("<HH", SPECS, SPECS + SPEC)
    return fcr


def datafile(records, cities):
    data_pages = -(-len(records) // SLOTS)
    pairs = max(1, -(-data_pages // ENTRIES))
    out = bytearray(PAGE * (physical(data_pages) + 1 if data_pages else 4))
    out[0:PAGE] = control_record(len(records), data_pages + 1, cities)
    out[PAGE:PAGE + 10] = b"FC\0\0" + struct.pack("<IH", 0, PAGE)  # the second copy, never written
    for k in range(pairs):
        at = (2 + k * (PAGE // 4)) * PAGE
        out[at:at + 8] = b"PP" + struct.pack("<HI", k + 1, 1)
        for i in range(ENTRIES):
            logical = k * ENTRIES + i + 1
            out[at + 8 + 4 * i:at + 12 + 4 * i] = pp4(physical(logical), DATA if logical <= data_pages else 0)
    for logical in range(1, data_pages + 1):
        at = physical(logical) * PAGE
        out[at:at + 6] = pp4(logical, DATA) + struct.pack("<H", 0x8001)
        first = (logical - 1) * SLOTS
        for s, rec in enumerate(records[first:first + SLOTS]):
            slot = at + 6 + s * SLOT
            out[slot:slot + SLOT] = struct.pack("<H", 1) + rec + NONE + NONE
    return out


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    table = list(rows(int(sys.argv[1])))
    with open(sys.argv[2], "wb") as f:
        f.write(datafile([record(r) for r in table], len({r[2] for r in table})))
    if len(sys.argv) == 4:
        with open(sys.argv[3], "w") as f:
            f.write("number,name,city,balance\n")
            f.writelines(f"{n},{name},{city},{balance}\n" for n, name, city, balance in table)


if __name__ == "__main__":
    main()
