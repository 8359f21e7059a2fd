#include "geometry/shadow_outline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"

namespace pimu::geometry {

namespace {

// Half a degree: the step by which PointInOutline turns its ray away from outline vertices.
constexpr double kRayStep = 0.008726646259971648;
// The length of the probe PointInOutline drops perpendicular to an edge.
constexpr double kProbeLength = 100.0;

// Progress of one quadratic loop: a maximum of min(n, 100), one step every max(1, n / 100) outer
// iterations, back to 0 at the end.
class LoopProgress {
public:
    LoopProgress(Progress *sink, std::size_t n) : sink_(sink) {
        if (sink_ == nullptr) return;
        max_ = static_cast<int>(std::min<std::size_t>(n, 100));
        every_ = std::max<std::size_t>(1, n / 100);
        sink_->Start(max_);
        sink_->Position(0);
    }
    LoopProgress(const LoopProgress &) = delete;
    LoopProgress &operator=(const LoopProgress &) = delete;
    ~LoopProgress() {
        if (sink_ != nullptr) sink_->Position(0);
    }

    void Step(std::size_t i) {
        if (sink_ == nullptr || i % every_ != 0) return;
        if (position_ < max_) ++position_;
        sink_->Position(position_);
        (void)sink_->KeepRunning();  // events only; see ProgressDetail
    }

private:
    Progress *sink_;
    int max_ = 0;
    int position_ = 0;
    std::size_t every_ = 1;
};

// Progress of the trace: a maximum of 30 * min(N, 100), one step per move, wrapping to 0.
class TraceProgress {
public:
    TraceProgress(Progress *sink, std::size_t n) : sink_(sink) {
        if (sink_ == nullptr) return;
        max_ = 30 * static_cast<int>(std::min<std::size_t>(n, 100));
        sink_->Start(max_);
        sink_->Position(0);
    }
    TraceProgress(const TraceProgress &) = delete;
    TraceProgress &operator=(const TraceProgress &) = delete;
    ~TraceProgress() {
        if (sink_ != nullptr) sink_->Position(0);
    }

    void Step() {
        if (sink_ == nullptr) return;
        ++position_;
        if (position_ >= max_) position_ = 0;
        sink_->Position(position_);
        (void)sink_->KeepRunning();  // events only; see ProgressDetail
    }

private:
    Progress *sink_;
    int max_ = 0;
    int position_ = 0;
};

TLineEnt Segment(TAcadPoint st, TAcadPoint ed) {
    TLineEnt s;
    s.st = st;
    s.ed = ed;
    return s;
}

// x lies on the segment st-ed of length d: the detour through x is shorter than 1e-5.
bool OnLine(const TLineEnt &s, double d, TAcadPoint x) {
    return std::fabs(Dist2D(s.st, x) + Dist2D(s.ed, x) - d) < kPointTol;
}

// The bounding box of a segment, widened by far more than the rounding of a crossing point, so
// that boxes apart prove that the segments do not meet.
struct Box {
    double x0, y0, x1, y1;
};

Box BoxOf(const TLineEnt &s) {
    constexpr double kSlack = 1e-6;
    return Box{std::min(s.st.x, s.ed.x) - kSlack, std::min(s.st.y, s.ed.y) - kSlack,
               std::max(s.st.x, s.ed.x) + kSlack, std::max(s.st.y, s.ed.y) + kSlack};
}

Box Widened(Box b, double by) {
    return Box{b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by};
}

bool Inside(const Box &b, TAcadPoint p) {
    return p.x >= b.x0 && p.x <= b.x1 && p.y >= b.y0 && p.y <= b.y1;
}

// The points p is Near2D to lie in this box.
Box BoxAround(TAcadPoint p) {
    return Box{p.x - kPointTol, p.y - kPointTol, p.x + kPointTol, p.y + kPointTol};
}

std::vector<Box> BoxesOf(const std::vector<TLineEnt> &segs) {
    std::vector<Box> boxes(segs.size());
    for (std::size_t i = 0; i < segs.size(); ++i) boxes[i] = BoxOf(segs[i]);
    return boxes;
}

bool Apart(const Box &a, const Box &b) {
    return a.x1 < b.x0 || b.x1 < a.x0 || a.y1 < b.y0 || b.y1 < a.y0;
}

// A uniform grid over the boxes of a segment list, answering which segments may overlap a box.
// It only narrows the search: callers still run their own tests on the candidates, in index
// order, so results do not change.
class BoxGrid {
public:
    explicit BoxGrid(const std::vector<Box> &boxes) {
        if (boxes.empty()) return;
        Box all = boxes.front();
        for (const Box &b : boxes) {
            all = Box{std::min(all.x0, b.x0), std::min(all.y0, b.y0), std::max(all.x1, b.x1),
                      std::max(all.y1, b.y1)};
        }
        origin_x_ = all.x0;
        origin_y_ = all.y0;
        side_ =
            static_cast<int>(std::clamp(std::sqrt(static_cast<double>(boxes.size())), 1.0, 256.0));
        cell_w_ = std::max((all.x1 - all.x0) / side_, 1e-3);
        cell_h_ = std::max((all.y1 - all.y0) / side_, 1e-3);
        cells_.resize(static_cast<std::size_t>(side_) * static_cast<std::size_t>(side_));
        for (std::size_t i = 0; i < boxes.size(); ++i) Add(i, boxes[i]);
    }

