#include "sky/sky_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <utility>

#include "geometry/primitives.h"
#include "geometry/tolerances.h"
#include "sky/map_angles.h"

namespace pimu::sky {

using geometry::Angle2D;
using geometry::Dist2D;
using geometry::kDegToRad;
using geometry::kPointTol;
using geometry::kRadToDeg;
using geometry::PolarPoint;

namespace {

constexpr TAcadPoint kOrigin{0.0, 0.0, 0.0};

// x with `digits` decimals and '.' whatever the locale; a value that rounds to zero has no sign.
std::string Fixed(double x, int digits) {
    char buf[512];
    const auto written = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, digits);
    if (written.ec != std::errc{}) return "0";
    std::string s(buf, written.ptr);
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

TAcadPoint P(double x, double y) {
    return TAcadPoint{x, y, 0.0};
}

MapText Text(MapLayer layer, TAcadPoint at, double height, std::string text, int horizontal,
             double width = 0.8) {
    MapText m;
    m.layer = layer;
    m.at = at;
    m.height = height;
    m.text = std::move(text);
    m.horizontal = horizontal;
    m.vertical = 2;
    m.width = width;
    return m;
}

MapLine Line(MapLayer layer, TAcadPoint a, TAcadPoint b, bool fixed4 = false) {
    MapLine l;
    l.layer = layer;
    l.a = a;
    l.b = b;
    l.fixed4 = fixed4;
    return l;
}

}  // namespace

TAcadPoint Turn(TAcadPoint p, double degrees) {
    if (degrees == 0.0) return TAcadPoint{p.x, p.y, 0.0};
    const double c = std::cos(degrees * kDegToRad);
    const double s = std::sin(degrees * kDegToRad);
    return TAcadPoint{p.x * c - p.y * s, p.x * s + p.y * c, 0.0};
}

double MapAzimuth(double houido, double north) {
    double a = houido - north + 90.0;
    while (a > 360.0) a -= 360.0;
    while (a < 0.0) a += 360.0;
    if (a > 270.0) a -= 360.0;
    return a;
}

MapEntities MapFrame(double R, double t) {
    MapEntities out;
    MapCircle circle;
    circle.radius = R;
    out.emplace_back(circle);
    const double tick = 0.8 * t;
    out.emplace_back(Line(MapLayer::Tenku, P(0, R), P(0, R + tick)));
    out.emplace_back(Line(MapLayer::Tenku, P(0, -R), P(0, -R - tick)));
    out.emplace_back(Line(MapLayer::Tenku, P(R, 0), P(R + tick, 0)));
    out.emplace_back(Line(MapLayer::Tenku, P(-R, 0), P(-R - tick, 0)));
    struct Letter {
        const char *text;
        TAcadPoint at;
        double rotation;
    };
    for (const Letter &l : {Letter{"N", P(0, R + t), 0.0}, Letter{"W", P(-R - t, 0), 90.0},
                            Letter{"E", P(R + t, 0), 270.0}, Letter{"S", P(0, -R - t), 180.0}}) {
        MapText m = Text(MapLayer::Tenku, l.at, tick, l.text, 1);
        m.vertical = 1;
        m.rotation = l.rotation;
        out.emplace_back(m);
    }
    return out;
}

MapEntities ScaleMarks(double R, double interval) {
    MapEntities out;
    if (!(interval > 0.0)) return out;
    const int rays = static_cast<int>(std::trunc(359.0 / interval));
    for (int k = 0; k <= rays; ++k) {
        MapLine l =
            Line(MapLayer::Memori, kOrigin, PolarPoint(kOrigin, k * interval * kDegToRad, R));
        l.hidden = k % 3 != 0;
        out.emplace_back(l);
    }
    const int rings = static_cast<int>(std::trunc(89.0 / interval)) - 1;
    for (int k = 1; k <= rings; ++k) {
        MapCircle c;
        c.layer = MapLayer::Memori;
        c.radius = R * std::cos((90.0 - k * interval) * kDegToRad);
        c.hidden = k % 3 != 0;
        out.emplace_back(c);
    }
    return out;
}

MapEntities SkyMapEntities(const SkyProjection &projection, const MapSizes &sizes) {
    MapEntities out = MapFrame(sizes.R, sizes.t);
    for (MapEntity &e : ScaleMarks(sizes.R, sizes.interval)) out.push_back(std::move(e));
    const auto polyline = [&](const std::vector<TAcadPoint> &points) {
        MapPolyline p;
        p.points = points;
        p.elevation = sizes.ze;
        out.emplace_back(std::move(p));
    };
    for (const std::vector<TAcadPoint> &chain : projection.Chains) polyline(chain);
    if (!projection.GroundArc.empty()) polyline(projection.GroundArc);
    return out;
}

MapEntities ResultBlock(double R, double t, const ResultTexts &texts) {
    const auto y = [&](double f) { return -1.25 * R - 2.0 * t * f; };
    const std::string rows[] = {
        "目盛間隔 " + texts.interval + "%%d",
        texts.latitude,
        "正射影 測定面高さ = " + Fixed(texts.mentaka, 3) + " m",
        "水平円射影面積 " + Fixed(texts.K, 3) + " , " + Fixed(texts.covered, 3),
        "天空率 = " + Fixed(texts.value, 3) + "%",
        "測定点 " + texts.label,
    };
    const double f[] = {0.5, 1.25, 2.0, 2.75, 3.5, 4.25};
    MapEntities out;
    for (int i = texts.interval.empty() ? 1 : 0; i < 6; ++i)
        out.emplace_back(Text(MapLayer::Tenku, P(0, y(f[i])), t, rows[i], 1));
    return out;
}

std::vector<std::pair<TAcadPoint, TAcadPoint>> HatchLines(const SkyEnvelope &envelope, double R,
                                                          double H, double north) {
    std::vector<std::pair<TAcadPoint, TAcadPoint>> out;
    if (!(H > 0.0)) return out;
    const double g = R * 0.000005;
    const double turn = 90.0 - north;
    const int count = static_cast<int>(std::trunc(359.0 / H));
    for (int k = 0; k <= count; ++k) {
        const double theta = k * H * kDegToRad;
        const double t = envelope.TanAt(theta - turn * kDegToRad);
        if (!(t > 0.0)) continue;
        const double rho = MapRadius(t, R);
        // The buildings' foot on the horizon is no edge of the covered sky.
        if (rho > R - 1.0 || rho >= R - g) continue;
        out.emplace_back(PolarPoint(kOrigin, theta, rho), PolarPoint(kOrigin, theta, R));
    }
    return out;
}

std::vector<std::vector<TAcadPoint>> CoveredOutlines(const SkyEnvelope &envelope, double R,
                                                     double north) {
    std::vector<std::vector<TAcadPoint>> out;
    const double turn = (90.0 - north) * kDegToRad;
    const double step = 0.25 * kDegToRad;
    const auto at = [&](double phi, double rho) { return PolarPoint(kOrigin, phi + turn, rho); };
    for (const SkyRun &run : envelope.Runs()) {
        std::vector<TAcadPoint> chain;
        if (!run.full) chain.push_back(at(run.lo, R));
        // Along the buildings piece by piece: each piece's own ends keep the steps between them.
        double phi = run.lo;
        while (phi < run.hi) {
            const SkyPiece &p = envelope.pieces[envelope.PieceAt(phi)];
            const double offset = phi - std::fmod(phi, 2.0 * geometry::kPi);
            double hi = std::min(p.hi + offset, run.hi);
            if (!(hi > phi)) hi = std::min(phi + step, run.hi);
            const SkyElement &el =
                envelope.elements[static_cast<std::size_t>(std::max(p.element, 0))];
            const int n = std::max(1, static_cast<int>(std::ceil((hi - phi) / step)));
            for (int k = 0; k <= n; ++k) {
                const double a = phi + (hi - phi) * k / n;
                chain.push_back(at(a, p.element < 0 ? R : MapRadius(el.Tan(a), R)));
            }
            phi = hi;
        }
        if (!run.full) {
            const int n = static_cast<int>(std::ceil((run.hi - run.lo) / step));
            for (int k = 0; k <= n; ++k) chain.push_back(at(run.hi - (run.hi - run.lo) * k / n, R));
            chain.pop_back();
        }
        out.push_back(std::move(chain));
    }
    return out;
}

void NumberVertices(std::vector<TTateiti> &entries, const std::vector<TAcadPoint> &corners,
                    double R, double north) {
    std::vector<bool> used(corners.size(), false);
    for (TTateiti &e : entries) {
        e.no = 0;
        double best = R;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            if (used[i]) continue;
            double phi = Angle2D(kOrigin, corners[i]) * kRadToDeg + north - 90.0;
            // Compared round the turn, so that directions either side of 0 degrees meet.
            double diff = std::fmod(std::fabs(e.houido - phi), 360.0);
            diff = std::min(diff, 360.0 - diff);
            const double d = Dist2D(kOrigin, corners[i]);
            if (diff < 0.00001 && best > d) {
                e.no = static_cast<std::int32_t>(i + 1);
                used[i] = true;
                best = d;
            }
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].no <= 0) continue;
        for (std::size_t j = i + 1; j < entries.size(); ++j) {
            TTateiti &b = entries[j];
            if (b.no <= 0) continue;
            const TTateiti &a = entries[i];
            if (std::fabs(a.kyori - b.kyori) < 0.001 && std::fabs(a.takasa - b.takasa) < 0.001 &&
                std::fabs(a.houido - b.houido) < 0.001 && std::fabs(a.miagedo - b.miagedo) < 0.001)
                b.no = 0;
        }
    }
}

