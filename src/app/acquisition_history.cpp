#include "app/acquisition_history.h"

#include <memory>

#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"
#include "cadlink/embedded/input.h"
#include "cadlink/reader.h"
#include "cadlink/tables.h"
#include "geometry/acquisition.h"
#include "geometry/tolerances.h"

namespace pimu::app {

using namespace cadlink;
using namespace cadlink::embedded;
using geometry::TArcEnt;
using geometry::TCircleEnt;
using geometry::TEllipseEnt;
using geometry::TLineEnt;
using geometry::TLwpEle;
using geometry::TLwpEnt;

void SaveAcquiredEntities(const geometry::EntityArrays &a, const std::filesystem::path &path) {
    Drawing d;
    for (const TLineEnt &l : a.AryLine) {
        EntityData e;
        e.kind = EntityKind::Line;
        e.p1 = l.st;
        e.p2 = l.ed;
        e.thickness = l.atumi;
        e.normal = l.code210;
        d.Add(e);
    }
    for (const TCircleEnt &c : a.AryCircle) {
        EntityData e;
        e.kind = EntityKind::Circle;
        e.normal = c.code210;
        e.p1 = WcsToOcs(c.center, c.code210);
        e.radius = c.hankei;
        e.thickness = c.atumi;
        d.Add(e);
    }
    for (const TArcEnt &c : a.AryArc) {
        EntityData e;
        e.kind = EntityKind::Arc;
        e.normal = c.code210;
        e.p1 = WcsToOcs(c.center, c.code210);
        e.radius = c.hankei;
        e.thickness = c.atumi;
        e.startAngle = c.stdeg / geometry::kRadToDeg;
        e.endAngle = c.eddeg / geometry::kRadToDeg;
        d.Add(e);
    }
    for (const TEllipseEnt &c : a.AryEllipse) {
        EntityData e;
        e.kind = EntityKind::Ellipse;
        e.normal = c.code210;
        e.p1 = c.center;
        e.p2 = c.endpoint;
        e.ratio = c.henpei;
        e.startAngle = c.kaisi / geometry::kRadToDeg;
        e.endAngle = c.owari / geometry::kRadToDeg;
        d.Add(e);
    }
    const geometry::PolylineVertexIndex vertices(a.AryLwpEle);
    for (const TLwpEnt &p : a.AryLwp) {
        EntityData e;
        e.closed = (p.code70 & 1) != 0;
        e.normal = p.code210;
        e.elevation = p.code38;
        e.thickness = p.atumi;
        bool flat = true;
        for (const TLwpEle &v : vertices.Of(p.hand)) {
            e.vertices.push_back({v.code10, v.code42});
            if (v.code10.z != p.code38) flat = false;
        }
        // Vertices at different heights came from a 3D polyline.
        e.kind = flat ? EntityKind::LwPolyline : EntityKind::Polyline3d;
        if (!flat)
            for (Vertex &v : e.vertices) v.bulge = 0.0;
        d.Add(e);
    }
    SaveDxf(d, path);
}

geometry::EntityArrays LoadAcquiredEntities(const std::filesystem::path &path) {
    auto doc = std::make_shared<EmbeddedDocument>();
    doc->Open(path);
    ScriptedInput everything;
    everything.Select({EntityQuery{}});
    doc->SetInputSource(&everything);
    SelectionSetPtr set = GetSelectionSet(*doc, kPimuSelectionSet);
    set->SelectOnScreen();
    geometry::EntityArrays arrays;
    ReadEntities(*set, arrays);
    set->Delete();
    return arrays;
}

}  // namespace pimu::app
