// The wireframe preview of the building model: the edges turned about the vertical axis, tilted,
// and mapped onto a small picture. The result is a description (segments with their kind, colour
// and pixel ends) that a window paints and the CAD link can draw as a block.
#pragma once

#include <cstdint>
#include <vector>

#include "base/progress.h"
#include "geometry/types.h"

namespace pimu::geometry {

inline constexpr int kPreviewWidth = 214;
inline constexpr int kPreviewHeight = 212;

// Kinds of preview segment.
enum class PreviewKind : int {
    Edge = 0,      // a model edge
    Plan = 1,      // an edge dropped to z = 0
    Vertical = 2,  // from an edge end above 0 down to z = 0
};

// Picture colours as 0xRRGGBB, and the CAD colour numbers of the drawn block.
std::uint32_t PreviewColour(PreviewKind kind);
int PreviewColourIndex(PreviewKind kind);

struct ProjectedPoint {
    double x = 0.0;
    double y = 0.0;
};

// The point turned by hdeg about the vertical axis through the origin (counter-clockwise) and
// tilted by vdeg (0 the plan, 90 an elevation). The plan angle respects the quadrant, so models
// with negative x are not mirrored.
ProjectedPoint ProjectPoint(TAcadPoint p, double hdeg, double vdeg);

struct ProjectedSegment {
    PreviewKind kind = PreviewKind::Edge;
    ProjectedPoint p1, p2;
};

struct Wireframe {
    std::vector<ProjectedSegment> segments;
    double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;  // of all projected points
    bool stopped = false;  // the progress asked to stop: no segments
    bool Empty() const { return segments.empty(); }
};

// Every edge (kind Edge); with footLines also every edge dropped to z = 0 and the verticals from
// the ends above 0. Asks progress.KeepRunning() every few ten thousand edges.
Wireframe ProjectWireframe(const std::vector<TLineEnt> &edges, double hdeg, double vdeg,
                           bool footLines, Progress &progress = NoProgress());

struct PictureSegment {
    PreviewKind kind = PreviewKind::Edge;
    std::uint32_t colour = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // pixels, y down
};

// What the preview shows: a black picture with coloured lines.
struct PreviewPicture {
    int width = kPreviewWidth;
    int height = kPreviewHeight;
    std::uint32_t background = 0x000000;
    std::vector<PictureSegment> segments;
    bool stopped = false;  // the progress asked to stop: no segments
};

// The frame in picture pixels. scale (drawing units per pixel) is computed when it is 0 and kept
// otherwise, so turning the view keeps the size; centre is recomputed every time.
struct PreviewScale {
    double cvsc = 0.0;
    double xcen = 0.0;
    double ycen = 0.0;
};
// Asks progress.KeepRunning() every few ten thousand segments.
PreviewPicture PaintWireframe(const Wireframe &wire, PreviewScale &scale,
                              Progress &progress = NoProgress());

}  // namespace pimu::geometry
