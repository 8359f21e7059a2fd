// The typed commands the program sends: "-INSERT" in all its forms, "-LINETYPE" and "ID".
// As in a CAD, a carriage return or a blank ends an input (a blank inside double quotes does
// not). Running out of text where a point is asked leaves the point to the user (the input
// source); at any other prompt the default answer is taken, so the drawing is idle on return.
#include <cmath>
#include <numbers>

#include "base/numconv.h"
#include "cadlink/embedded/document.h"
#include "cadlink/embedded/dxfio.h"

namespace pimu::cadlink::embedded {

class CommandInterpreter {
public:
    CommandInterpreter(EmbeddedDocument &doc, const std::string &text) : doc_(doc), text_(text) {
        for (unsigned char c : text)
            if ((c < 0x20 && c != '\r' && c != '\n') || c == 0x7F)
                throw CadError("A command cannot contain control characters");
    }

    void Run() {
        while (auto input = Next()) {
            if (input->empty()) continue;  // Enter at the command prompt
            const std::string command = UpperAscii(*input);
            if (command == "-INSERT")
                Insert();
            else if (command == "-LINETYPE")
                Linetype();
            else if (command == "ID")
                Id();
            else
                throw CadError("Unknown command \"" + *input + "\"");
        }
    }

private:
    EmbeddedDocument &doc_;
    const std::string &text_;
    std::size_t pos_ = 0;

    // The next input, or nullopt when the text is used up.
    std::optional<std::string> Next() {
        if (pos_ >= text_.size()) return std::nullopt;
        std::string out;
        bool quoted = false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') quoted = !quoted;
            if (!quoted && (c == '\r' || c == '\n' || c == ' ')) return out;
            if (quoted && (c == '\r' || c == '\n')) throw CadError("A quoted name is not closed");
            out += c;
        }
        if (quoted) throw CadError("A quoted name is not closed");
        return out;
    }

    static std::optional<double> Number(const std::string &s) {
        double v = 0.0;
        if (TryParseNumber(s, v)) return v;
        return std::nullopt;
    }