    // Registers segment i also under the box b (after the segment grew).
    void Add(std::size_t i, const Box &b) {
        if (cells_.empty()) return;
        const Range r = RangeOf(b);
        for (int cy = r.y0; cy <= r.y1; ++cy) {
            for (int cx = r.x0; cx <= r.x1; ++cx) cells_[Index(cx, cy)].push_back(i);
        }
    }

    // The indices of the segments whose box may overlap b, ascending, each once. A box over
    // many cells (a long diagonal segment) gains nothing from the grid: then every index up to
    // `count` is listed.
    void Query(const Box &b, std::vector<std::size_t> &out, std::size_t count) const {
        out.clear();
        if (cells_.empty()) return;
        const Range r = RangeOf(b);
        if ((r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kMaxCells) {
            for (std::size_t i = 0; i < count; ++i) out.push_back(i);
            return;
        }
        for (int cy = r.y0; cy <= r.y1; ++cy) {
            for (int cx = r.x0; cx <= r.x1; ++cx) {
                const std::vector<std::size_t> &cell = cells_[Index(cx, cy)];
                out.insert(out.end(), cell.begin(), cell.end());
            }
        }
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }

private:
    static constexpr int kMaxCells = 16;

    struct Range {
        int x0, y0, x1, y1;
    };

    int Cell(double v, double origin, double size) const {
        const double c = std::floor((v - origin) / size);
        return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(side_ - 1)));
    }
    Range RangeOf(const Box &b) const {
        return Range{Cell(b.x0, origin_x_, cell_w_), Cell(b.y0, origin_y_, cell_h_),
                     Cell(b.x1, origin_x_, cell_w_), Cell(b.y1, origin_y_, cell_h_)};
    }
    std::size_t Index(int cx, int cy) const {
        return static_cast<std::size_t>(cy) * static_cast<std::size_t>(side_) +
               static_cast<std::size_t>(cx);
    }

    double origin_x_ = 0.0;
    double origin_y_ = 0.0;
    double cell_w_ = 1.0;
    double cell_h_ = 1.0;
    int side_ = 1;
    std::vector<std::vector<std::size_t>> cells_;
};

// Keeps the segments whose mark is 0, in order.
void EraseMarked(std::vector<TLineEnt> &segs, const std::vector<char> &marked) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        if (!marked[i]) segs[out++] = segs[i];
    }
    segs.resize(out);
}

}  // namespace

