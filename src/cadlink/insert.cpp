#include "cadlink/insert.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/numconv.h"
#include "cadlink/tables.h"

namespace pimu::cadlink {

namespace {

void CheckTarget(std::string_view target, bool quoted) {
    if (target.empty()) throw CadError("An insertion needs a file or block name");
    for (unsigned char c : target) {
        if (c < 0x20 || c == 0x7F)
            throw CadError(
                "The name \"" + std::string(target) +
                "\" contains a line break or control character and cannot be sent to the CAD");
        if (c == '"')
            throw CadError("The name \"" + std::string(target) + "\" contains a double quote");
        if (!quoted && c == ' ')
            throw CadError("The block name \"" + std::string(target) + "\" contains a blank");
    }
}

}  // namespace

bool IsExploded(InsertForm form) {
    return form != InsertForm::BlockAtPointRotated && form != InsertForm::PlacedByUser &&
           form != InsertForm::BlockPlacedByUser;
}

bool IsPlacedByUser(InsertForm form) {
    return form == InsertForm::PlacedByUser || form == InsertForm::BlockPlacedByUser;
}

std::string FormatCommandNumber(double value) {
    if (!std::isfinite(value)) throw CadError("A coordinate or angle is not a finite number");
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string s = buf;
    if (s == "-0") s = "0";
    return s;
}

std::string BlockNameOfFile(std::string_view path) {
    std::string p(path);
    for (char &c : p)
        if (c == '\\') c = '/';
    return std::filesystem::path(p).stem().string();
}

std::string InsertCommandText(InsertForm form, std::string_view target, const InsertArgs &args) {
    CheckTarget(target, form != InsertForm::BlockPlacedByUser);
    double angle = 0.0;
    if (!TryParseNumber(args.angle, angle) ||
        args.angle.find_first_of(" \r\n\t") != std::string::npos)
        throw CadError("The angle \"" + args.angle + "\" is not a number");
    const std::string t(target);
    const std::string xy = FormatCommandNumber(args.x) + "," + FormatCommandNumber(args.y);
    const std::string star = "\"*" + t + "\"\r";
    switch (form) {
        case InsertForm::ExplodedAtOrigin:
            return "-INSERT\r" + star + "0,0 1 0\r";
        case InsertForm::ExplodedAtOriginLowerS:
            return "-INsERT\r" + star + "0,0 1 0\r";
        case InsertForm::ExplodedAtOriginSplit:
            return "-InSERT\r" + star + "0,0\r1 0\r";
        case InsertForm::ExplodedAtPoint:
            return "-InSERT\r" + star + xy + "\r1 0\r";
        case InsertForm::ExplodedAtPointBlankEnd:
            return "-INSERt\r" + star + xy + "\r1 0 ";
        case InsertForm::ExplodedAtPointRotated:
            return "-INSERT\r" + star + xy + "\r1.0\r" + args.angle + "\r";
        case InsertForm::BlockAtPointRotated:
            return "-INSERT\r\"" + t + "\"\r" + xy + "\r1.0 1.0\r" + args.angle + "\r";
        case InsertForm::PlacedByUser:
            return "-INSERT\r\"" + t + "\"\rS\r1.0\rR\r" + args.angle + "\r";
        case InsertForm::BlockPlacedByUser:
            return "-INSERT\r" + t + "\rS\r1.0\rR\r0.0\r";
    }
    throw CadError("Unknown insertion form");
}

bool InsertDxf(const InsertContext &context, InsertForm form, const std::string &target,
               const InsertArgs &args, InsertPlacement *placement) {
    const bool isFile = form != InsertForm::BlockPlacedByUser;
    if (isFile) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(std::filesystem::path(target), ec)) return false;
    }
    const std::string text = InsertCommandText(form, target, args);
    const std::string blockName = isFile ? BlockNameOfFile(target) : target;
    IDocument &doc = context.app.ActiveDocument();

    if (!IsPlacedByUser(form)) {
        doc.SendCommand(text);
        if (IsExploded(form) && IsPcadFamily(context.progId)) {
            if (WaitQuiescent(context.app, context.progId, 100, context.sleeper, context.progress))
                DeleteBlock(doc, blockName);
        }
        return true;
    }

    const ObjectId before = LastObjectId(doc);
    if (context.minimiseMainWindow) context.minimiseMainWindow();
    bool idle = false;
    try {
        doc.SendCommand(text);
        idle = WaitQuiescent(context.app, context.progId, 200, context.sleeper, context.progress);
    } catch (...) {
        if (context.restoreMainWindow) context.restoreMainWindow();
        throw;
    }
    if (context.restoreMainWindow) context.restoreMainWindow();
    // A stopped wait means the CAD may still be placing: leave its drawing alone.
    if (!idle || args.keepPlacedBlock) return true;
    const ObjectId last = LastObjectId(doc);
    if (last != ObjectId{} && last != before) {
        TAcadPoint at;
        std::string failed;
        if (ExplodeLastInsert(doc, blockName, at, &failed)) {
            DeleteBlock(doc, blockName);
            if (placement != nullptr) *placement = InsertPlacement{true, at, {}};
        } else if (placement != nullptr) {
            placement->explodeFailed = failed;
        }
    }
    return true;
}

}  // namespace pimu::cadlink
