// The entity records read from a drawing, one array per kind. The acquisition turns them into
// building edges; the readers of the CAD link fill them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/types.h"

namespace pimu::geometry {

struct TCircleEnt {
    TAcadPoint center;
    double hankei = 0.0;  // radius
    double atumi = 0.0;   // thickness
    TAcadPoint code210{0.0, 0.0, 1.0};
};

struct TArcEnt {
    TAcadPoint center;
    double hankei = 0.0;
    double stdeg = 0.0;  // degrees
    double eddeg = 0.0;
    double atumi = 0.0;
    TAcadPoint code210{0.0, 0.0, 1.0};
};

struct TEllipseEnt {
    TAcadPoint center;
    TAcadPoint endpoint;  // end of the major axis relative to the centre
    double henpei = 1.0;  // minor / major
    double kaisi = 0.0;   // start parameter in degrees
    double owari = 0.0;   // end parameter in degrees, greater than kaisi
    TAcadPoint code210{0.0, 0.0, 1.0};
};

struct TLwpEnt {
    std::string hand;         // entity handle
    std::int32_t code70 = 0;  // 1 closed, 0 open
    double code38 = 0.0;      // elevation
    double code39 = 0.0;      // thickness
    double atumi = 0.0;       // thickness (same value)
    TAcadPoint code210{0.0, 0.0, 1.0};
};

struct TLwpEle {
    std::string hand;  // handle of its polyline
    TAcadPoint code10;
    double code42 = 0.0;  // bulge of the segment that starts here
};

struct TFaceEnt {
    std::string hand;
    TAcadPoint p1, p2, p3, p4;
    TAcadPoint code210{0.0, 0.0, 1.0};
};

struct TInsertEnt {
    TAcadPoint base;
};

struct TPointEnt {
    TAcadPoint pt;
};

struct TTextEnt {
    std::string id;
    std::string str;
    std::int32_t no = 0;
    std::int32_t code72 = 0;
    std::int32_t code73 = 0;
    TAcadPoint pt10;
    TAcadPoint pt11;
    double code40 = 0.0;
    double code50 = 0.0;
};

// Where a record came from: the handle and the layer of its entity in the drawing.
struct TEntitySource {
    std::string hand;
    std::string layer;
};

// The entity arrays. The vertices of one polyline are consecutive in AryLwpEle and carry the
// `hand` of its TLwpEnt.
struct EntityArrays {
    std::vector<TLineEnt> AryLine;
    std::vector<TArcEnt> AryArc;
    std::vector<TTextEnt> AryText;
    std::vector<TCircleEnt> AryCircle;
    std::vector<TEllipseEnt> AryEllipse;
    std::vector<TLwpEnt> AryLwp;
    std::vector<TLwpEle> AryLwpEle;
    std::vector<TFaceEnt> AryFace;
    std::vector<TInsertEnt> AryInsert;
    std::vector<TPointEnt> AryPoint;
    // The handle and layer of each record as the entity reader read it, one per record in the
    // order of its array (AryLine, AryCircle, AryArc, AryEllipse, AryLwp). Records made in other
    // ways have none; the conversion adds edges and arcs past the end of these lists.
    std::vector<TEntitySource> LineSource;
    std::vector<TEntitySource> CircleSource;
    std::vector<TEntitySource> ArcSource;
    std::vector<TEntitySource> EllipseSource;
    std::vector<TEntitySource> LwpSource;
};

}  // namespace pimu::geometry
