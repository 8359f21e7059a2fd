// Shadow outlines from segments only: every building edge casts a quadrilateral of segments, the
// segment soup is cleaned and split into a planar graph, and the outer boundary of each shadow
// island is traced by always taking the right-most turn.
//
// This is the literal version of the algorithm. Its tolerances, orders of iteration and
// tie-breaking rules decide which outline comes out, so it is kept as the reference against which
// faster paths are compared.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/progress.h"
#include "geometry/types.h"

namespace pimu::geometry {

// How the standard sequence sets MaxSpan, the length PointInOutline needs for its ray.
enum class MaxSpanRule {
    Measure,           // GetMaxSpan
    MeasureTimes1000,  // GetMaxSpan, then MaxSpan *= 1000 (the ground shadow outlines)
    Keep,              // the caller has set MaxSpan (the sky outlines)
};

// How the loop over all outlines of one instant ended.
enum class OutlineLoopResult {
    Done,         // every island traced (or nothing left to trace)
    Stopped,      // the caller asked to stop between two steps
    TraceFailed,  // a trace did not close while more than 3 graph segments were left
};

// Called with each traced outline (a closed chain of segments, counter-clockwise).
using OutlineCallback = std::function<void(const std::vector<TLineEnt> &outline)>;

// The counter-clockwise angle at b from the direction towards a to the direction towards c, in
// [0, 2pi); with reverse the opposite difference.
double TurnAngle(TAcadPoint a, TAcadPoint b, TAcadPoint c, bool reverse);

// True when p lies inside the closed outline or on it (within 1e-5). span must be at least the
// figure's extent; the ray is span * 1000 long.
bool PointInOutline(TAcadPoint p, double span, const std::vector<TLineEnt> &outline);

// The work arrays and trace state of the polygon operations. One workspace serves one computation
// at a time; no routine relies on what an earlier computation left in it.
class PolygonWorkspace {
public:
    // Work segments on input; after a trace, the traced outline.
    std::vector<TLineEnt> AryLine;
    // The planar segment graph (st, ed and the mark id only).
    std::vector<TLineEnt> AryRinkaku;
    // Scratch: the crossing points of one segment.
    std::vector<TTempPoint> TempPoints;

    TAcadPoint MinCorner;
    TAcadPoint TraceRef;
    TAcadPoint TraceStart;
    double MaxSpan = 0.0;

    // Progress of the long steps; null leaves the progress alone. The steps ask KeepRunning
    // only so that the window handles its pending events (a stop button can be pressed
    // meanwhile); they never stop on its answer: the stop is AllOutlines' between the steps.
    Progress *ProgressDetail = nullptr;

    // The work segments come from the caller: shadow/shadow_casting.h casts them for an instant.

    // Collinear overlaps in AryLine merged, segments up to 1e-5 long dropped (the last is kept).
    void MergeCollinear();
    // MaxSpan = the largest distance between end points of two different segments of AryLine.
    void GetMaxSpan();
    // AryRinkaku += AryLine split at every crossing and touching point.
    void SplitAtCrossings();
    // TempPoints ordered by distance from p (selection sort).
    void SortByDistance(TAcadPoint p);
    // Repeated segments of AryRinkaku dropped (the later copy stays); AryLine left empty.
    void RemoveDuplicates();
    // MinCorner = (smallest x, smallest y) of AryRinkaku.
    void GetMinCorner();
    // The lowest vertex of the left-most column of AryRinkaku; TraceStart when the graph is empty.
    TAcadPoint GetTraceStart() const;
    // Walks the outer boundary from TraceStart into AryLine; true when it closed with more than
    // two segments.
    bool TraceOutline();
    // Drops every graph segment with an end inside or on the outline in AryLine.
    void RemoveEnclosed();
    // One pass dropping graph segments with an end that meets no other segment.
    void RemoveDangling();
    // RemoveDangling once, then again while more than 3 segments remain and it still removes some.
    void PruneDangling();
    // Drops pairs of mutually reversed segments from AryLine.
    void RemoveBackPairs();

    // The standard sequence up to the graph: MergeCollinear, MaxSpan, SplitAtCrossings into an
    // emptied AryRinkaku, RemoveDuplicates.
    void BuildGraph(MaxSpanRule rule);
    // GetMinCorner, TraceRef, TraceStart, emptied AryLine, TraceOutline.
    bool TraceFromMinCorner();
    // BuildGraph and TraceFromMinCorner: the first outline from the work segments in AryLine.
    bool StandardSequence(MaxSpanRule rule);

    // Every outline of the work segments in AryLine, western island first. Each traced outline is
    // handed to onOutline; `stop` is asked between steps (KeepRunning false ends the loop).
    OutlineLoopResult AllOutlines(MaxSpanRule rule, const OutlineCallback &onOutline,
                                  Progress &stop = NoProgress());

private:
    std::vector<TLineEnt> kept_;  // scratch of the collinear merge
};

}  // namespace pimu::geometry
