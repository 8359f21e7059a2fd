// The conversion of picked entities into building edges: thickness becomes top and vertical
// edges, curves become chords. Each step appends to AryLine; the order of the steps matters
// (lines are extruded before polyline and arc edges exist, bulges become arcs before arcs are
// cut into chords), so callers use ConvertToEdges.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/progress.h"
#include "geometry/building_model.h"
#include "geometry/entities.h"
#include "geometry/height_check.h"
#include "geometry/types.h"

namespace pimu::geometry {

// The chord step of arcs, circles and ellipses, in degrees.
inline constexpr double kTessellationStep = 10.0;
// How far a circle's polygon or an arc's chords may stray from the curve, mm: arcs and circles of
// a radius above 2.6 m (10 mm at 10 degrees) get more chords or sides than the step gives.
inline constexpr double kMaxSagitta = 10.0;
// No circle gets more sides than this (a radius of about 25 km at 10 mm).
inline constexpr int kMaxCircleSides = 4096;

// How a circle becomes a polygon: drawn round it (a building's shadow is never understated) or
// inscribed in it (a site's outline never reaches beyond the circle).
enum class CircleFit { Round, Inside };

// The largest chord angle (degrees) of an arc of this radius: the step, or less where a chord of
// the step would stray more than kMaxSagitta from the arc.
double ChordStep(double radius, double step);

// The sides of a circle's polygon: at least 360 / step, and enough that it strays at most
// kMaxSagitta from the circle. 0 for a step that is not positive.
int CircleSides(double radius, double step, CircleFit fit = CircleFit::Round);

// Every line among those in AryLine when the step starts whose thickness is not 0 gets a top
// edge and two verticals; the line itself stays as the bottom edge.
void ExtrudeLines(std::vector<TLineEnt> &AryLine);

// The vertices of each polyline in AryLwpEle, found by the polyline's handle in time growing
// with the array once (not with polylines times vertices). Keeps pointers into the array: it must
// outlive the index unchanged.
class PolylineVertexIndex {
public:
    explicit PolylineVertexIndex(const std::vector<TLwpEle> &AryLwpEle);
    // The vertices whose handle is `hand`, in the array's order.
    std::vector<TLwpEle> Of(const std::string &hand) const;

private:
    const std::vector<TLwpEle> &vertices_;
    std::unordered_map<std::string_view, std::vector<std::size_t>> byHand_;
};

// Straight polyline segments into AryLine (with their top and vertical edges when the polyline
// has a thickness); bulged segments into AryArc, to be cut into chords by ArcsToLines.
void PolylinesToLines(const std::vector<TLwpEnt> &AryLwp, const std::vector<TLwpEle> &AryLwpEle,
                      std::vector<TArcEnt> &AryArc, std::vector<TLineEnt> &AryLine);

// Each arc into chords of ChordStep(radius, step) degrees from its start (`step`, or less on a
// large arc so that no chord strays more than kMaxSagitta from it); the last chord ends at the
// exact end angle (it may be practically zero long). A thickness adds raised chords and verticals.
void ArcsToLines(const std::vector<TArcEnt> &AryArc, double step, std::vector<TLineEnt> &AryLine);

// Each circle into the closed ring of the polygon drawn round it (CircleSides sides, the first
// corner at angle 0): its shadow is never smaller than the circle's and at most kMaxSagitta
// larger (CircleFit::Inside: the polygon inscribed in it, for a site). A thickness adds, after the
// ring, a raised side and two verticals per side (along the circle's extrusion direction), as for a
// closed polyline with a thickness.
void CirclesToLines(const std::vector<TCircleEnt> &AryCircle, double step,
                    std::vector<TLineEnt> &AryLine, CircleFit fit = CircleFit::Round);

// Each ellipse into chords of `step` degrees of parameter; chords shorter than 1e-5 are left out.
void EllipsesToLines(const std::vector<TEllipseEnt> &AryEllipse, double step,
                     std::vector<TLineEnt> &AryLine);

// The five steps in their order (step 10 degrees), leaving every edge in arrays.AryLine. A site's
// outline takes its circles inscribed (CircleFit::Inside), buildings round.
void ConvertToEdges(EntityArrays &arrays, CircleFit circles = CircleFit::Round);

// The acquisition's conversion as one computation: the arrays as the entity reader filled them
// become the building model (ConvertToEdges; arrays.AryLine keeps the edges, the other arrays
// keep what the conversion left in them). The model holds the same edges, each closed polyline's
// and circle's together, and a volume for each closed plan outline with a height: with a
// thickness from its elevation through the thickness, without one from the ground to its height.
// WithoutHeight: the entities that give no height
// (FindEntitiesWithoutHeight); no command computes while any is among the buildings.
// Asks progress.KeepRunning() every few thousand edges; Stopped when it answered no (the model is
// then empty and the arrays part converted).
struct AcquiredModel {
    BuildingModel Model;
    std::vector<HeightFinding> WithoutHeight;
    bool Stopped = false;
};
AcquiredModel ConvertAcquisition(EntityArrays &arrays, Progress &progress = NoProgress());

}  // namespace pimu::geometry
