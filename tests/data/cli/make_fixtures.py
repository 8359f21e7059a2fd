#!/usr/bin/python3
"""Writes the command line's test drawings. Run with Debian's python3 (python3-ezdxf)."""
import ezdxf

# One 10 m block (a closed polyline with a thickness), a circle mark and a text on other layers.
doc = ezdxf.new("R2000")
doc.encoding = "cp932"
doc.layers.add("建物", color=7)
doc.layers.add("測定点", color=1)
msp = doc.modelspace()
pl = msp.add_lwpolyline([(0, 0), (10000, 0), (10000, 8000), (0, 8000)], close=True,
                        dxfattribs={"layer": "建物"})
pl.dxf.thickness = 10000
msp.add_text("1", dxfattribs={"layer": "測定点", "height": 500, "insert": (5000, -3000)})
msp.add_point((5000, -3500), dxfattribs={"layer": "測定点"})
doc.saveas("one_block.dxf", encoding="cp932")

# The same with entities Pimu does not model: a hatch and a multi-line text.
doc = ezdxf.new("R2000")
doc.encoding = "cp932"
doc.layers.add("建物", color=7)
msp = doc.modelspace()
pl = msp.add_lwpolyline([(0, 0), (10000, 0), (10000, 8000), (0, 8000)], close=True,
                        dxfattribs={"layer": "建物"})
pl.dxf.thickness = 10000
hatch = msp.add_hatch(color=3)
hatch.paths.add_polyline_path([(0, 0), (10000, 0), (10000, 8000)], is_closed=True)
msp.add_mtext("注記", dxfattribs={"insert": (0, -2000), "char_height": 500})
doc.saveas("with_hatch.dxf", encoding="cp932")

# A block whose outline has no thickness (no height) beside one with a thickness on another layer.
doc = ezdxf.new("R2000")
doc.encoding = "cp932"
doc.layers.add("建物", color=7)
doc.layers.add("隣地建物", color=7)
msp = doc.modelspace()
msp.add_lwpolyline([(0, 0), (10000, 0), (10000, 8000), (0, 8000)], close=True,
                   dxfattribs={"layer": "建物"})
pl = msp.add_lwpolyline([(20000, 0), (26000, 0), (26000, 6000), (20000, 6000)], close=True,
                        dxfattribs={"layer": "隣地建物"})
pl.dxf.thickness = 9000
doc.saveas("no_thickness.dxf", encoding="cp932")

# Nothing in model space: the block is drawn in paper space only.
doc = ezdxf.new("R2000")
doc.encoding = "cp932"
doc.layers.add("建物", color=7)
pl = doc.layout("Layout1").add_lwpolyline([(0, 0), (100, 0), (100, 80), (0, 80)], close=True,
                                           dxfattribs={"layer": "建物"})
pl.dxf.thickness = 100
doc.saveas("paper_space_only.dxf", encoding="cp932")