    static std::optional<TAcadPoint> Point(const std::string &s) {
        const std::size_t c1 = s.find(',');
        if (c1 == std::string::npos) return std::nullopt;
        const std::size_t c2 = s.find(',', c1 + 1);
        TAcadPoint p;
        if (!TryParseNumber(s.substr(0, c1), p.x)) return std::nullopt;
        if (!TryParseNumber(
                s.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), p.y))
            return std::nullopt;
        if (c2 != std::string::npos && !TryParseNumber(s.substr(c2 + 1), p.z)) return std::nullopt;
        return p;
    }

    static double Scale(const std::string &s, const char *what) {
        auto v = Number(s);
        if (!v || *v == 0.0)
            throw CadError(std::string(what) + " needs a non-zero number, not \"" + s + "\"");
        return *v;
    }

    void Insert() {
        auto nameInput = Next();
        if (!nameInput || nameInput->empty()) throw CadError("-INSERT needs a block or file name");
        std::string name = *nameInput;
        if (name.front() == '"') {
            if (name.size() < 2 || name.back() != '"')
                throw CadError("A quoted name is not closed");
            name = name.substr(1, name.size() - 2);
        }
        if (name.find('"') != std::string::npos)
            throw CadError("A name cannot contain a double quote");
        bool exploded = false;
        if (!name.empty() && name.front() == '*') {
            exploded = true;
            name.erase(0, 1);
        }
        if (name.empty()) throw CadError("-INSERT needs a block or file name");

        // A file when it names a path or a DXF file; otherwise a block of the drawing.
        std::optional<Drawing> source;
        std::string blockName = name;
        const bool isFile = name.find('/') != std::string::npos ||
                            name.find('\\') != std::string::npos ||
                            UpperAscii(name).ends_with(".DXF");
        std::filesystem::path path;
        if (isFile) {
            path = std::filesystem::path(name);
            if (path.is_relative() && !doc_.baseDirectory_.empty())
                path = doc_.baseDirectory_ / path;
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec))
                throw CadError("File \"" + name + "\" not found");
            source = OpenDxf(path);
            blockName = path.stem().string();
            if (blockName.empty() ||
                blockName.find_first_of("<>/\\\":;?*|,=`") != std::string::npos)
                throw CadError("\"" + blockName + "\" cannot be a block name");
        } else if (!doc_.drawing().FindBlock(name)) {
            throw CadError("Block \"" + name + "\" not found");
        }

        // Insertion point, with the S(cale) and R(otate) options before it.
        std::optional<double> presetScale, presetRotation;
        std::optional<TAcadPoint> point;
        for (;;) {
            auto input = Next();
            if (!input) break;  // the user places it
            const std::string word = UpperAscii(*input);
            if (word == "S" || word == "SCALE") {
                auto v = Next();
                presetScale = Scale(v.value_or(""), "The scale");
            } else if (word == "R" || word == "ROTATE") {
                auto v = Next();
                auto a = Number(v.value_or(""));
                if (!a)
                    throw CadError("The rotation needs an angle, not \"" + v.value_or("") + "\"");
                presetRotation = *a;
            } else if (auto p = Point(*input)) {
                point = p;
                break;
            } else {
                throw CadError("-INSERT expects an insertion point, not \"" + *input + "\"");
            }
        }
        bool placedByUser = false;
        if (!point) {
            if (!doc_.inputSource()) throw CadError("The drawing has no user input");
            point = doc_.inputSource()->PlacementPoint(blockName);
            if (!point) return;  // cancelled: nothing inserted
            placedByUser = true;
        }

        double sx = 1.0, sy = 1.0, rotationDeg = 0.0;
        auto answer = [&]() -> std::string {
            return placedByUser ? std::string() : Next().value_or("");
        };
        if (presetScale) {
            sx = sy = *presetScale;
        } else if (exploded) {
            const std::string s = answer();
            if (!s.empty()) sx = sy = Scale(s, "The scale");
        } else {
            const std::string x = answer();
            if (!x.empty()) sx = Scale(x, "The X scale");
            const std::string y = answer();
            sy = y.empty() ? sx : Scale(y, "The Y scale");
        }
        if (presetRotation) {
            rotationDeg = *presetRotation;
        } else {
            const std::string r = answer();
            if (!r.empty()) {
                auto a = Number(r);
                if (!a) throw CadError("The rotation needs an angle, not \"" + r + "\"");
                rotationDeg = *a;
            }
        }
        if (exploded && sx < 0.0) throw CadError("An exploded insertion needs a positive scale");

        Drawing &dw = doc_.drawing();
        if (source) DefineBlockFrom(dw, *source, blockName);
        const BlockRecord *block = dw.FindBlock(blockName);
        const double rotation = rotationDeg * std::numbers::pi / 180.0;
        if (exploded) {
            const Placement placement{block->base, *point, sx, rotation};
            std::vector<EntityData> parts;
            for (EntityId id : block->entities) parts.push_back(Transformed(dw.Get(id), placement));
            for (EntityData &part : parts) dw.Add(std::move(part));
        } else {
            EntityData ref;
            ref.kind = EntityKind::Insert;
            ref.blockName = block->name;
            ref.p1 = *point;
            ref.sx = sx, ref.sy = sy, ref.sz = sx;
            ref.rotation = rotation;
            dw.Add(std::move(ref));
        }
        doc_.variables_["LASTPOINT"] = *point;
    }

    void Linetype() {
        for (;;) {
            auto option = Next();
            if (!option || option->empty()) return;
            const std::string word = UpperAscii(*option);
            if (word != "L" && word != "LOAD")
                throw CadError("-LINETYPE option \"" + *option + "\" is not supported");
            auto names = Next();
            if (!names || names->empty()) throw CadError("-LINETYPE needs the linetype to load");
            auto file = Next();
            if (!file || file->empty()) throw CadError("-LINETYPE needs a linetype file");
            std::string fileName = *file;
            if (fileName.size() >= 2 && fileName.front() == '"' && fileName.back() == '"')
                fileName = fileName.substr(1, fileName.size() - 2);
            const std::vector<LinetypeRecord> *records = BuiltInLinetypeFile(fileName);
            if (!records) throw CadError("Linetype file \"" + fileName + "\" not found");
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = names->find(',', start);
                const std::string wanted = UpperAscii(names->substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start));
                bool found = false;
                for (const LinetypeRecord &r : *records)
                    if (wanted == "*" || UpperAscii(r.name) == wanted) {
                        found = true;
                        if (!doc_.drawing().FindLinetype(r.name)) doc_.drawing().AddLinetype(r);
                    }
                if (!found)
                    throw CadError("Linetype \"" + wanted + "\" not found in \"" + fileName + "\"");
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
    }

    void Id() {
        std::optional<TAcadPoint> point;
        if (auto input = Next()) {
            point = Point(*input);
            if (!point) throw CadError("ID expects a point, not \"" + *input + "\"");
        } else {
            if (!doc_.inputSource()) throw CadError("The drawing has no user input");
            point = doc_.inputSource()->PickPoint("Specify point:");
            if (!point) return;  // cancelled
        }
        doc_.variables_["LASTPOINT"] = *point;
        char buf[128];
        std::snprintf(buf, sizeof buf, "X = %.4f     Y = %.4f     Z = %.4f", point->x, point->y,
                      point->z);
        doc_.prompts_.push_back(buf);
    }
};

void EmbeddedDocument::SendCommand(const std::string &text) {
    commands_.push_back(text);
    CommandInterpreter(*this, text).Run();
}

}  // namespace pimu::cadlink::embedded
