#!/usr/bin/env python3
"""Compares two drawings saved by Pimu's embedded drawing: the same model-space entities in the
same order (every group but the numbers equal, the numbers within 1e-9), the same layers.

usage: compare_dxf.py EXPECTED.dxf ACTUAL.dxf"""
import sys

TOLERANCE = 1e-9


def is_float_code(code):
    return 10 <= code <= 59 or 110 <= code <= 149 or 210 <= code <= 239 or 1010 <= code <= 1059


def read_pairs(path):
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    return [(int(lines[i].strip()), lines[i + 1].strip()) for i in range(0, len(lines) - 1, 2)]


def sections(pairs):
    """Entities of the ENTITIES section (lists of pairs) and the LAYER names of TABLES."""
    entities, layers = [], set()
    section, table, current = None, None, None
    for i, (code, value) in enumerate(pairs):
        if code == 2 and i > 0 and pairs[i - 1] == (0, "SECTION"):
            section = value
        elif code == 0 and value == "ENDSEC":
            section = None
        elif section == "TABLES" and code == 2 and i > 0 and pairs[i - 1] == (0, "TABLE"):
            table = value
        elif section == "TABLES" and table == "LAYER" and code == 2:
            layers.add(value)
        if section == "ENTITIES":
            if code == 0:
                current = [(code, value)]
                entities.append(current)
            elif current is not None:
                current.append((code, value))
    return entities, layers


def differs(a, b):
    if len(a) != len(b):
        return "different group counts"
    for (ca, va), (cb, vb) in zip(a, b):
        if ca != cb:
            return f"group {ca} against {cb}"
        if is_float_code(ca):
            if abs(float(va) - float(vb)) > TOLERANCE:
                return f"group {ca}: {va} against {vb}"
        elif va != vb:
            return f"group {ca}: {va!r} against {vb!r}"
    return None


def main():
    expected, expected_layers = sections(read_pairs(sys.argv[1]))
    actual, actual_layers = sections(read_pairs(sys.argv[2]))
    problems = []
    if expected_layers != actual_layers:
        problems.append(f"layers differ: {sorted(expected_layers ^ actual_layers)}")
    if len(expected) != len(actual):
        problems.append(f"{len(expected)} entities against {len(actual)}")
    for n, (a, b) in enumerate(zip(expected, actual)):
        why = differs(a, b)
        if why:
            problems.append(f"entity {n} ({a[0][1]}): {why}")
            if len(problems) > 10:
                break
    if problems:
        print("\n".join(problems))
        return 1
    print(f"same drawing: {len(expected)} entities, {len(expected_layers)} layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
