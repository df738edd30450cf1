#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are small and deterministic: run it again after changing it, and commit what it
writes. The fuzzers only read them (CI copies them first), so a seed never changes by itself.
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Key flags and types of the call interface.
DUP, MOD, BIN, NULL_ALL, SEG, ALT, DESC, REPEAT, EXT, NULL_ANY, NOCASE, NAMED = (
    0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800)
STRING, INTEGER, FLOAT, DATE, TIME, DECIMAL, MONEY, LOGICAL, NUMERIC, BFLOAT, LSTRING, ZSTRING = range(12)
UNSIGNED, AUTOINC, NUMERICSTS, NUMERICSA, CURRENCY, TIMESTAMP = 14, 15, 17, 18, 19, 20
VAR, TRUNC, KEY_ONLY, SPECIFY = 0x1, 0x2, 0x10, 0x400


def file_spec(record_length, page_size, keys, flags=0):
    return struct.pack('<hhBBIHBBH', record_length, page_size, keys, 0, 0, flags, 0, 0, 0)


def segment(position, length, flags, type_=STRING, null=0, number=0, acs=0):
    return struct.pack('<hhHIBBHbB', position, length, flags | EXT, 0, type_, null, 0, number, acs)


def acs_block(name, shift=0):
    table = bytes((i - 32 if 97 <= i <= 122 else i) for i in range(256))
    table = table[shift:] + table[:shift]
    return bytes([0xAC]) + name.ljust(8).encode() + table


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as out:
        out.write(data)


def create_seed(mode, create, index_choice, index):
    return bytes([mode]) + struct.pack('<H', len(create)) + create + bytes([index_choice]) + index


def create_buffer_seeds():
    two_keys = file_spec(32, 4096, 2) + segment(1, 4, MOD) + segment(5, 2, DUP, INTEGER)
    write('create_buffer_fuzz', 'two-keys', create_seed(0, two_keys, 0, segment(7, 2, DUP | MOD, UNSIGNED)))
    variable = file_spec(12, 1024, 1, VAR | TRUNC) + segment(1, 6, DUP | NULL_ALL, LSTRING)
    write('create_buffer_fuzz', 'variable', create_seed(3, variable, 1, segment(7, 4, NOCASE, ZSTRING)))
    numbered = (file_spec(40, 2048, 2) + segment(1, 8, ALT | NOCASE, acs=1) +
                segment(9, 4, DUP | ALT | NOCASE | SEG, acs=0) + segment(13, 2, DUP, INTEGER) +
                acs_block('UPPER') + acs_block('SHIFTED', 3))
    write('create_buffer_fuzz', 'numbered-acs',
          create_seed(0, numbered, 2, segment(21, 6, DUP | ALT | NOCASE | NAMED) + acs_block('SHIFTED', 3)))
    key_only = file_spec(10, 512, 1, KEY_ONLY) + segment(1, 10, 0, ZSTRING)
    write('create_buffer_fuzz', 'key-only', create_seed(2, key_only, 4, segment(1, 2, DUP, UNSIGNED)))
    specified = (file_spec(24, 4096, 2, SPECIFY) + segment(1, 4, 0, AUTOINC, number=5) +
                 segment(5, 4, DUP | MOD | SEG | NULL_ANY, UNSIGNED, number=2) +
                 segment(9, 8, DUP | MOD | DESC | NULL_ANY, STRING, null=0x20, number=2))
    write('create_buffer_fuzz', 'key-numbers',
          create_seed(0, specified, 6, segment(17, 8, DUP, FLOAT) + segment(1, 1, 0)))
    no_keys = file_spec(16, 4096, 0)
    write('create_buffer_fuzz', 'no-keys', create_seed(4, no_keys, 0, segment(1, 8, 0, DATE)))
    types = (file_spec(64, 4096, 6) + segment(1, 8, DUP, DECIMAL) + segment(9, 8, DUP, NUMERIC) +
             segment(17, 4, DUP, BFLOAT) + segment(21, 8, DUP, CURRENCY) + segment(29, 3, DUP, NUMERICSTS) +
             segment(32, 8, DUP | REPEAT, TIMESTAMP))
    write('create_buffer_fuzz', 'many-types', create_seed(1, types, 3, segment(40, 2, MOD, LOGICAL)))


def btrcall_seeds():
    rng = random.Random(20261207)
    # Any input is a program; these are programs of random decisions of a few lengths, and
    # some that lean towards inserts first (an operation byte below 4 is an Insert) so that
    # the keys have something to order.
    for i, length in enumerate((40, 120, 300, 700, 1500)):
        write('btrcall_ops_fuzz', 'random-%d' % i, bytes(rng.randrange(256) for _ in range(length)))
    for i in range(3):
        program = bytearray()
        while len(program) < 900:
            program.append(rng.randrange(4) if len(program) < 300 else rng.randrange(256))
            program.extend(rng.randrange(256) for _ in range(rng.randrange(4, 24)))
        write('btrcall_ops_fuzz', 'inserts-first-%d' % i, bytes(program))


