#!/usr/bin/python3
"""Writes architects' drawings full of what the embedded drawing does not model (hatches, MTEXT,
dimensions, 3D faces, splines, styles, XDATA, paper space), for the open -> save pass-through test.

Run with Debian's python (python3-ezdxf):  /usr/bin/python3 make_passthrough.py
"""
import sys
import ezdxf


def fill(doc, version):
    doc.header["$LTSCALE"] = 50.0
    doc.header["$DIMSCALE"] = 100.0
    doc.header["$INSUNITS"] = 4
    doc.header["$TEXTSIZE"] = 350.0
    doc.appids.add("PIMUTEST")
    doc.layers.add("建物", color=5)
    doc.layers.add("寸法", color=1)
    doc.styles.add("明朝", font="msmincho.ttc").dxf.height = 0.0
    doc.styles.add("ROMANS", font="romans.shx")
    dim = doc.dimstyles.new("建築100")
    dim.dxf.dimscale = 100.0
    dim.dxf.dimtxt = 2.5
    dim.dxf.dimasz = 2.0
    dim.dxf.dimtxsty = "ROMANS"

    msp = doc.modelspace()
    # What the embedded drawing models.
    xline = msp.add_line((0, 0), (8000, 0), dxfattribs={"layer": "建物", "thickness": 9000})
    xline.set_xdata("PIMUTEST", [(1000, "外壁"), (1040, 12.5), (1070, 3)])
    msp.add_circle((100, 200), 50)
    if version != "R12":
        msp.add_lwpolyline([(0, 0), (8000, 0), (8000, 6000), (0, 6000)], close=True,
                           dxfattribs={"layer": "建物", "thickness": 9000, "const_width": 20})
    msp.add_text("建物A", dxfattribs={"height": 300, "style": "明朝"}).set_placement((4000, 3000))
    # What it does not.
    if version == "R12":  # no hatches, MTEXT, splines or leaders before R13
        d = msp.add_linear_dim(base=(0, -1500), p1=(0, 0), p2=(8000, 0), dimstyle="建築100",
                               dxfattribs={"layer": "寸法"})
        d.render()
        msp.add_3dface([(0, 0, 9000), (8000, 0, 9000), (8000, 6000, 9000), (0, 6000, 9000)])
        msp.add_solid([(100, 100), (200, 100), (100, 200)])
        blk = doc.blocks.new(name="窓")
        blk.add_line((0, 0), (900, 0))
        blk.add_solid([(0, 0), (900, 0), (900, 100)])
        msp.add_blockref("窓", (1000, 0))
        return
    hatch = msp.add_hatch(color=8, dxfattribs={"layer": "建物"})
    hatch.set_pattern_fill("ANSI31", scale=20.0, angle=45.0)
    hatch.paths.add_polyline_path([(0, 0), (8000, 0), (8000, 6000), (0, 6000)], is_closed=True)
    msp.add_mtext("日影規制\\P測定面 4m", dxfattribs={"char_height": 350, "style": "明朝",
                                                 "insert": (9000, 5000, 0), "width": 4000})
    d = msp.add_linear_dim(base=(0, -1500), p1=(0, 0), p2=(8000, 0), dimstyle="建築100",
                           dxfattribs={"layer": "寸法"})
    d.render()
    msp.add_3dface([(0, 0, 9000), (8000, 0, 9000), (8000, 6000, 9000), (0, 6000, 9000)])
    msp.add_spline([(0, 0), (1000, 2000), (3000, -500), (5000, 1000)])
    msp.add_solid([(100, 100), (200, 100), (100, 200)])
    msp.add_leader([(9000, 4000), (8500, 3000), (8000, 3000)])
    # A block holding a hatch and a line, and a model-space reference to it.
    blk = doc.blocks.new(name="窓")
    blk.add_line((0, 0), (900, 0))
    blk.add_hatch(color=4).paths.add_polyline_path([(0, 0), (900, 0), (900, 100)], is_closed=True)
    msp.add_blockref("窓", (1000, 0))
    # Paper space: a title on the layout.
    doc.layout("Layout1").add_text("図面名", dxfattribs={"height": 5}).set_placement((20, 20))


def main():
    for version in ("R12", "R2000", "R2018"):
        doc = ezdxf.new(version)
        if version != "R2018":
            doc.encoding = "cp932"
            doc.header["$DWGCODEPAGE"] = "ANSI_932"
        fill(doc, version)
        doc.saveas(f"passthrough_{version.lower()}.dxf", encoding="cp932" if version != "R2018" else "utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
