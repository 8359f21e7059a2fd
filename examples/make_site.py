#!/usr/bin/python3
"""Draws examples/site.dxf, the bundled example: a small urban site in Tokyo, in mm.

Run with Debian's python3 (python3-ezdxf). The DXF is committed; this script documents how it
was made and regenerates it.
"""
import sys
import ezdxf

doc = ezdxf.new("R2000")
doc.encoding = "cp932"  # written as $DWGCODEPAGE ANSI_932
doc.header["$INSUNITS"] = 4  # millimetres
for name, colour in [("建物", 7), ("隣地建物", 8), ("敷地", 3), ("測定点", 1), ("特定点", 5), ("壁面", 4)]:
    doc.layers.add(name, color=colour)
msp = doc.modelspace()


def box(x, y, w, d, height, elevation=0.0, layer="建物"):
    """A volume drawn the usual way: a closed polyline with a thickness."""
    pl = msp.add_lwpolyline([(x, y), (x + w, y), (x + w, y + d), (x, y + d)], close=True,
                            dxfattribs={"layer": layer})
    pl.dxf.thickness = height
    pl.dxf.elevation = elevation
    return pl


# The site: 60 m x 45 m, road on the south side.
site = msp.add_lwpolyline([(10000, 10000), (70000, 10000), (70000, 55000), (10000, 55000)],
                          close=True, dxfattribs={"layer": "敷地"})

# A mid-rise block, 7 floors (21 m), 24 m x 12 m.
box(18000, 36000, 24000, 12000, 21000)
# A stepped volume: 3 floors over the full footprint, 3 more set back on the north half.
box(48000, 30000, 16000, 16000, 9000)
box(48000, 38000, 16000, 8000, 9000, elevation=9000)
# A round tower, 33 m: its roof drawn as a circle at the roof height.
msp.add_circle((30000, 20000, 33000), 4500, dxfattribs={"layer": "建物"})
# A low wing joining the tower to the block: lines with thickness.
for (x1, y1), (x2, y2) in [((26000, 24000), (26000, 36000)), ((34000, 24000), (34000, 36000))]:
    msp.add_line((x1, y1, 0), (x2, y2, 0), dxfattribs={"layer": "建物", "thickness": 6000})

# The neighbour across the north boundary: a 4-storey block (12 m).
box(20000, 62000, 30000, 10000, 12000, layer="隣地建物")

# Sky-factor measurement points along the south road boundary: circles with numbers.
for i, x in enumerate(range(14000, 70000, 8000), start=1):
    msp.add_circle((x, 6000), 300, dxfattribs={"layer": "測定点"})
    msp.add_text(str(i), dxfattribs={"layer": "測定点", "height": 500,
                                      "insert": (x + 400, 6400)})

# Specific points on the neighbour's south wall line.
for i, x in enumerate([24000, 35000, 46000], start=1):
    msp.add_point((x, 60000), dxfattribs={"layer": "特定点"})
    msp.add_text(f"P{i}", dxfattribs={"layer": "特定点", "height": 500,
                                       "insert": (x + 300, 60300)})

# The neighbour's south wall, for the wall shadow.
msp.add_line((20000, 62000, 0), (50000, 62000, 0), dxfattribs={"layer": "壁面"})

msp.add_text("配置図 (例)", dxfattribs={"layer": "敷地", "height": 1200, "insert": (10000, 1500)})

out = sys.argv[1] if len(sys.argv) > 1 else "site.dxf"
doc.saveas(out, encoding="cp932")
