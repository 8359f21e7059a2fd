// The deemed boundary lines (kyoukaisen): closed lines 5 m and 10 m outside a site outline.
//
// Every straight side of the site is moved outward in parallel; at a convex corner the moved sides
// are joined by an arc about the corner, at a concave corner they are cut where they cross. Where
// moved sides reach further than that (a short side between two concave corners, a notch narrower
// than twice the distance, a side that a neighbour's offset swallows), the line is the outer edge
// of everything within the distance of the site: the offset pieces and corner arcs that lie
// exactly at the distance, joined where they cross. On ordinary sites both descriptions give the
// same line, vertex for vertex.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "base/progress.h"
#include "geometry/types.h"

namespace pimu::boundary {

using geometry::TAcadPoint;
using geometry::TLineEnt;

// The two distances, in drawing units (mm), in the order the lines are written.
inline constexpr double kKyoukaisenDistances[] = {5000.0, 10000.0};

// One vertex of a boundary line. A bulge makes the way to the next vertex an arc (tangent of a
// quarter of its counter-clockwise angle); without one it is straight.
struct KyoukaisenVertex {
    TAcadPoint pt;
    std::optional<double> bulge;
};

// One closed boundary line (the way from the last vertex back to the first closes it; the first
// vertex is not repeated).
struct KyoukaisenLine {
    double distance = 0.0;
    std::vector<KyoukaisenVertex> vertices;
};

enum class KyoukaisenStatus {
    Done,         // both lines made
    TooFewEdges,  // two edges or fewer: nothing to do, nothing to say
    TraceFailed,  // the outline did not close (an open site): the command says it failed
    Stopped,      // the user stopped the trace
};

struct KyoukaisenResult {
    KyoukaisenStatus status = KyoukaisenStatus::TooFewEdges;
    // The site's outer outline, a closed counter-clockwise chain from its lowest left-most vertex.
    std::vector<TLineEnt> outline;
    // The 5000 line, then the 10000 line (empty unless Done).
    std::vector<KyoukaisenLine> lines;
};

// Traces the outer outline of segments in place: true when it closed with three segments or more.
using SiteTracer = std::function<bool(std::vector<TLineEnt> &segments, Progress &progress)>;

// The literal planar routines: collinear merge, span, split at crossings, duplicates dropped,
// the trace from the lowest left-most vertex.
bool TraceSiteLiteral(std::vector<TLineEnt> &segments, Progress &progress);

// The outline engine of the shadow regions: the area the closed chains of the edges enclose (a
// closed polyline, a circle, lines drawn end to end), its western region's outer ring. Lines that
// cross instead of meeting end to end (sides drawn past the corners) close no chain; the literal
// routines trace those.
bool TraceSiteRegions(std::vector<TLineEnt> &segments, Progress &progress);

// The boundary line at `distance` outside a closed counter-clockwise outline (each segment's ed
// the next one's st). The line starts on the offset of the outline's first segment. Asks
// progress.KeepRunning() every few thousand pieces; a stop gives no line.
KyoukaisenLine OffsetOutline(const std::vector<TLineEnt> &outline, double distance,
                             Progress &progress = NoProgress());

// The site's edges (planar segments, as the acquisition's conversions make them from the picked
// lines, polylines, arcs, circles and ellipses) to the outline and the two boundary lines.
KyoukaisenResult MakeKyoukaisen(std::vector<TLineEnt> siteEdges, Progress &progress = NoProgress(),
                                const SiteTracer &tracer = TraceSiteRegions);

// The area a closed line encloses, its arcs included (positive counter-clockwise).
double EnclosedArea(const KyoukaisenLine &line);

}  // namespace pimu::boundary
