#include "cadlink/tables.h"

#include "base/ascii.h"
#include "cadlink/dxftext.h"

namespace pimu::cadlink {

namespace {

bool Contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

}  // namespace

bool EnsureLayer(IDocument &doc, const std::string &name) {
    ILayers &layers = doc.Layers();
    const std::string wanted = UpperAscii(name);
    for (int i = 0; i < layers.Count(); ++i)
        if (UpperAscii(layers.Item(i)->Name()) == wanted) return true;
    layers.Add(name);
    return true;
}

DashedLinetypeChoice ChooseDashedLinetype(std::string_view progId) {
    const std::string upper = UpperAscii(progId);
    if (Contains(upper, "GCAD")) return {"gcadiso.lin", "HIDDEN2"};
    if (Contains(upper, "PCAD")) return {"MM.LIN", "HIDDEN"};
    if (Contains(upper, "AUTO")) return {"acadiso.lin", "HIDDEN2"};
    if (Contains(upper, "BRIC")) return {"iso.lin", "HIDDEN2"};
    if (Contains(upper, "ZWCA")) return {"zwcadiso.lin", "HIDDEN2"};
    return {"", "HIDDEN2"};
}

std::string EnsureDashedLinetype(IApplication &app, const LinetypeContext &context) {
    IDocument &doc = app.ActiveDocument();
    const DashedLinetypeChoice choice = ChooseDashedLinetype(context.progId);
    ILinetypes &linetypes = doc.Linetypes();
    for (int i = 0; i < linetypes.Count(); ++i) {
        const std::string name = linetypes.Item(i)->Name();
        if (UpperAscii(name) == choice.name) return name;
    }
    const bool pcad = Contains(UpperAscii(context.progId), "PCAD");
    try {
        if (!pcad) {
            linetypes.Load(choice.name, choice.file);
            for (int i = 0; i < linetypes.Count(); ++i) {
                const std::string name = linetypes.Item(i)->Name();
                if (UpperAscii(name) == choice.name) return name;
            }
            return linetypes.Count() > 0 ? linetypes.Item(linetypes.Count() - 1)->Name()
                                         : std::string();
        }
        doc.SetVariable("FILEDIA", 0);
        try {
            doc.SendCommand("-LINETYPE\rL\rHIDDEN\rMM.LIN\r\r");
            context.sleeper.Sleep(100);
        } catch (...) {
            // The file dialogs must not stay switched off because the load failed.
            try {
                doc.SetVariable("FILEDIA", 1);
            } catch (const CadError &) {
            }
            throw;
        }
        doc.SetVariable("FILEDIA", 1);
        return "";
    } catch (const CadError &) {
        if (context.showMessage) context.showMessage("線種ロードエラー");
        context.desktop.SetForegroundWindow(app.HWND());
        return "";
    }
}

std::string NewBlockName(IDocument &doc, std::string_view prefix) {
    // Numbers of any length count exactly ("PIMU_2147483647" is followed by "PIMU_2147483648").
    std::vector<std::string> names;
    IBlocks &blocks = doc.Blocks();
    for (int i = 0; i < blocks.Count(); ++i) names.push_back(blocks.Item(i)->Name());
    return NewBlockNameFrom(prefix, names);
}

BlockPtr NewBlock(IDocument &doc, std::string_view prefix) {
    return doc.Blocks().Add({0.0, 0.0, 0.0}, NewBlockName(doc, prefix));
}

void DeleteBlock(IDocument &doc, std::string_view name) {
    try {
        IBlocks &blocks = doc.Blocks();
        const std::string wanted = UpperAscii(name);
        for (int i = 0; i < blocks.Count(); ++i) {
            BlockPtr block = blocks.Item(i);
            if (UpperAscii(block->Name()) == wanted) {
                block->Delete();
                return;
            }
        }
    } catch (const CadError &) {
    }
}

SelectionSetPtr GetSelectionSet(IDocument &doc, const std::string &name) {
    ISelectionSets &sets = doc.SelectionSets();
    for (int i = 0; i < sets.Count(); ++i) {
        SelectionSetPtr set = sets.Item(i);
        if (set->Name() == name) {
            set->Clear();
            return set;
        }
    }
    return sets.Add(name);
}

SelectionSetPtr GetTempSelectionSet(IDocument &doc) {
    return GetSelectionSet(doc, kTempSelectionSet);
}

ObjectId LastObjectId(IDocument &doc) {
    SelectionSetPtr set;
    ObjectId id;
    try {
        set = GetTempSelectionSet(doc);
        set->Select(SelectMode::Last, {}, {});
        if (set->Count() > 0) id = set->Item(0)->ObjectID();
    } catch (const CadError &) {
        id = ObjectId{};
    }
    try {
        if (set) set->Delete();
    } catch (const CadError &) {
    }
    return id;
}

bool ExplodeLastInsert(IDocument &doc, std::string_view blockName, TAcadPoint &insertionPoint,
                       std::string *failed) {
    SelectionSetPtr set;
    bool done = false;
    try {
        set = GetTempSelectionSet(doc);
        set->Select(SelectMode::Last, {}, {});
        if (set->Count() > 0) {
            EntityPtr entity = set->Item(0);
            if (entity->EntityName() == "AcDbBlockReference") {
                const std::string name = entity->Name();
                if (name == blockName) {
                    insertionPoint = entity->InsertionPoint();
                    entity->Explode();
                    entity->Delete();
                    done = true;
                } else if (failed) {
                    *failed = name;
                }
            }
        }
    } catch (const CadError &) {
        done = false;
        if (failed) *failed = std::string(blockName);
    }
    try {
        if (set) set->Delete();
    } catch (const CadError &) {
    }
    return done;
}

}  // namespace pimu::cadlink
