// Planar and 3D point routines used inside every geometric loop of Pimu.
//
// All routines take points by value, so an output may be the same object as an input. Routines
// called "planar" read only x and y; z is carried along as documented per routine. Nothing here
// allocates.
#pragma once

#include <cmath>

#include "geometry/tolerances.h"
#include "geometry/types.h"

namespace pimu::geometry {

constexpr TAcadPoint MakePoint(double x, double y, double z) {
    return TAcadPoint{x, y, z};
}

constexpr TAcadPoint AddPoint(TAcadPoint a, TAcadPoint b) {
    return TAcadPoint{a.x + b.x, a.y + b.y, a.z + b.z};
}

constexpr TAcadPoint ScalePoint(TAcadPoint v, double s) {
    return TAcadPoint{v.x * s, v.y * s, v.z * s};
}

constexpr TAcadPoint MulPoint(TAcadPoint a, TAcadPoint b) {
    return TAcadPoint{a.x * b.x, a.y * b.y, a.z * b.z};
}

constexpr TAcadPoint Cross(TAcadPoint a, TAcadPoint b) {
    return TAcadPoint{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// v / |v|; a zero vector is returned unchanged.
inline TAcadPoint Normalize(TAcadPoint v) {
    const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len > 0.0) return TAcadPoint{v.x / len, v.y / len, v.z / len};
    return v;
}

// Planar distance.
inline double Dist2D(TAcadPoint p, TAcadPoint q) {
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    return std::sqrt(dx * dx + dy * dy);
}

// Planar direction from p to q in [0, 2pi). Near-vertical and near-horizontal directions snap to
// the exact axis angles, the vertical test first: coincident points give 3pi/2.
inline double Angle2D(TAcadPoint p, TAcadPoint q) {
    const double dx = q.x - p.x;
    const double dy = q.y - p.y;
    if (std::fabs(dx) < kPointTol) return q.y > p.y ? kHalfPi : kThreeHalfPi;
    if (std::fabs(dy) < kPointTol) return q.x > p.x ? 0.0 : kPi;
    const double t = std::fabs(std::atan(dy / dx));
    if (dx < 0.0 && dy >= 0.0) return kPi - t;
    if (dx >= 0.0 && dy < 0.0) return kTwoPi - t;
    if (dx < 0.0 && dy < 0.0) return kPi + t;
    return t;
}

// base moved by dist in direction angle; z = base.z. The four axis angles move exactly one
// coordinate, so points on axis-parallel lines stay bit-identical in the other.
inline TAcadPoint PolarPoint(TAcadPoint base, double angle, double dist) {
    if (angle == 0.0) return TAcadPoint{base.x + dist, base.y, base.z};
    if (angle == kHalfPi) return TAcadPoint{base.x, base.y + dist, base.z};
    if (angle == kPi) return TAcadPoint{base.x - dist, base.y, base.z};
    if (angle == kThreeHalfPi) return TAcadPoint{base.x, base.y - dist, base.z};
    return TAcadPoint{base.x + dist * std::cos(angle), base.y + dist * std::sin(angle), base.z};
}

// Planar intersection of p1p2 with p3p4 (infinite lines unless bounded). Bounded, the start point
// of each segment is excluded and its end point included. On success x receives the point with
// z = p1.z; otherwise x is left untouched.
inline bool Intersect2D(TAcadPoint p1, TAcadPoint p2, TAcadPoint p3, TAcadPoint p4, bool bounded,
                        TAcadPoint &x) {
    const double den = (p4.x - p3.x) * (p2.y - p1.y) - (p2.x - p1.x) * (p4.y - p3.y);
    if (std::fabs(den) <= kParamTol) return false;
    const double s = ((p4.x - p3.x) * (p3.y - p1.y) - (p4.y - p3.y) * (p3.x - p1.x)) / den;
    const double t = ((p2.x - p1.x) * (p3.y - p1.y) - (p2.y - p1.y) * (p3.x - p1.x)) / den;
    if (bounded && !(kParamTol <= t && t <= 1.0 && kParamTol <= s && s <= 1.0)) return false;
    x = TAcadPoint{p1.x + s * (p2.x - p1.x), p1.y + s * (p2.y - p1.y), p1.z};
    return true;
}

// The circle of a polyline bulge from p1 to p2; the arc runs counter-clockwise from StartAngle
// to EndAngle.
struct TBulgeArc {
    TAcadPoint Center;
    double Radius = 0.0;
    double StartAngle = 0.0;
    double EndAngle = 0.0;
};

// bulge = tan(included angle / 4), positive counter-clockwise; 0 is never passed (straight edge).
inline TBulgeArc BulgeToArc(TAcadPoint p1, TAcadPoint p2, double bulge) {
    const double theta = 4.0 * std::atan(bulge);
    const double c = Dist2D(p1, p2);
    const double r = (c / 2.0) / std::sin(theta / 2.0);  // signed: the side of the chord
    TBulgeArc arc;
    arc.Radius = std::fabs(r);
    arc.Center = PolarPoint(p1, kHalfPi - theta / 2.0 + Angle2D(p1, p2), r);
    if (bulge < 0.0) {
        arc.StartAngle = Angle2D(arc.Center, p2);
        arc.EndAngle = Angle2D(arc.Center, p1);
    } else {
        arc.StartAngle = Angle2D(arc.Center, p1);
        arc.EndAngle = Angle2D(arc.Center, p2);
    }
    return arc;
}

// p lies on segment ab (planar): the detour through p is shorter than kPointTol.
inline bool OnSegment(TAcadPoint p, TAcadPoint a, TAcadPoint b) {
    return std::fabs(Dist2D(a, b) - Dist2D(p, a) - Dist2D(p, b)) < kPointTol;
}

// b and c both lie within kCollinearTol of the line through p and a (planar).
inline bool Collinear4(TAcadPoint p, TAcadPoint a, TAcadPoint b, TAcadPoint c) {
    const double alpha = Angle2D(p, a);
    if (std::fabs(Dist2D(p, b) * std::sin(alpha - Angle2D(p, b))) >= kCollinearTol) return false;
    return std::fabs(Dist2D(p, c) * std::sin(alpha - Angle2D(p, c))) < kCollinearTol;
}

// The two of four points farthest apart (planar). Pairs are visited in a fixed order and only a
// strictly greater distance replaces the running best, so ties keep the earlier pair; if every
// distance is 0, a and b are left untouched.
inline void FarthestPair(TAcadPoint p0, TAcadPoint p1, TAcadPoint p2, TAcadPoint p3, TAcadPoint &a,
                         TAcadPoint &b) {
    const TAcadPoint pts[4] = {p0, p1, p2, p3};
    double best = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const double d = Dist2D(pts[i], pts[j]);
            if (d > best) {
                best = d;
                a = pts[i];
                b = pts[j];
            }
        }
    }
}

