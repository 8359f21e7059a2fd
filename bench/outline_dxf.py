#!/usr/bin/python3
"""Writes a drawing for timing and stopping the commands on large buildings.

    bench/outline_dxf.py round N FILE   a round building of N vertices with bays (radius 30 m,
                                        bays 1.5 m deep, 20 m high) on a 100 x 100 m site
    bench/outline_dxf.py boxes N FILE   N boxes (8 x 6 m, 9 to 30 m high) in rows on the site
    bench/outline_dxf.py site N FILE    the round outline of N vertices as the site, four boxes on it

Layers: BLD (buildings), SITE (the site outline), MARK (four point marks named P1..P4 north of
the buildings), WALL (a wall line to the north). Run with Debian's python (python3-ezdxf).
"""
import math
import sys

import ezdxf


def main():
    kind, count, target = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    for name in ("BLD", "SITE", "MARK", "WALL"):
        doc.layers.add(name)
    site_ring = None
    if kind in ("round", "site"):
        ring = []
        for k in range(count):
            a = 2 * math.pi * k / count
            r = 30000.0 + 1500.0 * math.sin(2 * math.pi * (k % 800) / 800)
            ring.append((50000.0 + r * math.cos(a), 50000.0 + r * math.sin(a)))
        side = 100000.0
        if kind == "site":
            site_ring = ring
            for x, y in ((40000, 40000), (55000, 40000), (40000, 55000), (55000, 55000)):
                p = msp.add_lwpolyline([(x, y), (x + 6000, y), (x + 6000, y + 5000),
                                        (x, y + 5000)], close=True, dxfattribs={"layer": "BLD"})
                p.dxf.thickness = 15000
        else:
            p = msp.add_lwpolyline(ring, close=True, dxfattribs={"layer": "BLD"})
            p.dxf.thickness = 20000
    elif kind == "boxes":
        per_row = math.ceil(math.sqrt(count))
        for i in range(count):
            x, y = 5000.0 + 15000.0 * (i % per_row), 5000.0 + 14000.0 * (i // per_row)
            p = msp.add_lwpolyline([(x, y), (x + 8000, y), (x + 8000, y + 6000), (x, y + 6000)],
                                   close=True, dxfattribs={"layer": "BLD"})
            p.dxf.thickness = 9000.0 + (i * 7919 % 22) * 1000.0
        side = 15000.0 * per_row + 5000.0
    else:
        raise SystemExit("kind: round, boxes or site")
    msp.add_lwpolyline(site_ring or [(0, 0), (side, 0), (side, side), (0, side)], close=True,
                       dxfattribs={"layer": "SITE"})
    for i in range(4):
        x, y = side * (0.2 + 0.2 * i), side + 5000.0
        msp.add_circle((x, y), 300, dxfattribs={"layer": "MARK"})
        msp.add_text("P%d" % (i + 1), dxfattribs={"layer": "MARK", "height": 300,
                                                 "insert": (x + 350, y)})
    msp.add_line((0, side + 20000), (side, side + 20000), dxfattribs={"layer": "WALL"})
    doc.saveas(target)


if __name__ == "__main__":
    main()
