#!/usr/bin/python3
"""Writes the drawings of another DXF producer (ezdxf) that the reader tests load.

Run with Debian's python (python3-ezdxf):  /usr/bin/python3 make_fixtures.py
The values here are the ones tests/cadlink/dxf_fixture_test.cpp expects.
"""
import sys
import ezdxf


def fill(doc, version):
    msp = doc.modelspace()
    doc.layers.add("BLD", color=3)
    doc.layers.add("建物", color=5)
    # Lines with thickness: how buildings are drawn.
    msp.add_line((0, 0, 0), (1000, 0, 0), dxfattribs={"layer": "BLD", "thickness": 3000})
    msp.add_line((1000, 0, 0), (1000, 500, 250), dxfattribs={"layer": "建物"})
    # A mirrored circle (extrusion 0,0,-1): its centre is in the OCS.
    msp.add_circle((100, 200, 0), 50, dxfattribs={"extrusion": (0, 0, -1), "thickness": 1500})
    msp.add_arc((0, 0), 500, 0, 90, dxfattribs={"thickness": 2000})
    if version != "R12":
        msp.add_ellipse((1000, 2000, 0), major_axis=(3000, 0, 0), ratio=0.5)
        msp.add_ellipse((0, 0, 0), major_axis=(0, 200, 0), ratio=0.25, start_param=0.5, end_param=2.0)
        msp.add_lwpolyline([(0, 0, 0, 0, 0), (4000, 0, 0, 0, 0.5), (4000, 3000, 0, 0, 0), (0, 3000, 0, 0, 0)],
                           format="xyseb", close=True,
                           dxfattribs={"elevation": 100, "thickness": 6000, "extrusion": (0, 0, 1), "layer": "BLD"})
        msp.add_lwpolyline([(10, 10), (20, 10)], dxfattribs={"extrusion": (0, 0, -1), "elevation": 5})
    p2 = msp.add_polyline2d([(0, 0), (10, 0), (10, 10)], close=True,
                            dxfattribs={"thickness": 700, "elevation": (0, 0, 30)})
    p2.vertices[0].dxf.bulge = 0.25
    msp.add_polyline3d([(0, 0, 0), (10, 0, 5), (10, 10, 9)], close=False)
    t = msp.add_text("日影図 テスト", dxfattribs={"height": 250, "rotation": 30, "width": 0.8, "layer": "建物"})
    t.set_placement((500, 600), align=ezdxf.enums.TextEntityAlignment.MIDDLE_CENTER)
    msp.add_point((7, 8, 9))
    blk = doc.blocks.new(name="WALL")
    blk.add_line((0, 0), (100, 0), dxfattribs={"thickness": 1200})
    msp.add_blockref("WALL", (5000, 5000), dxfattribs={"rotation": 90})


def main():
    for version, name in (("R12", "ezdxf_r12.dxf"), ("R2000", "ezdxf_r2000.dxf"), ("R2018", "ezdxf_r2018.dxf")):
        doc = ezdxf.new(version)
        if version != "R2018":
            doc.encoding = "cp932"
            doc.header["$DWGCODEPAGE"] = "ANSI_932"
        fill(doc, version)
        doc.saveas(name, encoding="cp932" if version != "R2018" else "utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