double TurnAngle(TAcadPoint a, TAcadPoint b, TAcadPoint c, bool reverse) {
    double angle = reverse ? Angle2D(b, a) - Angle2D(b, c) : Angle2D(b, c) - Angle2D(b, a);
    if (angle < 0.0) angle += kTwoPi;
    if (angle >= kTwoPi) angle -= kTwoPi;
    return angle;
}

bool PointInOutline(TAcadPoint p, double span, const std::vector<TLineEnt> &outline) {
    // A ray that passes through a vertex would count it twice or not at all: turn it away from
    // every vertex in half-degree steps.
    const auto blocked = [&](double phi) {
        for (const TLineEnt &s : outline) {
            if (std::fabs(phi - Angle2D(p, s.st)) < kPointTol) return true;
            if (std::fabs(phi - Angle2D(p, s.ed)) < kPointTol) return true;
        }
        return false;
    };
    double phi = 0.0;
    while (phi < kTwoPi && blocked(phi)) phi += kRayStep;
    const TAcadPoint far = PolarPoint(p, phi, span * 1000.0);

    std::vector<TAcadPoint> crossings;
    for (const TLineEnt &s : outline) {
        if (Near2D(p, s.st) || Near2D(p, s.ed)) return true;
        const TAcadPoint probe = PolarPoint(p, Angle2D(s.st, s.ed) + kHalfPi, kProbeLength);
        TAcadPoint foot;
        if (Intersect2D(p, probe, s.st, s.ed, false, foot) && Near2D(foot, p) &&
            OnSegment(p, s.st, s.ed)) {
            return true;
        }
        TAcadPoint x;
        if (!Intersect2D(p, far, s.st, s.ed, true, x)) continue;
        if (Near2D(x, p)) return true;
        const bool seen = std::any_of(crossings.begin(), crossings.end(),
                                      [&](TAcadPoint c) { return Near2D(c, x); });
        if (!seen) crossings.push_back(x);
    }
    return crossings.size() % 2 == 1;
}

void PolygonWorkspace::MergeCollinear() {
    const std::size_t n = AryLine.size();
    if (n == 0) return;
    LoopProgress progress(ProgressDetail, n);
    kept_.clear();
    kept_.reserve(n);
    BoxGrid grid(BoxesOf(AryLine));
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        progress.Step(i);
        const TLineEnt &li = AryLine[i];
        const double d = Dist2D(li.st, li.ed);
        if (d <= kPointTol) continue;
        // OnLine accepts only points inside the ellipse with foci st and ed and major axis
        // d + 1e-5, which lies within half its minor axis of the segment.
        const Box near =
            Widened(BoxOf(li), 0.5 * std::sqrt(d * kPointTol + kPointTol * kPointTol) + 1e-6);
        bool merged = false;
        grid.Query(near, candidates, n);
        for (const std::size_t j : candidates) {
            if (j <= i) continue;
            TLineEnt &lj = AryLine[j];
            // The tests are pure, so the cheap ones go first; Collinear4 (three arc tangents) is
            // asked only of the few segments that touch li.
            if (!Inside(near, lj.st) && !Inside(near, lj.ed)) continue;
            if (!OnLine(li, d, lj.st) && !OnLine(li, d, lj.ed)) continue;
            if (!Collinear4(li.st, li.ed, lj.st, lj.ed)) continue;
            // The later segment takes over the span of both.
            FarthestPair(li.st, li.ed, lj.st, lj.ed, lj.st, lj.ed);
            grid.Add(j, BoxOf(lj));
            merged = true;
            break;
        }
        if (!merged) kept_.push_back(li);
    }
    kept_.push_back(AryLine[n - 1]);
    AryLine.swap(kept_);
    kept_.clear();
}

void PolygonWorkspace::GetMaxSpan() {
    MaxSpan = 0.0;
    const std::size_t n = AryLine.size();
    LoopProgress progress(n > 0 ? ProgressDetail : nullptr, n);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &a = AryLine[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            const TLineEnt &b = AryLine[j];
            MaxSpan = std::max({MaxSpan, Dist2D(a.st, b.ed), Dist2D(a.st, b.st), Dist2D(a.ed, b.ed),
                                Dist2D(a.ed, b.st)});
        }
    }
}