def ini_seeds():
    # A count of changes, each as NAME, KEY and VALUE ended by NUL, then the settings file.
    write('ini_parser_fuzz', 'plain',
          b'\x01Index Log\x00A\\B\x00on\x00[A\\B]\nIndex Log=off\nPATH=/srv/engine\n\n[C]\nx=1\n')
    write('ini_parser_fuzz', 'crlf-bom-comments',
          b'\x02name\x00key\x00value\x00new\x00KEY\x00 v \x00'
          b'\xef\xbb\xbf[key]\r\n; comment\r\n# another\r\nname = spaced \r\n[other]\r\nname=2')
    write('ini_parser_fuzz', 'damaged',
          b'\x01p\x00b\\c d\x00v\x00[unclosed\n=novalue\ngarbage\n  [b\\c d]  \n p =1\n[B\\C D]\np=2\r')
    write('ini_parser_fuzz', 'no-final-line-end', b'\x03n\x00A\x00x\x00m\x00B\x00y\x00n\x00a\x00z\x00[A]\r\nn=1\r\nm=2')


def csv_layout_seeds():
    layout = b'NUMBER 0 4 integer\nNAME 4 20 string\nCODE,24,6,zstring # comment\nAMOUNT 30 8 float\nRAW 38 4 hex\nCOUNT 42 2 unsigned\n'
    csv = b'NUMBER,NAME,CODE,AMOUNT,RAW,COUNT\r\n1,"Smith, John",AB,12.5,00ff10ab,7\r\n-5,"say ""hi""",,1e300,,65535\r\n\r\n'
    write('csv_layout_fuzz', 'layout-and-csv', b'\x00' + struct.pack('<H', len(layout)) + layout + csv)
    write('csv_layout_fuzz', 'bom-multiline',
          b'\x01' + struct.pack('<H', 14) + b'A 0 2 integer\n' + b'\xef\xbb\xbfA,"line one\nline two"\n"unclosed')
    write('csv_layout_fuzz', 'bad-layout',
          b'\x02' + struct.pack('<H', 40) + b'A 0 3 integer\nB 1 2 hex\nA 9 2 string\n' + b'a,b\r\nc,"d"x,e\n')
    write('csv_layout_fuzz', 'edge-values',
          b'\x03' + struct.pack('<H', 60) + b'I 0 8 integer\nU 8 8 unsigned\nF 16 4 float\nZ 20 2 zstring\n' +
          b'-9223372036854775808,18446744073709551615,3.4028235e38,x\n')
    rest = b'N 0 4 integer\nT 4 * text\n'
    write('csv_layout_fuzz', 'rest-of-record',
          b'\x15' + struct.pack('<H', len(rest)) + rest + b'N,T\n1,"a note\nof two lines"\n2,\n')
    accounting = (b'D 0 4 date\nT 4 4 time\nS 8 8 timestamp\nM 16 6 decimal:2\nY 22 4 money\nN 26 5 numeric:1\n'
                  b'C 31 8 currency\nB 39 8 bfloat\nB4 47 4 bfloat\nL 51 6 lstring\nG 57 1 logical\nA 58 2 autoincrement\n')
    write('csv_layout_fuzz', 'accounting-types',
          b'\x04' + struct.pack('<H', len(accounting)) + accounting +
          b'D,T,S,M,Y,N,C,B,B4,L,G,A\n2024-02-29,23:59:59.99,0001-01-01T00:00:00.0000001,-1234.50,19.99,-12.3,'
          b'-922337203685477.5808,0.375,-2.5e-30,hello,true,-32768\n,00:00,9999-12-31 23:59:59.9999999,0,0,0,0,0,0,,false,0\n')


def datafile_seeds():
    """The sample data files, the largest cut to its first 40 pages (variable pages included)
    so that the fuzzer mutates small inputs."""
    samples = os.path.join(HERE, '..', 'data', 'datafiles')
    for name in ('MBBSEMU', 'MULTIACS', 'GALTELA'):
        with open(os.path.join(samples, name + '.DAT'), 'rb') as f:
            write('datafile_reader_fuzz', name.lower(), f.read())
    with open(os.path.join(samples, 'VARIABLE.DAT'), 'rb') as f:
        head = bytearray(f.read()[:40 * 512])
    # The page count (high word first) says 40; the record count no longer agrees.
    head[0x26:0x2A] = bytes([0, 0, 40, 0])
    write('datafile_reader_fuzz', 'variable-head', bytes(head))


if __name__ == '__main__':
    create_buffer_seeds()
    btrcall_seeds()
    ini_seeds()
    csv_layout_seeds()
    datafile_seeds()
