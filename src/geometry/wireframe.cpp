#include "geometry/wireframe.h"

#include <algorithm>
#include <cmath>

#include "geometry/tolerances.h"

namespace pimu::geometry {

std::uint32_t PreviewColour(PreviewKind kind) {
    switch (kind) {
        case PreviewKind::Edge:
            return 0xFF0000;
        case PreviewKind::Plan:
            return 0xC0C0C0;
        case PreviewKind::Vertical:
            return 0x808080;
    }
    return 0xFF0000;
}

int PreviewColourIndex(PreviewKind kind) {
    switch (kind) {
        case PreviewKind::Edge:
            return 1;
        case PreviewKind::Plan:
            return 9;
        case PreviewKind::Vertical:
            return 8;
    }
    return 1;
}

ProjectedPoint ProjectPoint(TAcadPoint p, double hdeg, double vdeg) {
    const double h = hdeg * kDegToRad;
    const double v = vdeg * kDegToRad;
    const double r = std::sqrt(p.x * p.x + p.y * p.y);
    double plan;
    if (std::fabs(p.x) > kPointTol) {
        plan = std::atan(p.y / p.x);
        if (p.x < 0.0) plan += kPi;
    } else {
        plan = p.y < 0.0 ? -kHalfPi : kHalfPi;
    }
    const double a = plan - (kTwoPi - h);
    return {r * std::cos(a), r * std::sin(a) * std::cos(v) + p.z * std::sin(v)};
}

namespace {

// Segments between two questions to the progress.
constexpr std::size_t kAskEvery = 65536;

}  // namespace

Wireframe ProjectWireframe(const std::vector<TLineEnt> &edges, double hdeg, double vdeg,
                           bool footLines, Progress &progress) {
    Wireframe w;
    w.segments.reserve(footLines ? 4 * edges.size() : edges.size());
    bool first = true;
    const auto add = [&](PreviewKind kind, TAcadPoint a, TAcadPoint b) {
        const ProjectedSegment s{kind, ProjectPoint(a, hdeg, vdeg), ProjectPoint(b, hdeg, vdeg)};
        for (const ProjectedPoint &p : {s.p1, s.p2}) {
            if (first) {
                w.xmin = w.xmax = p.x;
                w.ymin = w.ymax = p.y;
                first = false;
            }
            w.xmin = std::min(w.xmin, p.x);
            w.xmax = std::max(w.xmax, p.x);
            w.ymin = std::min(w.ymin, p.y);
            w.ymax = std::max(w.ymax, p.y);
        }
        w.segments.push_back(s);
    };
    const auto ground = [](TAcadPoint p) {
        p.z = 0.0;
        return p;
    };
    const auto stopped = [&](std::size_t i) {
        if (i % kAskEvery != 0 || progress.KeepRunning()) return false;
        w = Wireframe{};
        w.stopped = true;
        return true;
    };
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (stopped(i)) return w;
        add(PreviewKind::Edge, edges[i].st, edges[i].ed);
    }
    if (footLines) {
        for (std::size_t i = 0; i < edges.size(); ++i) {
            if (stopped(i)) return w;
            const TLineEnt &e = edges[i];
            add(PreviewKind::Plan, ground(e.st), ground(e.ed));
            if (e.st.z > 0.0) add(PreviewKind::Vertical, e.st, ground(e.st));
            if (e.ed.z > 0.0) add(PreviewKind::Vertical, e.ed, ground(e.ed));
        }
    }
    return w;
}

namespace {

int Pixel(double v) {
    // Far outside the picture is as good as the edge of a huge one; keeps lround defined.
    return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6)));
}

}  // namespace

PreviewPicture PaintWireframe(const Wireframe &wire, PreviewScale &scale, Progress &progress) {
    PreviewPicture pic;
    if (wire.Empty()) return pic;
    scale.xcen = (wire.xmin + wire.xmax) / 2.0;
    scale.ycen = (wire.ymin + wire.ymax) / 2.0;
    if (scale.cvsc == 0.0) {
        scale.cvsc =
            std::fabs(1.2 * std::max(wire.xmax - wire.xmin, wire.ymax - wire.ymin) / kPreviewWidth);
        // A model that projects to one point has no extent to fit; any scale shows it.
        if (!(scale.cvsc > 0.0) || !std::isfinite(scale.cvsc)) scale.cvsc = 1.0;
    }
    const double half = kPreviewWidth * 0.5;
    const auto px = [&](ProjectedPoint p, int &x, int &y) {
        x = Pixel((p.x - scale.xcen) / scale.cvsc + half);
        y = kPreviewHeight - Pixel((p.y - scale.ycen) / scale.cvsc + half);
    };
    pic.segments.reserve(wire.segments.size());
    for (std::size_t i = 0; i < wire.segments.size(); ++i) {
        if (i % kAskEvery == 0 && !progress.KeepRunning()) {
            pic.segments.clear();
            pic.stopped = true;
            return pic;
        }
        const ProjectedSegment &s = wire.segments[i];
        PictureSegment ps;
        ps.kind = s.kind;
        ps.colour = PreviewColour(s.kind);
        px(s.p1, ps.x1, ps.y1);
        px(s.p2, ps.x2, ps.y2);
        pic.segments.push_back(ps);
    }
    return pic;
}

}  // namespace pimu::geometry