void PolygonWorkspace::SplitAtCrossings() {
    const std::size_t n = AryLine.size();
    if (n == 0) return;
    LoopProgress progress(ProgressDetail, n);
    // Extended by 1e-5 at both ends, so that segments which merely touch are found as crossing.
    std::vector<TLineEnt> extended(n);
    for (std::size_t i = 0; i < n; ++i) {
        const TLineEnt &l = AryLine[i];
        const double a = Angle2D(l.st, l.ed);
        extended[i].st = PolarPoint(l.st, a, -kPointTol);
        extended[i].ed = PolarPoint(l.ed, a, kPointTol);
    }
    std::vector<Box> boxes(n);
    for (std::size_t i = 0; i < n; ++i) boxes[i] = BoxOf(extended[i]);
    const BoxGrid grid(boxes);
    std::vector<std::size_t> candidates;
    AryRinkaku.reserve(AryRinkaku.size() + n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &l = AryLine[i];
        const TLineEnt &xi = extended[i];
        TempPoints.clear();
        TempPoints.push_back(TTempPoint{0, l.st, {}});
        const Box bi = BoxOf(xi);
        grid.Query(bi, candidates, n);
        for (const std::size_t j : candidates) {
            if (j == i) continue;
            // Segments whose boxes are apart cannot cross; the test saves the division.
            if (Apart(bi, boxes[j])) continue;
            TAcadPoint x;
            if (Intersect2D(xi.st, xi.ed, extended[j].st, extended[j].ed, true, x)) {
                TempPoints.push_back(TTempPoint{0, x, {}});
            }
        }
        TempPoints.push_back(TTempPoint{0, l.ed, {}});
        SortByDistance(l.st);
        for (std::size_t k = 0; k + 1 < TempPoints.size(); ++k) {
            const TAcadPoint p = TempPoints[k].pt;
            const TAcadPoint q = TempPoints[k + 1].pt;
            if (!Near2D(p, q)) AryRinkaku.push_back(Segment(p, q));
        }
    }
}

void PolygonWorkspace::SortByDistance(TAcadPoint p) {
    const std::size_t n = TempPoints.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (Dist2D(p, TempPoints[j].pt) < Dist2D(p, TempPoints[i].pt)) {
                std::swap(TempPoints[i], TempPoints[j]);
            }
        }
    }
}

void PolygonWorkspace::RemoveDuplicates() {
    AryLine.clear();
    const std::size_t n = AryRinkaku.size();
    if (n == 0) return;
    LoopProgress progress(ProgressDetail, n);
    AryLine.reserve(n);
    const BoxGrid grid(BoxesOf(AryRinkaku));
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        progress.Step(i);
        const TLineEnt &a = AryRinkaku[i];
        bool repeated = false;
        grid.Query(BoxAround(a.st), candidates, n);
        for (std::size_t k = 0; k < candidates.size() && !repeated; ++k) {
            const std::size_t j = candidates[k];
            if (j <= i) continue;
            const TLineEnt &b = AryRinkaku[j];
            repeated = (Near2D(a.st, b.st) && Near2D(a.ed, b.ed)) ||
                       (Near2D(a.st, b.ed) && Near2D(a.ed, b.st));
        }
        if (!repeated) AryLine.push_back(a);
    }
    AryLine.push_back(AryRinkaku[n - 1]);
    AryRinkaku.swap(AryLine);
    AryLine.clear();
}

void PolygonWorkspace::GetMinCorner() {
    if (AryRinkaku.empty()) return;
    TAcadPoint corner = AryRinkaku.front().st;
    for (const TLineEnt &s : AryRinkaku) {
        corner.x = std::min({corner.x, s.st.x, s.ed.x});
        corner.y = std::min({corner.y, s.st.y, s.ed.y});
    }
    MinCorner = corner;
}

