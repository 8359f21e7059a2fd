#include "app/point_grid.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cadlink/dxftext.h"
#include "geometry/primitives.h"

namespace pimu::app {

void FillPointGrid(TStringGrid &sg, std::vector<geometry::TTempPoint> TempPoints,
                   PointOrder order) {
    const std::size_t n = TempPoints.size();
    for (auto &p : TempPoints) p.id = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (geometry::Near2D(TempPoints[i].pt, TempPoints[j].pt, 1e-5)) {
                TempPoints[i].id = -1;
                break;
            }

    if (order == PointOrder::Sorted && n > 1) {
        double xmin = TempPoints[0].pt.x, xmax = xmin, ymin = TempPoints[0].pt.y, ymax = ymin;
        for (const auto &p : TempPoints) {
            xmin = std::min(xmin, p.pt.x);
            xmax = std::max(xmax, p.pt.x);
            ymin = std::min(ymin, p.pt.y);
            ymax = std::max(ymax, p.pt.y);
        }
        const bool byX = xmax - xmin > ymax - ymin;
        const auto key = [byX](const geometry::TTempPoint &p) { return byX ? p.pt.x : p.pt.y; };
        // An exchange sort, as the picking always sorted: equal keys keep the order it gives.
        for (std::size_t i = 0; i + 1 < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                if (key(TempPoints[i]) > key(TempPoints[j]))
                    std::swap(TempPoints[i], TempPoints[j]);
    }

    int k = 0;
    for (const auto &p : TempPoints)
        if (p.id != -1) ++k;
    sg.SetRowCount(std::max(k + 1, 2));
    for (int c = 0; c < sg.ColCount(); ++c) sg.Cell(c, 1).clear();
    k = 0;
    for (const auto &p : TempPoints) {
        if (p.id == -1) continue;
        ++k;
        sg.Cell(0, k) = std::to_string(k);
        sg.Cell(1, k) = cadlink::DxfNumber(p.pt.x);
        sg.Cell(2, k) = cadlink::DxfNumber(p.pt.y);
        sg.Cell(3, k) = p.Name.empty() ? std::to_string(k) : p.Name;
        sg.Cell(4, k) = cadlink::DxfNumber(p.pt.z / 1000.0);
        for (int c = 5; c < sg.ColCount(); ++c) sg.Cell(c, k).clear();
    }
}

std::vector<geometry::TTempPoint> PointsFromMarks(const std::vector<geometry::TAcadPoint> &circles,
                                                  const std::vector<MarkText> &texts) {
    std::vector<geometry::TTempPoint> out;
    for (const auto &c : circles) {
        geometry::TTempPoint p;
        p.pt = c;
        for (const MarkText &t : texts) {
            if (std::fabs(t.at.x - c.x) <= 1000.0 && std::fabs(t.at.y - c.y) <= 1000.0) {
                p.Name = t.text;
                break;
            }
        }
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace pimu::app
