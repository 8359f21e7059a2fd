// The drawn sky map of a measurement point as plain entity lists: the map (frame, letters, scale
// marks, projected buildings), the overlay (hatch of the covered sky, vertex marks, the triangles
// of the triangle method, the result texts), the triangle area table and the building position
// table. Coordinates are relative to the map centre (or a table's top-left corner); the CAD link
// turns the lists into DXF text.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "geometry/types.h"
#include "sky/sky_envelope.h"
#include "sky/sky_factor.h"
#include "sky/sky_projection.h"

namespace pimu::sky {

// Which layer field an entity goes on.
enum class MapLayer {
    Tenku,    // Edit33: circle, ticks, letters, projected edges, result texts
    Memori,   // Edit34: scale marks
    Hatch,    // Edit35: hatch of the covered sky
    Sansya,   // Edit36: triangles and the triangle area table
    Tateiti,  // Edit37: vertex marks and the position table
};

struct MapLine {
    MapLayer layer = MapLayer::Tenku;
    TAcadPoint a;
    TAcadPoint b;
    bool hidden = false;  // dashed linetype
    bool fixed4 = false;  // coordinates written with four decimals
};

struct MapCircle {
    MapLayer layer = MapLayer::Tenku;
    TAcadPoint centre;
    double radius = 0.0;
    bool hidden = false;
};

struct MapText {
    MapLayer layer = MapLayer::Tenku;
    TAcadPoint at;  // the alignment point (the insertion point of left-baseline text)
    double height = 0.0;
    std::string text;
    double rotation = 0.0;  // degrees
    double width = 0.8;
    int horizontal = 1;      // DXF 72: 0 left, 1 centre, 2 right
    int vertical = 2;        // DXF 73: 0 baseline, 1 bottom, 2 middle
    bool aligned = true;     // false: left on the base line, no alignment point
    double firstX = 0.0;     // the first text point's x when useFirstX
    bool useFirstX = false;  // the first text point differs from the alignment point in x
    bool fixed4 = false;     // coordinates with four decimals
};

struct MapPolyline {
    MapLayer layer = MapLayer::Tenku;
    std::vector<TAcadPoint> points;
    bool closed = false;
    double elevation = 0.0;
};

using MapEntity = std::variant<MapLine, MapCircle, MapText, MapPolyline>;
using MapEntities = std::vector<MapEntity>;

// The sizes of one map, drawing units.
struct MapSizes {
    double R = 0.0;         // SkyRadius: radius field x scale
    double t = 0.0;         // text height: text field x scale
    double interval = 0.0;  // scale-mark interval, degrees (0: none)
    double ze = 0.0;        // elevation of the projected-edge polylines
};

// Circle, four ticks outside it and the letters N, W, E, S reading outward.
MapEntities MapFrame(double R, double t);

// Azimuth rays and elevation rings every `interval` degrees; those whose k is not a multiple of
// three are dashed. Nothing for an interval of 0 or less.
MapEntities ScaleMarks(double R, double interval);

// The whole map: frame, scale marks, one polyline per projected element and the ground arc.
MapEntities SkyMapEntities(const SkyProjection &projection, const MapSizes &sizes);

// The six texts under a map (scale-mark interval, latitude, plane height, areas, sky factor,
// point label), centred on the map's axis.
struct ResultTexts {
    std::string interval;  // the scale-mark field as typed; empty when there are no scale marks
    std::string latitude;  // "緯度 = ..." already assembled
    double mentaka = 0.0;  // plane height, metres
    double K = 0.0;        // circle area, paper mm2
    double covered = 0.0;  // Q - T, paper mm2
    double value = 0.0;    // sky factor, percent
    std::string label;     // point label
};
MapEntities ResultBlock(double R, double t, const ResultTexts &texts);

// The hatch of the covered sky every H degrees of the north-up map: from the outline to the
// circle, in every covered direction. Unturned map coordinates; none for H of 0 or less.
std::vector<std::pair<TAcadPoint, TAcadPoint>> HatchLines(const SkyEnvelope &envelope, double R,
                                                          double H, double north);

// The outline of each covered stretch as a closed chain on the north-up map: in from the horizon,
// along the buildings, out to the horizon and back along it (all round: the inner outline alone).
std::vector<std::vector<TAcadPoint>> CoveredOutlines(const SkyEnvelope &envelope, double R,
                                                     double north);

// Ties the position-table entries to the outline corners (counter-clockwise order): an entry in
// the direction of a free corner takes the number of the nearest such corner (position + 1);
// repeated entries of one vertex keep a single number. Entries tied to no corner get 0.
void NumberVertices(std::vector<TTateiti> &entries, const std::vector<TAcadPoint> &corners,
                    double R, double north);

// Which triangles the overlay draws and tabulates.
enum class AreaTarget { Area = 0, Keikaku = 1, Tekigou = 2 };

// What the overlay of a map needs.
struct OverlayInputs {
    double R = 0.0;
    double s = 1.0;       // drawing scale
    double t = 0.0;       // text height, drawing units
    double H = 0.0;       // hatch interval, degrees
    double north = 90.0;  // degrees
    double rot = 0.0;     // degrees the overlay is turned by (0 when the map is not turned)
    AreaTarget target = AreaTarget::Keikaku;
    bool marks = false;      // vertex marks for the position table
    bool triangles = false;  // triangle marks and lines
    ResultTexts texts;       // interval, latitude, plane height and label; areas are filled in
};

// The overlay of one map and the numbers its tables show.
struct SkyOverlay {
    MapEntities entities;  // hatch, marks, triangles, result block (turned, except the texts)
    TenkuRituResult ritu;  // both passes and the exact value
    const SansyaPass *pass = nullptr;  // the pass of the target, inside ritu
    bool numbered = false;             // the entries got their vertex numbers
    bool HasTable() const { return pass != nullptr; }
};

// The overlay of a point's sky factors (`exact` is the envelope of its covered sky); `entries`
// get their vertex numbers when inputs.marks is set. In the AREA target only the hatch and the
// outlines as closed polylines are made.
SkyOverlay BuildOverlay(const TenkuRituResult &ritu, const SkyEnvelope &exact,
                        std::vector<TTateiti> &entries, const OverlayInputs &in);

// The triangle area table of a pass (origin at its top-left corner, row pitch p = 2t): every
// triangle, the sums, and the sector of each covered stretch when there are several. K is the
// circle area; an empty interval leaves the scale-mark line out.
MapEntities TriangleTable(const SansyaPass &pass, double K, double R, double s, double t,
                          const std::string &interval, double mentaka);

// The building position table of the numbered entries (origin at the top-left corner of its
// grid, p = text field x 2 x s). Empty when no entry is numbered.
struct TateitiInputs {
    double R = 0.0;
    double s = 1.0;
    double p = 0.0;  // row pitch
    double north = 90.0;
    std::string interval;  // the scale-mark field as typed; empty: no scale marks
    double mentaka = 0.0;  // metres
};
MapEntities TateitiTable(const std::vector<TTateiti> &entries, const TateitiInputs &in);

// The azimuth of a vertex on the north-up map, in (-90, 270].
double MapAzimuth(double houido, double north);

// The point turned counter-clockwise by `degrees` about the origin.
TAcadPoint Turn(TAcadPoint p, double degrees);

}  // namespace pimu::sky