TAcadPoint PolygonWorkspace::GetTraceStart() const {
    TAcadPoint best = TraceStart;
    double bestDist = 0.0;
    bool found = false;
    const auto visit = [&](TAcadPoint e) {
        if (std::fabs(e.x - MinCorner.x) >= kPointTol) return;
        const double d = Dist2D(MinCorner, e);
        if (!found || d < bestDist) {
            best = e;
            bestDist = d;
            found = true;
        }
    };
    for (const TLineEnt &s : AryRinkaku) {
        visit(s.st);
        visit(s.ed);
    }
    return best;
}

bool PolygonWorkspace::TraceOutline() {
    const std::size_t n = AryRinkaku.size();
    TraceProgress progress(ProgressDetail, n);
    TAcadPoint cur = TraceStart;
    TAcadPoint prev = TraceRef;
    std::vector<TLineEnt> out;
    out.reserve(n);
    bool closed = false;
    // Each segment is walked at most once each way, plus one turn at each dead end; a walk that
    // has not closed by then never will.
    const std::size_t maxSteps = 3 * n + 1;
    const BoxGrid grid(BoxesOf(AryRinkaku));
    std::vector<std::size_t> candidates;
    for (std::size_t step = 0; step < maxSteps; ++step) {
        progress.Step();
        // The right-most turn: the smallest counter-clockwise angle from the way back.
        double bestAngle = kTwoPi;
        bool found = false;
        TAcadPoint next;
        TAcadPoint here;
        grid.Query(BoxAround(cur), candidates, n);
        for (const std::size_t k : candidates) {
            const TLineEnt &s = AryRinkaku[k];
            TAcadPoint offered;
            TAcadPoint at;
            if (Near2D(s.st, cur)) {
                offered = s.ed;
                at = s.st;
            } else if (Near2D(s.ed, cur)) {
                offered = s.st;
                at = s.ed;
            } else {
                continue;
            }
            if (Near2D(offered, prev)) continue;
            const double angle = TurnAngle(prev, cur, offered, false);
            if (angle < bestAngle) {
                bestAngle = angle;
                next = offered;
                here = at;
                found = true;
            }
        }
        if (!found) {  // a dead end: turn back along the way we came
            next = prev;
            here = cur;
        }
        if (Near2D(cur, next)) break;
        if (!found) {
            if (!out.empty()) out.pop_back();
        } else if (!out.empty() && Near2D(out.back().st, next) && Near2D(out.back().ed, cur)) {
            // Walking back out of a dead end longer than one segment: take the way in back too,
            // so that no spike of a segment and its reverse stays in the outline.
            out.pop_back();
        } else {
            out.push_back(Segment(cur, next));
        }
        prev = here;
        cur = next;
        if (Near2D(TraceStart, cur)) {
            closed = true;
            break;
        }
    }
    AryLine = std::move(out);
    if (!closed) return false;
    if (AryLine.size() > 1) {
        const TLineEnt &first = AryLine.front();
        const TLineEnt &last = AryLine.back();
        if (Near2D(first.st, last.ed) && Near2D(first.ed, last.st)) {
            AryLine.pop_back();
            AryLine.erase(AryLine.begin());
        }
    }
    return AryLine.size() > 2;
}

void PolygonWorkspace::RemoveEnclosed() {
    const std::size_t n = AryRinkaku.size();
    if (n == 0) return;
    LoopProgress progress(ProgressDetail, n);
    std::vector<char> marked(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &s = AryRinkaku[i];
        marked[i] =
            PointInOutline(s.st, MaxSpan, AryLine) || PointInOutline(s.ed, MaxSpan, AryLine);
    }
    EraseMarked(AryRinkaku, marked);
}