SkyOverlay BuildOverlay(const TenkuRituResult &ritu, const SkyEnvelope &exact,
                        std::vector<TTateiti> &entries, const OverlayInputs &in) {
    SkyOverlay out;
    const double R = in.R;
    for (const auto &[a, b] : HatchLines(exact, R, in.H, in.north))
        out.entities.emplace_back(Line(MapLayer::Hatch, Turn(a, in.rot), Turn(b, in.rot)));
    if (in.target == AreaTarget::Area) {
        for (const std::vector<TAcadPoint> &chain : CoveredOutlines(exact, R, in.north)) {
            MapPolyline p;
            p.closed = true;
            for (const TAcadPoint &q : chain) p.points.push_back(Turn(q, in.rot));
            out.entities.emplace_back(std::move(p));
        }
        return out;
    }
    out.ritu = ritu;
    out.pass = in.target == AreaTarget::Tekigou ? &out.ritu.gaisetuPass : &out.ritu.naisetuPass;
    const SansyaPass &pass = *out.pass;

    if (in.marks) {
        NumberVertices(entries, pass.corners, R, in.north);
        out.numbered = true;
        for (const TTateiti &e : entries) {
            if (e.no <= 0) continue;
            const TAcadPoint c = Turn(pass.corners[static_cast<std::size_t>(e.no - 1)], in.rot);
            MapCircle circle;
            circle.layer = MapLayer::Tateiti;
            circle.centre = c;
            circle.radius = 0.01 * R;
            out.entities.emplace_back(circle);
            MapText text = Text(MapLayer::Tateiti, P(c.x + 0.02 * R, c.y), 0.03 * R,
                                "[" + std::to_string(e.no) + "]", 0);
            text.vertical = 0;
            text.aligned = false;
            out.entities.emplace_back(std::move(text));
        }
    }

    if (in.triangles) {
        for (std::size_t i = 0; i < pass.triangles.size(); ++i) {
            const TSansya &t = pass.triangles[i];
            const TAcadPoint mid{(t.o.x + t.foot.x) / 2.0, (t.o.y + t.foot.y) / 2.0, 0.0};
            const TAcadPoint label = PolarPoint(mid, Angle2D(mid, kOrigin), t.takasa);
            const TAcadPoint at = Turn(label, in.rot);
            MapCircle circle;
            circle.layer = MapLayer::Sansya;
            circle.centre = at;
            circle.radius = 0.02 * R;
            out.entities.emplace_back(circle);
            out.entities.emplace_back(
                Text(MapLayer::Sansya, at, 0.02 * R, std::to_string(i + 1), 1));
            const TAcadPoint o = Turn(t.o, in.rot);
            const TAcadPoint f = Turn(t.foot, in.rot);
            const TAcadPoint m = Turn(t.m, in.rot);
            out.entities.emplace_back(Line(MapLayer::Sansya, o, f, true));
            out.entities.emplace_back(Line(MapLayer::Sansya, o, m, true));
            out.entities.emplace_back(Line(MapLayer::Sansya, kOrigin, m, true));
            out.entities.emplace_back(Line(MapLayer::Sansya, kOrigin, o, true));
        }
    }
    ResultTexts texts = in.texts;
    texts.K = ritu.K;
    texts.covered = pass.F;
    texts.value = pass.value;
    for (MapEntity &e : ResultBlock(R, in.t, texts)) out.entities.push_back(std::move(e));
    return out;
}

