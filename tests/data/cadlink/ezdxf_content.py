#!/usr/bin/python3
"""Loads a DXF file with ezdxf and prints what an open -> save must keep, one fact a line.

Usage: ezdxf_content.py FILE ENCODING
Output: "audit N", "handle-dups N", "seed-above-handles BOOL", then header values, table entries,
entity counts of every layout and block, entity details of paper space and the blocks, and last the
model-space details in drawing order followed by "end". "$HANDSEED" is printed on a line of its own.
"""
import sys
import ezdxf

HEADER = ("$LTSCALE", "$DIMSCALE", "$INSUNITS", "$TEXTSIZE", "$DIMSTYLE", "$TEXTSTYLE")


def r(v):
    return f"{v:.4f}"


def p(v):
    return ",".join(r(c) for c in v)


def raw_handles(path, encoding):
    with open(path, encoding=encoding, errors="replace") as f:
        lines = f.read().splitlines()
    handles = []
    for k in range(0, len(lines) - 1, 2):
        if lines[k].strip() in ("5", "105") and lines[k - 1].strip() != "$HANDSEED":
            try:
                handles.append(int(lines[k + 1].strip(), 16))
            except ValueError:  # group 5 of an R12 dimension style names a block
                pass
    return handles


def detail(e):
    t = e.dxftype()
    head = [t, e.dxf.layer]
    if t == "LINE":
        body = p(e.dxf.start) + ";" + p(e.dxf.end) + ";" + r(e.dxf.thickness)
    elif t == "HATCH":
        paths = ";".join(str(len(path.vertices)) for path in e.paths if hasattr(path, "vertices"))
        body = f"{e.dxf.pattern_name};{e.dxf.solid_fill};{r(e.dxf.pattern_scale)};{r(e.dxf.pattern_angle)};{e.dxf.color};paths {paths}"
    elif t == "MTEXT":
        body = f"{e.text};{p(e.dxf.insert)};{r(e.dxf.char_height)};{e.dxf.style};{r(e.dxf.width)}"
    elif t == "DIMENSION":
        body = f"{e.dxf.dimtype};{e.dxf.dimstyle};{e.dxf.geometry};{p(e.dxf.defpoint)};{p(e.dxf.defpoint2)};{p(e.dxf.defpoint3)}"
    elif t in ("3DFACE", "SOLID"):
        body = ";".join(p(e.dxf.get(f"vtx{k}", (0, 0, 0))) for k in range(4))
    elif t == "SPLINE":
        body = f"{e.dxf.degree};" + ";".join(p(v) for v in list(e.control_points) + list(e.fit_points))
    elif t == "LEADER":
        body = ";".join(p(v) for v in e.vertices)
    elif t == "TEXT":
        body = f"{e.dxf.text};{e.dxf.style};{r(e.dxf.height)}"
    elif t == "INSERT":
        body = f"{e.dxf.name};{p(e.dxf.insert)}"
    elif t == "LWPOLYLINE":
        body = f"{r(e.dxf.const_width)};" + ";".join(p(v) for v in e.get_points("xy"))
    elif t == "CIRCLE":
        body = p(e.dxf.center) + ";" + r(e.dxf.radius)
    else:
        body = ""
    xdata = []
    if e.xdata:
        for app in e.xdata.data:
            xdata.append(app + "=" + ",".join(str(v) for _, v in e.get_xdata(app)))
    return "|".join(head + [body] + xdata)


def counts(name, space):
    n = {}
    for e in space:
        n[e.dxftype()] = n.get(e.dxftype(), 0) + 1
    return [f"count {name} {t} {c}" for t, c in sorted(n.items())]


def main():
    path, encoding = sys.argv[1], sys.argv[2]
    doc = ezdxf.readfile(path, encoding=encoding)
    auditor = doc.audit()
    print("audit", len(auditor.errors))
    for err in auditor.errors:
        print("audit-error", err.message, file=sys.stderr)
    handles = raw_handles(path, encoding)
    print("handle-dups", len(handles) - len(set(handles)))
    seed = doc.header.get("$HANDSEED", "0")
    print("seed-above-handles", int(seed, 16) > max(handles))
    print("$HANDSEED", seed)
    for var in HEADER:
        print("header", var, doc.header.get(var, "-"))
    for s in doc.styles:
        print("style", s.dxf.name, s.dxf.font, r(s.dxf.height))
    for s in doc.dimstyles:
        print("dimstyle", s.dxf.name, r(s.dxf.dimscale), r(s.dxf.dimtxt), r(s.dxf.dimasz), s.dxf.get("dimtxsty", "-"))
    for a in doc.appids:
        print("appid", a.dxf.name)
    for l in doc.layers:
        print("layer", l.dxf.name, l.dxf.color, l.dxf.linetype)
    lines = []
    for layout in doc.layouts:
        if layout.name != "Model":
            lines += counts("layout:" + layout.name, layout)
            lines += ["paper " + detail(e) for e in layout]
    for b in doc.blocks:
        if b.name.lower() in ("*model_space", "*paper_space") or b.name.lower().startswith("*paper_space"):
            continue
        name = "*D" if b.name.startswith("*D") else b.name  # anonymous dimension blocks
        lines += counts("block:" + name, b)
        if not b.name.startswith("*"):
            lines += [f"block:{name} " + detail(e) for e in b]
    lines += counts("model", doc.modelspace())
    print("\n".join(lines))
    for e in doc.modelspace():
        print("model", detail(e))
    print("end")
    return 0


if __name__ == "__main__":
    sys.exit(main())