void PolygonWorkspace::RemoveDangling() {
    const std::size_t n = AryRinkaku.size();
    if (n == 0) return;
    LoopProgress progress(ProgressDetail, n);
    const BoxGrid grid(BoxesOf(AryRinkaku));
    std::vector<std::size_t> candidates;
    // Some end of a segment other than `self` is near p.
    const auto meets_other = [&](std::size_t self, TAcadPoint p) {
        grid.Query(BoxAround(p), candidates, n);
        for (const std::size_t j : candidates) {
            if (j == self) continue;
            if (Near2D(p, AryRinkaku[j].st) || Near2D(p, AryRinkaku[j].ed)) return true;
        }
        return false;
    };
    std::vector<char> marked(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &s = AryRinkaku[i];
        marked[i] = !meets_other(i, s.st) || !meets_other(i, s.ed);
    }
    EraseMarked(AryRinkaku, marked);
}

void PolygonWorkspace::RemoveBackPairs() {
    const std::size_t n = AryLine.size();
    if (n <= 1) return;
    LoopProgress progress(ProgressDetail, n);
    std::vector<char> marked(n, 0);
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        for (std::size_t j = i + 1; j < n; ++j) {
            if (Near2D(AryLine[i].st, AryLine[j].ed) && Near2D(AryLine[i].ed, AryLine[j].st)) {
                marked[i] = 1;
                marked[j] = 1;
                any = true;
                break;
            }
        }
    }
    if (any) EraseMarked(AryLine, marked);
}

void PolygonWorkspace::BuildGraph(MaxSpanRule rule) {
    MergeCollinear();
    if (rule != MaxSpanRule::Keep) GetMaxSpan();
    if (rule == MaxSpanRule::MeasureTimes1000) MaxSpan *= 1000.0;
    AryRinkaku.clear();
    SplitAtCrossings();
    RemoveDuplicates();
}

bool PolygonWorkspace::TraceFromMinCorner() {
    GetMinCorner();
    TraceRef = MinCorner;
    TraceStart = GetTraceStart();
    AryLine.clear();
    return TraceOutline();
}

bool PolygonWorkspace::StandardSequence(MaxSpanRule rule) {
    BuildGraph(rule);
    return TraceFromMinCorner();
}

void PolygonWorkspace::PruneDangling() {
    RemoveDangling();
    while (AryRinkaku.size() > 3) {
        const std::size_t before = AryRinkaku.size();
        RemoveDangling();
        if (AryRinkaku.size() == before) break;
    }
}

OutlineLoopResult PolygonWorkspace::AllOutlines(MaxSpanRule rule, const OutlineCallback &onOutline,
                                                Progress &stop) {
    const auto stopped = [&] { return !stop.KeepRunning(); };
    if (stopped()) return OutlineLoopResult::Stopped;
    MergeCollinear();
    if (stopped()) return OutlineLoopResult::Stopped;
    if (rule != MaxSpanRule::Keep) GetMaxSpan();
    if (rule == MaxSpanRule::MeasureTimes1000) MaxSpan *= 1000.0;
    if (stopped()) return OutlineLoopResult::Stopped;
    AryRinkaku.clear();
    SplitAtCrossings();
    if (stopped()) return OutlineLoopResult::Stopped;
    RemoveDuplicates();
    // A segment with a loose end can never lie on a closed outline. Left in the graph it can
    // become the trace start (a stray line west of the buildings, a line below the plane) and
    // make the whole instant fail, so loose ends are pruned before the first trace as they are
    // before every later one.
    PruneDangling();
    for (;;) {
        if (stopped()) return OutlineLoopResult::Stopped;
        const bool ok = TraceFromMinCorner();
        if (stopped()) return OutlineLoopResult::Stopped;
        if (!ok) {
            return AryRinkaku.size() > 3 ? OutlineLoopResult::TraceFailed : OutlineLoopResult::Done;
        }
        if (onOutline) onOutline(AryLine);
        if (stopped()) return OutlineLoopResult::Stopped;
        RemoveEnclosed();
        PruneDangling();
        if (AryRinkaku.size() <= 2) return OutlineLoopResult::Done;
    }
}

}  // namespace pimu::geometry