MapEntities TriangleTable(const SansyaPass &pass, double K, double R, double s, double t,
                          const std::string &interval, double mentaka) {
    MapEntities out;
    const double p = 2.0 * t;
    const std::size_t n = pass.triangles.size();
    const double N = static_cast<double>(n);
    const auto L = MapLayer::Sansya;
    for (std::size_t k = 0; k <= n + 2; ++k)
        out.emplace_back(Line(L, P(0, -p * k), P(16 * p, -p * k), true));
    for (int k = 0; k <= 4; ++k) {
        const double bottom = (k == 1 || k == 2) ? -p * (N + 1) : -p * (N + 2);
        out.emplace_back(Line(L, P(4 * p * k, 0), P(4 * p * k, bottom), true));
    }
    const auto text = [&](double x, double y, std::string s, int h) {
        MapText m = Text(L, P(x, y), t, std::move(s), h);
        m.fixed4 = true;
        out.emplace_back(std::move(m));
    };
    if (!interval.empty()) text(p, 3.5 * p, "目盛間隔 " + interval + "%%d", 0);
    text(p, 2.5 * p, "正射影　測定面高さ = " + Fixed(mentaka, 3) + " m", 0);
    text(p, 1.5 * p, "天空図半径(R) = " + Fixed(R / s, 3) + "(図寸mm)", 0);
    text(p, 0.5 * p, "三斜計算　最大分割角 = 10%%d", 0);
    text(2 * p, -0.5 * p, "三角形No.", 1);
    text(7 * p, -0.5 * p, "底辺(mm)", 2);
    text(11 * p, -0.5 * p, "高さ(mm)", 2);
    text(15.5 * p, -0.5 * p, "面積(mm2)", 2);
    for (std::size_t k = 0; k < n; ++k) {
        const TSansya &tr = pass.triangles[k];
        const double y = -p * (static_cast<double>(k) + 1.5);
        text(2 * p, y, std::to_string(k + 1), 1);
        text(7.5 * p, y, Fixed(tr.teihen / s, 5), 2);
        text(11.5 * p, y, Fixed(tr.takasa / s, 5), 2);
        text(15.5 * p, y, Fixed(tr.menseki, 3), 2);
    }
    text(p, -p * (N + 1.5), "三斜面積合計", 0);
    text(15.5 * p, -p * (N + 1.5), Fixed(pass.T, 3), 2);
    // Buildings in several directions: each covered stretch is a sector of its own, with the
    // numbers of its triangles; the sector area below is their sum.
    double row = N + 2.5;
    if (pass.sectors.size() > 1) {
        for (std::size_t k = 0; k < pass.sectors.size(); ++k) {
            const SansyaSector &sec = pass.sectors[k];
            std::string range = "三角形なし";
            if (sec.triangleCount > 0)
                range = "三角形 " + std::to_string(sec.firstTriangle + 1) + "〜" +
                        std::to_string(sec.firstTriangle + sec.triangleCount);
            text(0.5 * p, -p * row,
                 "扇形" + std::to_string(k + 1) + " (中心角 = " + Fixed(sec.alpha, 3) + "%%d, " +
                     range + ")",
                 0);
            text(15.5 * p, -p * row, Fixed(sec.Q, 3), 2);
            row += 1.0;
        }
    }
    text(0.5 * p, -p * row, "扇形面積 (扇形中心角 = " + Fixed(pass.alpha, 3) + "%%d)", 0);
    text(15.5 * p, -p * row, Fixed(pass.Q, 3), 2);
    text(0.5 * p, -p * (row + 1), "扇形面積 - 三斜面積合計 = 水平円射影面積", 0);
    text(15.5 * p, -p * (row + 1), Fixed(pass.F, 3), 2);
    text(0.5 * p, -p * (row + 2), "天空図円面積", 0);
    text(15.5 * p, -p * (row + 2), Fixed(K, 3), 2);
    text(0.5 * p, -p * (row + 3), "三斜計算　　天空率", 0);
    text(0.5 * p, -p * (row + 4),
         "(" + Fixed(K, 3) + " - " + Fixed(pass.F, 3) + " ) / " + Fixed(K, 3) +
             " * 100 = " + Fixed(pass.value, 3) + "%",
         0);
    return out;
}

