// The boundary-line construction corner by corner, as first described: every side moved outward,
// moved sides cut where neighbours cross (bounded, start points excluded), otherwise an arc about
// the corner. Vertices as that description writes them: a corner where the sides run straight on
// gets a 0-degree arc (bulge 0 and its point twice), and the first vertex is repeated at the end.
// Kept as the reference the production line must equal on ordinary sites.
#pragma once

#include <cmath>
#include <vector>

#include "boundary/kyoukaisen.h"
#include "geometry/primitives.h"
#include "geometry/tolerances.h"

namespace pimu::boundary::testing {

inline KyoukaisenLine LiteralOffsetOutline(const std::vector<TLineEnt> &outline, double d) {
    using namespace geometry;
    const std::size_t n = outline.size();
    std::vector<TLineEnt> off(n + 1);
    for (std::size_t k = 0; k < n; ++k) {
        double phi = Angle2D(outline[k].ed, outline[k].st) + kHalfPi;
        if (phi >= kTwoPi) phi -= kTwoPi;
        off[k].st = PolarPoint(outline[k].st, phi, d);
        off[k].ed = PolarPoint(outline[k].ed, phi, d);
    }
    off[n] = off[0];
    struct Arc {
        double stdeg, eddeg;
    };
    std::vector<Arc> arcs;
    for (std::size_t k = 0; k < n; ++k) {
        TAcadPoint x;
        if (Intersect2D(off[k].st, off[k].ed, off[k + 1].st, off[k + 1].ed, true, x)) {
            off[k].ed = x;
            off[k + 1].st = x;
            off[k].id = 0;
        } else {
            arcs.push_back({Angle2D(outline[k].ed, off[k].ed) * kRadToDeg,
                            Angle2D(outline[k].ed, off[k + 1].st) * kRadToDeg});
            off[k].id = static_cast<int>(arcs.size());
        }
    }
    KyoukaisenLine line;
    line.distance = d;
    line.vertices.push_back({off[0].st, std::nullopt});
    for (std::size_t k = 0; k < n; ++k) {
        if (off[k].id > 0) {
            const Arc &a = arcs[static_cast<std::size_t>(off[k].id - 1)];
            double delta = a.eddeg - a.stdeg;
            if (delta < 0.0) delta += 360.0;
            line.vertices.push_back({off[k].ed, std::tan(delta / 4.0 * kDegToRad)});
            line.vertices.push_back({off[k + 1].st, std::nullopt});
        } else {
            line.vertices.push_back({off[k].ed, std::nullopt});
        }
    }
    return line;
}

}  // namespace pimu::boundary::testing
