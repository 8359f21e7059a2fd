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

// Some end of a segment other than `self` is near p.
bool MeetsOther(const std::vector<TLineEnt> &segs, std::size_t self, TAcadPoint p) {
    for (std::size_t j = 0; j < segs.size(); ++j) {
        if (j == self) continue;
        if (Near2D(p, segs[j].st) || Near2D(p, segs[j].ed)) return true;
    }
    return false;
}

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
    for (std::size_t i = 0; i + 1 < n; ++i) {
        progress.Step(i);
        const TLineEnt &li = AryLine[i];
        const double d = Dist2D(li.st, li.ed);
        if (d <= kPointTol) continue;
        bool merged = false;
        for (std::size_t j = i + 1; j < n; ++j) {
            TLineEnt &lj = AryLine[j];
            if (!Collinear4(li.st, li.ed, lj.st, lj.ed)) continue;
            if (!OnLine(li, d, lj.st) && !OnLine(li, d, lj.ed)) continue;
            // The later segment takes over the span of both.
            FarthestPair(li.st, li.ed, lj.st, lj.ed, lj.st, lj.ed);
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
    AryRinkaku.reserve(AryRinkaku.size() + n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &l = AryLine[i];
        const TLineEnt &xi = extended[i];
        TempPoints.clear();
        TempPoints.push_back(TTempPoint{0, l.st, {}});
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
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
    for (std::size_t i = 0; i + 1 < n; ++i) {
        progress.Step(i);
        const TLineEnt &a = AryRinkaku[i];
        bool repeated = false;
        for (std::size_t j = i + 1; j < n && !repeated; ++j) {
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
    for (std::size_t step = 0; step < maxSteps; ++step) {
        progress.Step();
        // The right-most turn: the smallest counter-clockwise angle from the way back.
        double bestAngle = kTwoPi;
        bool found = false;
        TAcadPoint next;
        TAcadPoint here;
        for (const TLineEnt &s : AryRinkaku) {
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
    std::vector<char> marked(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Step(i);
        const TLineEnt &s = AryRinkaku[i];
        marked[i] = !MeetsOther(AryRinkaku, i, s.st) || !MeetsOther(AryRinkaku, i, s.ed);
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
                                                const StopRequested &stop) {
    const auto stopped = [&] { return stop && stop(); };
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