MapEntities TateitiTable(const std::vector<TTateiti> &entries, const TateitiInputs &in) {
    MapEntities out;
    std::vector<TTateiti> rows;
    for (const TTateiti &e : entries)
        if (e.no > 0) rows.push_back(e);
    if (rows.empty()) return out;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TTateiti &a, const TTateiti &b) { return a.no < b.no; });
    const double p = in.p;
    const double m = static_cast<double>(rows.size());
    const auto L = MapLayer::Tateiti;
    for (std::size_t k = 0; k <= rows.size() + 3; ++k) {
        if (k == 2) continue;
        out.emplace_back(Line(L, P(k == 1 ? 3 * p : 0.0, -p * k), P(18 * p, -p * k), true));
    }
    for (int k = 0; k <= 6; ++k) {
        const double top = (k == 2 || k == 4 || k == 5) ? -p : 0.0;
        out.emplace_back(Line(L, P(3 * p * k, top), P(3 * p * k, -(m + 3) * p), true));
    }
    const double th = p / 2.0;
    const auto text = [&](double x, double y, std::string s, int h, double w = 0.8) {
        MapText t = Text(L, P(x, y), th, std::move(s), h, w);
        t.fixed4 = true;
        out.emplace_back(std::move(t));
        return &std::get<MapText>(out.back());
    };
    const std::string head[] = {
        "目盛間隔 " + in.interval + "%%d", "正射影　測定面高さ = " + Fixed(in.mentaka, 3) + " m",
        "天空図半径(R) = " + Fixed(in.R / in.s, 3) + " (図寸mm)", "建物位置確認表"};
    const double hy[] = {3.5, 2.5, 1.5, 0.5};
    for (int i = in.interval.empty() ? 1 : 0; i < 4; ++i) {
        MapText *t = text(p, hy[i] * p, head[i], 0);
        t->useFirstX = true;
        t->firstX = 4 * p;
    }
    struct Header {
        double x, y;
        const char *text;
        double width;
    };
    for (const Header &h : {Header{1.5, -1, "位置", 0.8}, Header{1.5, -2, "No.", 0.8},
                            Header{6, -0.5, "配置図", 0.8}, Header{4.5, -1.5, "距離", 0.8},
                            Header{7.5, -1.5, "高さ", 0.8}, Header{4.5, -2.5, "(実寸m)", 0.8},
                            Header{7.5, -2.5, "(実寸m)", 0.8}, Header{13.5, -0.5, "天空図", 0.8},
                            Header{10.5, -1.5, "方位角", 0.8}, Header{13.5, -1.5, "仰角:h", 0.8},
                            Header{16.5, -1.5, "R*cos(h)", 0.75}, Header{10.5, -2.5, "(%%d)", 0.8},
                            Header{13.5, -2.5, "(%%d)", 0.8}, Header{16.5, -2.5, "(図寸mm)", 0.8}})
        text(h.x * p, h.y * p, h.text, 1, h.width);
    for (std::size_t a = 0; a < rows.size(); ++a) {
        const TTateiti &e = rows[a];
        const double y = -(static_cast<double>(a) + 1 + 2.5) * p;
        text(1.5 * p, y, "[" + std::to_string(e.no) + "]", 1);
        text(5.75 * p, y, Fixed(e.kyori / 1000.0, 3), 2);
        text(8.75 * p, y, Fixed(e.takasa / 1000.0, 3), 2);
        text(11.75 * p, y, Fixed(MapAzimuth(e.houido, in.north), 3), 2, 0.75);
        text(14.75 * p, y, Fixed(e.miagedo, 3), 2);
        text(17.75 * p, y, Fixed(e.rcosh / in.s, 3), 2);
    }
    // How the azimuth column is measured, under the table.
    text(0.0, -(m + 3.5) * p, "方位角: 真北を上とした天空図上で東を 0%%d とし反時計回りに測る", 0);
    return out;
}

}  // namespace pimu::sky
