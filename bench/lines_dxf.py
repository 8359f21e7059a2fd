#!/usr/bin/env python3
"""Writes the example site plus N free-standing LINEs with a thickness (one per 100 square metres,
2 to 10 m long, 3 to 30 m high) for measuring time and memory on huge drawings.

    bench/lines_dxf.py examples/site.dxf 1000000 /tmp/lines.dxf
"""
import math
import random
import sys


def main():
    source, count, target = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(source, 'rb') as f:
        lines = f.read().split(b'\n')
    # The ENTITIES section ends at the first ENDSEC after its name.
    start = lines.index(b'ENTITIES')
    end = next(i for i in range(start, len(lines)) if lines[i].strip() == b'ENDSEC') - 1
    first_handle = 0x100000
    seed = lines.index(b'$HANDSEED')
    lines[seed + 2] = b'%X' % (first_handle + count + 1)
    rng = random.Random(5)
    side = math.sqrt(count) * 10000.0
    out = []
    for i in range(count):
        x, y = rng.uniform(0, side), rng.uniform(0, side)
        length, d = rng.uniform(2000, 10000), rng.uniform(0, 2 * math.pi)
        z = rng.uniform(3000, 30000)
        out.append(b'  0\nLINE\n  5\n%X\n100\nAcDbEntity\n  8\n0\n100\nAcDbLine\n'
                   b' 10\n%.1f\n 20\n%.1f\n 30\n0.0\n 11\n%.1f\n 21\n%.1f\n 31\n0.0\n 39\n%.1f'
                   % (first_handle + i, x, y, x + length * math.cos(d), y + length * math.sin(d), z))
    with open(target, 'wb') as f:
        f.write(b'\n'.join(lines[:end]))
        f.write(b'\n')
        f.write(b'\n'.join(out))
        f.write(b'\n')
        f.write(b'\n'.join(lines[end:]))


if __name__ == '__main__':
    main()
