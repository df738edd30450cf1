#!/usr/bin/env python3
"""Lists the function definitions longer than a limit (60 lines unless told) in C++ sources.

Usage: scripts/long-functions.py [--limit N] PATH...   (folders are searched for .cpp and .h)
Exit status 1 when any is found. A definition is counted from its first line to its closing
brace, both included; functions inside namespaces and classes count, lambdas count with the
function that holds them."""
import os
import re
import sys

HEAD = re.compile(r'^\s*(?!namespace\b|class\b|struct\b|enum\b|union\b|extern\b|if\b|for\b|while\b|switch\b|do\b|else\b|return\b|case\b)'
                  r'[^;{}()#]*\b[~\w:<>,*&\s]+\([^;]*\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(final\s*)?(->\s*[\w:<>*& ]+)?\s*(:[^;{]*)?\{\s*$')


def functions(lines):
    depth = 0
    i = 0
    found = []
    while i < len(lines):
        text = lines[i]
        stripped = text.split('//')[0]
        # A head may span several lines: join until the brace.
        head = stripped
        j = i
        while '{' not in head and j + 1 < len(lines) and j - i < 6 and not head.rstrip().endswith(';') and '(' in head:
            j += 1
            head += ' ' + lines[j].split('//')[0].strip()
        if '(' in head and HEAD.match(head.replace('\n', ' ')):
            name = re.findall(r'([~\w:]+)\s*\(', head)
            count = 0
            k = j
            started = False
            while k < len(lines):
                line = re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', '""', lines[k].split('//')[0])
                count += line.count('{') - line.count('}')
                started = started or '{' in line
                if started and count <= 0:
                    break
                k += 1
            found.append((name[0] if name else '?', i + 1, k - i + 1))
            i = k + 1
            continue
        i += 1
    return found


def main():
    args = sys.argv[1:]
    limit = 60
    if args[:1] == ['--limit']:
        limit = int(args[1])
        args = args[2:]
    paths = []
    for arg in args:
        if os.path.isdir(arg):
            for root, _, names in os.walk(arg):
                paths += [os.path.join(root, n) for n in sorted(names) if n.endswith(('.cpp', '.h'))]
        else:
            paths.append(arg)
    long_ones = []
    for path in paths:
        with open(path, encoding='utf-8', errors='replace') as f:
            lines = f.read().split('\n')
        long_ones += [(length, path, line, name) for name, line, length in functions(lines) if length > limit]
    for length, path, line, name in sorted(long_ones, reverse=True):
        print(f'{length:4d} {path}:{line} {name}')
    return 1 if long_ones else 0


if __name__ == '__main__':
    sys.exit(main())
