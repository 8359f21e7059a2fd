#include "cadlink/reader.h"

#include <cmath>

namespace pimu::cadlink {

namespace {

constexpr double kRadToDeg = 57.29577951308232;

}  // namespace

TAcadPoint ReadPoint(std::span<const double> values) {
    if (values.size() < 2) throw CadError("A point needs at least two coordinates");
    return {values[0], values[1], values.size() > 2 ? values[2] : 0.0};
}

int ReadEntities(ISelectionSet &set, EntityArrays &a) {
    a = EntityArrays{};
    const int count = set.Count();
    for (int i = 0; i < count; ++i) {
        EntityPtr e = set.Item(i);
        const std::string name = e->EntityName();
        const auto source = [&] { return geometry::TEntitySource{e->FileHandle(), e->Layer()}; };
        if (name == "AcDbLine") {
            TLineEnt line;
            line.st = e->StartPoint();
            line.ed = e->EndPoint();
            line.atumi = e->Thickness();
            line.code210 = e->Normal();
            a.AryLine.push_back(line);
            a.LineSource.push_back(source());
        } else if (name == "AcDbCircle") {
            a.AryCircle.push_back({e->Center(), e->Radius(), e->Thickness(), e->Normal()});
            a.CircleSource.push_back(source());
        } else if (name == "AcDbArc") {
            TArcEnt arc;
            arc.center = e->Center();
            arc.hankei = e->Radius();
            arc.atumi = e->Thickness();
            arc.code210 = e->Normal();
            arc.stdeg = e->StartAngle() * kRadToDeg;
            arc.eddeg = e->EndAngle() * kRadToDeg;
            a.AryArc.push_back(arc);
            a.ArcSource.push_back(source());
        } else if (name == "AcDbEllipse") {
            // The axis comes from the CAD itself: the end point of an elliptical arc is not the
            // end of its major axis. The sweep is in parameters, which is what the chords need,
            // and runs forward even when it crosses parameter 0.
            TEllipseEnt el;
            el.center = e->Center();
            el.henpei = e->RadiusRatio();
            el.endpoint = e->MajorAxis();
            el.code210 = e->Normal();
            el.kaisi = e->StartParameter() * kRadToDeg;
            el.owari = e->EndParameter() * kRadToDeg;
            if (el.owari <= el.kaisi) el.owari += 360.0;
            a.AryEllipse.push_back(el);
            a.EllipseSource.push_back(source());
        } else if (name == "AcDbPolyline" || name == "AcDb2dPolyline" || name == "AcDb3dPolyline") {
            const bool is3d = name == "AcDb3dPolyline";
            const std::vector<double> coords = e->Coordinates();
            const std::size_t n = coords.size() / (name == "AcDbPolyline" ? 2 : 3);
            TLwpEnt lwp;
            lwp.hand = e->Handle();
            lwp.code70 = e->Closed() ? 1 : 0;
            if (!is3d) {
                lwp.code210 = e->Normal();
                lwp.code38 = e->Elevation();
                lwp.code39 = e->Thickness();
                lwp.atumi = lwp.code39;
            }
            a.AryLwp.push_back(lwp);
            a.LwpSource.push_back(source());
            for (std::size_t j = 0; j < n; ++j) {
                const TAcadPoint c = e->Coordinate(static_cast<int>(j));
                TLwpEle ele;
                ele.hand = lwp.hand;
                ele.code10 = {c.x, c.y, is3d ? c.z : lwp.code38};
                ele.code42 = is3d ? 0.0 : e->GetBulge(static_cast<int>(j));
                a.AryLwpEle.push_back(ele);
            }
        }
    }
    return static_cast<int>(a.AryLine.size() + a.AryCircle.size() + a.AryLwp.size());
}

void ClearAryEnt(EntityArrays &a) {
    a.AryArc.clear();
    a.AryCircle.clear();
    a.AryEllipse.clear();
    a.AryLwp.clear();
    a.AryInsert.clear();
    a.AryText.clear();
}

}  // namespace pimu::cadlink
