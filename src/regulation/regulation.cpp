#include "regulation/regulation.h"

#include <cmath>
#include <utility>

namespace pimu::regulation {

namespace {

// The zone kinds, limit pairs and plane heights of the shadow regulation: Building Standards Act
// (建築基準法) article 56-2 and its appended table 4 (別表第四), columns (い) to (に). A local
// ordinance picks the kind's row (号) and, where the table offers two, the plane height. Within
// Hokkaido (道の区域内) the hours are 9:00-15:00 and the bracketed limits apply.
constexpr ZoneRule kZoneRules[] = {
    {"1-1", "第一種・第二種低層住居専用地域、田園住居地域 (一) 測定面 1.5m", 1500.0, 3.0, 2.0,
     false},
    {"1-2", "第一種・第二種低層住居専用地域、田園住居地域 (二) 測定面 1.5m", 1500.0, 4.0, 2.5,
     false},
    {"1-3", "第一種・第二種低層住居専用地域、田園住居地域 (三) 測定面 1.5m", 1500.0, 5.0, 3.0,
     false},
    {"2-1-4", "第一種・第二種中高層住居専用地域 (一) 測定面 4m", 4000.0, 3.0, 2.0, false},
    {"2-1-6.5", "第一種・第二種中高層住居専用地域 (一) 測定面 6.5m", 6500.0, 3.0, 2.0, false},
    {"2-2-4", "第一種・第二種中高層住居専用地域 (二) 測定面 4m", 4000.0, 4.0, 2.5, false},
    {"2-2-6.5", "第一種・第二種中高層住居専用地域 (二) 測定面 6.5m", 6500.0, 4.0, 2.5, false},
    {"2-3-4", "第一種・第二種中高層住居専用地域 (三) 測定面 4m", 4000.0, 5.0, 3.0, false},
    {"2-3-6.5", "第一種・第二種中高層住居専用地域 (三) 測定面 6.5m", 6500.0, 5.0, 3.0, false},
    {"3-1-4", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 4m", 4000.0,
     4.0, 2.5, false},
    {"3-1-6.5", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 6.5m",
     6500.0, 4.0, 2.5, false},
    {"3-2-4", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 4m", 4000.0,
     5.0, 3.0, false},
    {"3-2-6.5", "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 6.5m",
     6500.0, 5.0, 3.0, false},
    {"4i-1", "用途地域の指定のない区域 (イ) (一) 測定面 1.5m", 1500.0, 3.0, 2.0, false},
    {"4i-2", "用途地域の指定のない区域 (イ) (二) 測定面 1.5m", 1500.0, 4.0, 2.5, false},
    {"4i-3", "用途地域の指定のない区域 (イ) (三) 測定面 1.5m", 1500.0, 5.0, 3.0, false},
    {"4ro-1", "用途地域の指定のない区域 (ロ) (一) 測定面 4m", 4000.0, 3.0, 2.0, false},
    {"4ro-2", "用途地域の指定のない区域 (ロ) (二) 測定面 4m", 4000.0, 4.0, 2.5, false},
    {"4ro-3", "用途地域の指定のない区域 (ロ) (三) 測定面 4m", 4000.0, 5.0, 3.0, false},
    {"1-1-n", "第一種・第二種低層住居専用地域、田園住居地域 (一) 測定面 1.5m 北海道", 1500.0, 2.0,
     1.5, true},
    {"1-2-n", "第一種・第二種低層住居専用地域、田園住居地域 (二) 測定面 1.5m 北海道", 1500.0, 3.0,
     2.0, true},
    {"1-3-n", "第一種・第二種低層住居専用地域、田園住居地域 (三) 測定面 1.5m 北海道", 1500.0, 4.0,
     2.5, true},
    {"2-1-4-n", "第一種・第二種中高層住居専用地域 (一) 測定面 4m 北海道", 4000.0, 2.0, 1.5, true},
    {"2-1-6.5-n", "第一種・第二種中高層住居専用地域 (一) 測定面 6.5m 北海道", 6500.0, 2.0, 1.5,
     true},
    {"2-2-4-n", "第一種・第二種中高層住居専用地域 (二) 測定面 4m 北海道", 4000.0, 3.0, 2.0, true},
    {"2-2-6.5-n", "第一種・第二種中高層住居専用地域 (二) 測定面 6.5m 北海道", 6500.0, 3.0, 2.0,
     true},
    {"2-3-4-n", "第一種・第二種中高層住居専用地域 (三) 測定面 4m 北海道", 4000.0, 4.0, 2.5, true},
    {"2-3-6.5-n", "第一種・第二種中高層住居専用地域 (三) 測定面 6.5m 北海道", 6500.0, 4.0, 2.5,
     true},
    {"3-1-4-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 4m 北海道", 4000.0,
     3.0, 2.0, true},
    {"3-1-6.5-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (一) 測定面 6.5m 北海道", 6500.0,
     3.0, 2.0, true},
    {"3-2-4-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 4m 北海道", 4000.0,
     4.0, 2.5, true},
    {"3-2-6.5-n",
     "第一種・第二種住居地域、準住居地域、近隣商業地域、準工業地域 (二) 測定面 6.5m 北海道", 6500.0,
     4.0, 2.5, true},
    {"4i-1-n", "用途地域の指定のない区域 (イ) (一) 測定面 1.5m 北海道", 1500.0, 2.0, 1.5, true},
    {"4i-2-n", "用途地域の指定のない区域 (イ) (二) 測定面 1.5m 北海道", 1500.0, 3.0, 2.0, true},
    {"4i-3-n", "用途地域の指定のない区域 (イ) (三) 測定面 1.5m 北海道", 1500.0, 4.0, 2.5, true},
    {"4ro-1-n", "用途地域の指定のない区域 (ロ) (一) 測定面 4m 北海道", 4000.0, 2.0, 1.5, true},
    {"4ro-2-n", "用途地域の指定のない区域 (ロ) (二) 測定面 4m 北海道", 4000.0, 3.0, 2.0, true},
    {"4ro-3-n", "用途地域の指定のない区域 (ロ) (三) 測定面 4m 北海道", 4000.0, 4.0, 2.5, true},
};

}  // namespace

std::span<const ZoneRule> ZoneRules() {
    return kZoneRules;
}

const ZoneRule *FindZoneRule(std::string_view name) {
    for (const ZoneRule &rule : kZoneRules)
        if (rule.Name == name) return &rule;
    return nullptr;
}

RegulationInputs InputsForZone(const ZoneRule &rule) {
    RegulationInputs in;
    in.Zone = std::string(rule.Caption);
    in.PlaneHeight = rule.PlaneHeight;
    in.Limit5 = rule.Limit5;
    in.Limit10 = rule.Limit10;
    in.Start = rule.Northern ? 9.0 : 8.0;
    in.End = rule.Northern ? 15.0 : 16.0;
    return in;
}

RegulationCheck CheckRegulationInputs(const RegulationInputs &in) {
    const double hours = in.End - in.Start;
    if (!std::isfinite(in.Start) || !std::isfinite(in.End) || !(hours > 0.0) ||
        in.Start < solar::kFirstSunTime || in.End > solar::kLastSunTime)
        return RegulationCheck::BadHours;
    for (double limit : {in.Limit5, in.Limit10})
        if (!std::isfinite(limit) || !(limit > 0.0) || limit > hours)
            return RegulationCheck::BadLimits;
    if (!std::isfinite(in.PlaneHeight) || in.PlaneHeight < 0.0)
        return RegulationCheck::BadPlaneHeight;
    if (!std::isfinite(in.StepMinutes) || !(in.StepMinutes > 0.0) || in.StepMinutes > hours * 60.0)
        return RegulationCheck::BadStep;
    for (const OpenSide &side : in.OpenSides)
        if (!std::isfinite(side.Width) || !(side.Width > 0.0) || !std::isfinite(side.Near.x) ||
            !std::isfinite(side.Near.y))
            return RegulationCheck::BadOpenSide;
    return RegulationCheck::Ok;
}

RegulationResult CheckRegulation(const geometry::BuildingModel &model,
                                 const solar::SolarState & /*sun*/, std::vector<TLineEnt> siteEdges,
                                 const RegulationInputs &in, Progress &progress) {
    // Placeholder until the counting lands: the lines only, nothing judged.
    RegulationResult result;
    result.Inputs = in;
    result.Check = CheckRegulationInputs(in);
    if (result.Check != RegulationCheck::Ok) {
        result.Status = RegulationStatus::Invalid;
        return result;
    }
    if (model.Empty()) {
        result.Status = RegulationStatus::NoModel;
        return result;
    }
    boundary::KyoukaisenResult lines = boundary::MakeKyoukaisen(std::move(siteEdges), progress);
    if (lines.status == boundary::KyoukaisenStatus::Stopped) {
        result.Status = RegulationStatus::Stopped;
        return result;
    }
    if (lines.status != boundary::KyoukaisenStatus::Done) {
        result.Status = RegulationStatus::SiteNotClosed;
        return result;
    }
    result.SiteOutline = lines.outline;
    result.DeemedOutline = lines.outline;
    for (int k = 0; k < 2; ++k) {
        LimitResult &limit = result.Limits[k];
        limit.Distance = boundary::kKyoukaisenDistances[k];
        limit.LimitHours = k == 0 ? in.Limit5 : in.Limit10;
        limit.Line = lines.lines[k];
    }
    return result;
}

}  // namespace pimu::regulation
