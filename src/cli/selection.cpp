#include "cli/selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/numconv.h"

namespace pimu::cli {
namespace {

using cadlink::embedded::EntityQuery;

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

[[noreturn]] void Refuse(std::string_view option, std::string_view text, std::string_view why) {
    throw UsageError(std::string(option) + " \"" + std::string(text) + "\": " + std::string(why));
}

std::vector<double> Numbers(std::string_view text, std::string_view option, size_t minCount,
                            size_t maxCount) {
    std::vector<double> values;
    for (const std::string &part : SplitList(text, ',')) {
        double v = 0.0;
        if (!TryParseNumber(part, v)) Refuse(option, text, "\"" + part + "\" is not a number");
        values.push_back(v);
    }
    if (values.size() < minCount || values.size() > maxCount) {
        Refuse(option, text,
               minCount == maxCount ? "expected " + std::to_string(minCount) + " numbers"
                                    : "expected X,Y or X,Y,Z");
    }
    return values;
}

// The names of a list, none of them empty.
std::string NameList(std::string_view list, std::string_view option, std::string_view whole) {
    for (const std::string &name : SplitList(list, ','))
        if (name.empty()) Refuse(option, whole, "an empty name in the list");
    return std::string(list);
}

// One form; a list of layers becomes one query per layer (a layer query names one layer).
Selection ParseOne(std::string_view part, std::string_view option, std::string_view whole) {
    EntityQuery q;
    if (part == "all") {
        q.kind = EntityQuery::Kind::All;
        return {q};
    }
    const size_t colon = part.find(':');
    if (colon == std::string_view::npos)
        Refuse(option, whole,
               "expected all, layer:NAME, window:X1,Y1,X2,Y2, crossing:X1,Y1,X2,Y2, handle:H or "
               "type:NAME");
    const std::string_view how = part.substr(0, colon);
    const std::string_view rest = part.substr(colon + 1);
    if (how == "layer") {
        Selection layers;
        for (const std::string &name : SplitList(NameList(rest, option, whole), ',')) {
            q.kind = EntityQuery::Kind::Layer;
            q.text = name;
            layers.push_back(q);
        }
        return layers;
    } else if (how == "handle") {
        q.kind = EntityQuery::Kind::Handles;
        q.text = NameList(rest, option, whole);
    } else if (how == "type") {
        q.kind = EntityQuery::Kind::Type;
        q.text = NameList(rest, option, whole);
    } else if (how == "window" || how == "crossing") {
        const std::vector<double> v = Numbers(rest, option, 4, 4);
        q.kind = how == "window" ? EntityQuery::Kind::Window : EntityQuery::Kind::Crossing;
        q.p1 = {v[0], v[1], 0.0};
        q.p2 = {v[2], v[3], 0.0};
    } else {
        Refuse(option, whole, "unknown form \"" + std::string(how) + ":\"");
    }
    return {q};
}

}  // namespace

Selection ParseSelection(std::string_view text, std::string_view option) {
    if (text.empty()) Refuse(option, text, "empty selection");
    Selection selection;
    for (const std::string &part : SplitList(text, '+')) {
        if (part.empty()) Refuse(option, text, "an empty part between '+'");
        const Selection one = ParseOne(part, option, text);
        selection.insert(selection.end(), one.begin(), one.end());
    }
    return selection;
}

geometry::TAcadPoint ParsePointOption(std::string_view text, std::string_view option) {
    const std::vector<double> v = Numbers(text, option, 2, 3);
    return {v[0], v[1], v.size() > 2 ? v[2] : 0.0};
}

std::optional<std::string> LineHandleAt(const cadlink::embedded::Drawing &drawing,
                                        const geometry::TAcadPoint &at, double tolerance) {
    std::optional<std::string> best;
    double bestDistance = tolerance;
    for (const auto id : drawing.ModelSpace()) {
        const auto &e = drawing.Get(id);
        if (e.kind != cadlink::embedded::EntityKind::Line) continue;
        const double dx = e.p2.x - e.p1.x, dy = e.p2.y - e.p1.y;
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0.0 ? ((at.x - e.p1.x) * dx + (at.y - e.p1.y) * dy) / length2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double d = std::hypot(at.x - (e.p1.x + t * dx), at.y - (e.p1.y + t * dy));
        if (d <= bestDistance) {
            bestDistance = d;
            char hex[32];
            std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(e.handle));
            best = hex;
        }
    }
    return best;
}

}  // namespace pimu::cli
