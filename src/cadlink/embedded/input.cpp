#include "cadlink/embedded/input.h"

#include <numbers>

#include "base/numconv.h"

namespace pimu::cadlink::embedded {

namespace {

const char *KindName(ScriptedInput::Item::Kind kind) {
    using K = ScriptedInput::Item::Kind;
    switch (kind) {
        case K::Point:
            return "point";
        case K::Angle:
            return "angle";
        case K::Entity:
            return "entity";
        case K::Selection:
            return "select";
        case K::Placement:
            return "place";
        case K::Cancel:
            return "cancel";
        case K::Fail:
            return "fail";
    }
    return "?";
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// "X,Y" or "X,Y,Z".
TAcadPoint ParseXyz(std::string_view text, int line) {
    TAcadPoint p;
    double *slots[3] = {&p.x, &p.y, &p.z};
    int n = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view part =
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        if (n == 3 || !TryParseNumber(Trim(part), *slots[n]))
            throw CadError("script line " + std::to_string(line) + ": \"" + std::string(text) +
                           "\" is not a point X,Y or X,Y,Z");
        ++n;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (n < 2)
        throw CadError("script line " + std::to_string(line) + ": \"" + std::string(text) +
                       "\" is not a point X,Y or X,Y,Z");
    return p;
}

}  // namespace

ScriptedInput &ScriptedInput::Point(const TAcadPoint &p) {
    queue_.push_back({Item::Kind::Point, p, 0.0, {}, {}});
    return *this;
}
ScriptedInput &ScriptedInput::Angle(double radians) {
    queue_.push_back({Item::Kind::Angle, {}, radians, {}, {}});
    return *this;
}
ScriptedInput &ScriptedInput::Entity(const std::string &handle, const TAcadPoint &at) {
    queue_.push_back({Item::Kind::Entity, at, 0.0, handle, {}});
    return *this;
}
ScriptedInput &ScriptedInput::Select(std::vector<EntityQuery> queries) {
    queue_.push_back({Item::Kind::Selection, {}, 0.0, {}, std::move(queries)});
    return *this;
}
ScriptedInput &ScriptedInput::Place(const TAcadPoint &p) {
    queue_.push_back({Item::Kind::Placement, p, 0.0, {}, {}});
    return *this;
}
ScriptedInput &ScriptedInput::Cancel() {
    queue_.push_back({Item::Kind::Cancel, {}, 0.0, {}, {}});
    return *this;
}
ScriptedInput &ScriptedInput::Fail(const std::string &message) {
    queue_.push_back({Item::Kind::Fail, {}, 0.0, message, {}});
    return *this;
}

ScriptedInput ScriptedInput::Parse(std::string_view script) {
    ScriptedInput input;
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos <= script.size()) {
        std::size_t end = script.find('\n', pos);
        if (end == std::string_view::npos) end = script.size();
        std::string_view line = script.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty()) continue;
        bool joins = false;
        if (line.front() == '+') {
            joins = true;
            line = Trim(line.substr(1));
        }
        const std::size_t sp = line.find(' ');
        const std::string_view word = line.substr(0, sp);
        const std::string_view rest =
            sp == std::string_view::npos ? std::string_view{} : Trim(line.substr(sp + 1));
        auto bad = [&](const std::string &why) {
            return CadError("script line " + std::to_string(lineNo) + ": " + why);
        };
        if (word == "point")
            input.Point(ParseXyz(rest, lineNo));
        else if (word == "place")
            input.Place(ParseXyz(rest, lineNo));
        else if (word == "angle") {
            double deg = 0.0;
            if (!TryParseNumber(rest, deg))
                throw bad("\"" + std::string(rest) + "\" is not an angle in degrees");
            input.Angle(deg * std::numbers::pi / 180.0);
        } else if (word == "entity") {
            if (rest.empty()) throw bad("entity needs a handle");
            input.Entity(std::string(rest));
        } else if (word == "cancel")
            input.Cancel();
        else if (word == "select") {
            const std::size_t sp2 = rest.find(' ');
            const std::string_view how = rest.substr(0, sp2);
            const std::string_view arg =
                sp2 == std::string_view::npos ? std::string_view{} : Trim(rest.substr(sp2 + 1));
            EntityQuery q;
            bool none = false;
            if (how == "all")
                q.kind = EntityQuery::Kind::All;
            else if (how == "none")
                none = true;
            else if (how == "layer" || how == "type" || how == "handles") {
                if (arg.empty()) throw bad("select " + std::string(how) + " needs a value");
                q.kind = how == "layer"  ? EntityQuery::Kind::Layer
                         : how == "type" ? EntityQuery::Kind::Type
                                         : EntityQuery::Kind::Handles;
                q.text = std::string(arg);
            } else if (how == "window" || how == "crossing") {
                const std::size_t sp3 = arg.find(' ');
                if (sp3 == std::string_view::npos) throw bad("a window needs two corners");
                q.kind = how == "window" ? EntityQuery::Kind::Window : EntityQuery::Kind::Crossing;
                q.p1 = ParseXyz(arg.substr(0, sp3), lineNo);
                q.p2 = ParseXyz(Trim(arg.substr(sp3 + 1)), lineNo);
            } else {
                throw bad("unknown selection \"" + std::string(how) + "\"");
            }
            if (joins) {
                if (input.queue_.empty() || input.queue_.back().kind != Item::Kind::Selection)
                    throw bad("\"+\" continues a selection, but the line before is none");
                if (!none) input.queue_.back().selection.push_back(q);
            } else {
                input.Select(none ? std::vector<EntityQuery>{} : std::vector<EntityQuery>{q});
            }
        } else {
            throw bad("unknown answer \"" + std::string(word) + "\"");
        }
        if (joins && word != "select") throw bad("only a selection continues with \"+\"");
    }
    return input;
}

std::optional<ScriptedInput::Item> ScriptedInput::Take(Item::Kind wanted, const char *request) {
    if (queue_.empty()) return std::nullopt;
    Item item = queue_.front();
    queue_.pop_front();
    if (item.kind == Item::Kind::Cancel) return std::nullopt;
    if (item.kind == Item::Kind::Fail) throw CadError(item.text);
    if (item.kind != wanted)
        throw CadError(std::string("The drawing asked for ") + request +
                       " but the script answers \"" + KindName(item.kind) + "\"");
    return item;
}

std::optional<TAcadPoint> ScriptedInput::PickPoint(const std::string &) {
    auto item = Take(Item::Kind::Point, "a point");
    return item ? std::optional(item->point) : std::nullopt;
}
std::optional<double> ScriptedInput::PickAngle(const std::string &) {
    auto item = Take(Item::Kind::Angle, "an angle");
    return item ? std::optional(item->angle) : std::nullopt;
}
std::optional<EntityPick> ScriptedInput::PickEntity(const std::string &) {
    auto item = Take(Item::Kind::Entity, "an entity");
    if (!item) return std::nullopt;
    return EntityPick{item->text, item->point};
}
std::optional<std::vector<EntityQuery>> ScriptedInput::SelectOnScreen(const std::string &) {
    auto item = Take(Item::Kind::Selection, "a selection");
    if (!item) return std::nullopt;
    return item->selection;
}
std::optional<TAcadPoint> ScriptedInput::PlacementPoint(const std::string &) {
    auto item = Take(Item::Kind::Placement, "an insertion point");
    return item ? std::optional(item->point) : std::nullopt;
}

}  // namespace pimu::cadlink::embedded