// Strict per-coordinate comparisons: points exactly tol apart are not near.
inline bool Near2D(TAcadPoint p, TAcadPoint q, double tol = kPointTol) {
    return std::fabs(p.x - q.x) < tol && std::fabs(p.y - q.y) < tol;
}

inline bool Near3D(TAcadPoint p, TAcadPoint q, double tol = kPointTol) {
    return Near2D(p, q, tol) && std::fabs(p.z - q.z) < tol;
}

// p turned clockwise about the origin by a (that is, by -a); z unchanged.
inline TAcadPoint RotatePoint(TAcadPoint p, double a) {
    const double c = std::cos(a);
    const double s = std::sin(a);
    return TAcadPoint{p.x * c + p.y * s, -p.x * s + p.y * c, p.z};
}

// p given in the object coordinate system of an extrusion direction, in world coordinates
// (the arbitrary-axis rule of DXF).
inline TAcadPoint OcsToWcs(TAcadPoint p, TAcadPoint normal) {
    const TAcadPoint n = Normalize(normal);
    const TAcadPoint w =
        (std::fabs(n.x) < kArbitraryAxisLimit && std::fabs(n.y) < kArbitraryAxisLimit)
            ? TAcadPoint{0.0, 1.0, 0.0}
            : TAcadPoint{0.0, 0.0, 1.0};
    const TAcadPoint ax = Normalize(Cross(w, n));
    const TAcadPoint ay = Normalize(Cross(n, ax));
    return AddPoint(AddPoint(ScalePoint(ax, p.x), ScalePoint(ay, p.y)), ScalePoint(n, p.z));
}

// origin + u*p.x + v*p.y + n*p.z.
constexpr TAcadPoint LocalToWorld(TAcadPoint p, TAcadPoint origin, TAcadPoint u, TAcadPoint v,
                                  TAcadPoint n) {
    return AddPoint(AddPoint(AddPoint(origin, ScalePoint(u, p.x)), ScalePoint(v, p.y)),
                    ScalePoint(n, p.z));
}

// Rounds half away from zero; the result is a whole number kept as a double so that no value can
// overflow an integer type.
inline double RoundHalfAway(double x) {
    return x >= 0.0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
}

}  // namespace pimu::geometry
