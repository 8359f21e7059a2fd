#!/usr/bin/python3
"""Writes site_small.dxf: a small site for the acquisition and time-of-day tests.

Layer BLD: building A (closed LWPOLYLINE 10 x 8 m, thickness 9 m) with a taller north parapet
(LINE, thickness 12 m) and a round bay on its south side (ARC, thickness 9 m); building B far to
the east (closed LWPOLYLINE 6 x 4 m, thickness 6 m). Layer TOWER: a ring 10 m up (CIRCLE; a
circle's thickness is not used, so the ring is the edge). Layer SITE: the site outline and a
text, which are not buildings.

Run with Debian's python (python3-ezdxf): /usr/bin/python3 make_site_small.py
"""
import ezdxf

doc = ezdxf.new("R2000")
msp = doc.modelspace()
for name in ("BLD", "TOWER", "SITE"):
    doc.layers.add(name)

a = msp.add_lwpolyline([(10000, 10000), (20000, 10000), (20000, 18000), (10000, 18000)],
                       close=True, dxfattribs={"layer": "BLD"})
a.dxf.thickness = 9000
msp.add_line((10000, 18000, 0), (20000, 18000, 0), dxfattribs={"layer": "BLD", "thickness": 12000})
msp.add_arc((15000, 10000, 0), 3000, 180, 360, dxfattribs={"layer": "BLD", "thickness": 9000})
b = msp.add_lwpolyline([(80000, 10000), (86000, 10000), (86000, 14000), (80000, 14000)],
                       close=True, dxfattribs={"layer": "BLD"})
b.dxf.thickness = 6000
msp.add_circle((50000, 50000, 10000), 2000, dxfattribs={"layer": "TOWER"})
msp.add_lwpolyline([(0, 0), (100000, 0), (100000, 60000), (0, 60000)], close=True,
                   dxfattribs={"layer": "SITE"})
msp.add_text("SITE", dxfattribs={"layer": "SITE", "height": 500, "insert": (1000, 1000)})

doc.saveas("site_small.dxf")
