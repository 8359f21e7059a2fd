#!/usr/bin/python3
"""Loads a DXF file with ezdxf, audits it and prints one line per model-space entity.

Usage: ezdxf_check.py FILE ENCODING
Output: "audit ERRORS", then "TYPE|layer|thickness|extrusion|detail" lines, then "blocks NAMES".
"""
import sys
import ezdxf


def r(v):
    return f"{v:.6f}"


def p(v):
    return ",".join(r(c) for c in v)


def main():
    path, encoding = sys.argv[1], sys.argv[2]
    doc = ezdxf.readfile(path, encoding=encoding)
    auditor = doc.audit()
    print("audit", len(auditor.errors))
    for e in doc.modelspace():
        t = e.dxftype()
        thick = r(e.dxf.get("thickness", 0.0)) if e.dxf.is_supported("thickness") else "-"
        ext = p(e.dxf.get("extrusion", (0, 0, 1))) if e.dxf.is_supported("extrusion") else "-"
        if t == "LINE":
            detail = p(e.dxf.start) + ";" + p(e.dxf.end)
        elif t in ("CIRCLE", "ARC"):
            detail = p(e.dxf.center) + ";" + r(e.dxf.radius)
            if t == "ARC":
                detail += ";" + r(e.dxf.start_angle) + ";" + r(e.dxf.end_angle)
        elif t == "ELLIPSE":
            detail = p(e.dxf.center) + ";" + p(e.dxf.major_axis) + ";" + r(e.dxf.ratio)
        elif t == "LWPOLYLINE":
            detail = r(e.dxf.elevation) + ";" + str(e.closed) + ";" + ";".join(
                p((x, y, b)) for x, y, _, _, b in e.get_points())
        elif t == "POLYLINE":
            detail = ("3d" if e.is_3d_polyline else "2d") + ";" + p(e.dxf.elevation) + ";" + str(e.is_closed) + ";" + ";".join(
                p(v.dxf.location) + "/" + r(v.dxf.bulge) for v in e.vertices)
        elif t == "TEXT":
            detail = e.dxf.text + ";" + r(e.dxf.height) + ";" + r(e.dxf.rotation) + ";" + r(e.dxf.width)
        elif t == "POINT":
            detail = p(e.dxf.location)
        elif t == "INSERT":
            detail = e.dxf.name + ";" + p(e.dxf.insert) + ";" + r(e.dxf.rotation)
        else:
            detail = ""
        print("|".join([t, e.dxf.layer, thick, ext, detail]))
    print("blocks", " ".join(sorted(b.name for b in doc.blocks if not b.name.startswith("*"))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
