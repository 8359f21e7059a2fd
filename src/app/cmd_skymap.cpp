// The sky maps: 測定点指示 (one picked point), 作図 (the selected row of StringGrid1) and 一括
// (every row in a line). Each map is the projection drawn and inserted, its covered-sky outline
// traced, the overlay (hatch, vertex marks, triangles, result texts) inserted over it, and for an
// interactive map the triangle area table and the building position table placed by the user.
#include <cstdio>
#include <filesystem>
#include <string>
#include <variant>

#include "app/form.h"
#include "app/undo_group.h"
#include "base/numconv.h"
#include "cadlink/dxftext.h"
#include "cadlink/insert.h"
#include "cadlink/tables.h"
#include "sky/sky_map.h"

namespace pimu::app {

// The layer names of the five map layers.
struct SkyMapLayers {
    std::string tenku, memori, hatch, sansya, tateiti;
    const std::string &Of(sky::MapLayer layer) const {
        switch (layer) {
            case sky::MapLayer::Memori:
                return memori;
            case sky::MapLayer::Hatch:
                return hatch;
            case sky::MapLayer::Sansya:
                return sansya;
            case sky::MapLayer::Tateiti:
                return tateiti;
            case sky::MapLayer::Tenku:
                break;
        }
        return tenku;
    }
};

namespace {

constexpr const char *kNoBuildings = "建物データがありません．";
constexpr const char *kNoPoints = "測定点データがありません．";
constexpr const char *kNoRow = "測定点データが選択されていません．";
constexpr const char *kAreaTab1 =
    "[AREA]には対応していません．\n[計画建物]または[適合建物]にチェックを付けて下さい．";
constexpr const char *kAreaTab2 =
    "[AREA]には対応していません．\n[計画]または[適合]にチェックを付けて下さい．";
constexpr const char *kAreaOverlay = "AREA には対応していません．";
constexpr const char *kPickFailed = "座標指示失敗．";
// Texts within this reach of a picked point name it.
constexpr double kLabelReach = 1000.0;

constexpr int kColX = 1;
constexpr int kColY = 2;
constexpr int kColName = 3;
constexpr int kColHeight = 4;

bool Blank(const std::string &s) {
    return s.find_first_not_of(" \t") == std::string::npos;
}

cadlink::DxfValue Num(double v, bool fixed4) {
    return fixed4 ? cadlink::DxfValue::Fixed(v, 4) : cadlink::DxfValue(v);
}

void AddEntities(cadlink::DxfText &dxf, const sky::MapEntities &entities,
                 const SkyMapLayers &layers) {
    for (const sky::MapEntity &entity : entities) {
        if (const auto *l = std::get_if<sky::MapLine>(&entity)) {
            cadlink::DxfLineStyle style;
            style.hidden = l->hidden;
            dxf.AddLine(layers.Of(l->layer), Num(l->a.x, l->fixed4), Num(l->a.y, l->fixed4),
                        Num(l->b.x, l->fixed4), Num(l->b.y, l->fixed4), style);
        } else if (const auto *c = std::get_if<sky::MapCircle>(&entity)) {
            cadlink::DxfLineStyle style;
            style.hidden = c->hidden;
            dxf.AddCircle(layers.Of(c->layer), c->centre.x, c->centre.y, c->radius, style);
        } else if (const auto *t = std::get_if<sky::MapText>(&entity)) {
            cadlink::DxfTextItem item{Num(t->useFirstX ? t->firstX : t->at.x, t->fixed4),
                                      Num(t->at.y, t->fixed4), 0.0, t->height, t->text};
            if (t->rotation != 0.0) item.rotation = cadlink::DxfValue(t->rotation);
            item.widthFactor = t->width;
            if (t->aligned) {
                item.align =
                    cadlink::DxfTextAlign{Num(t->at.x, t->fixed4), Num(t->at.y, t->fixed4), 0.0,
                                          static_cast<cadlink::DxfHAlign>(t->horizontal),
                                          static_cast<cadlink::DxfVAlign>(t->vertical)};
            }
            dxf.AddText(layers.Of(t->layer), item);
        } else if (const auto *p = std::get_if<sky::MapPolyline>(&entity)) {
            std::vector<cadlink::DxfVertex> vertices;
            for (const geometry::TAcadPoint &q : p->points)
                vertices.push_back(
                    {cadlink::DxfValue::Fixed(q.x, 4), cadlink::DxfValue::Fixed(q.y, 4)});
            cadlink::DxfPolylineStyle style;
            style.closed = p->closed;
            style.elevation = cadlink::DxfValue(p->elevation);
            dxf.AddPolyline(layers.Of(p->layer), vertices, style);
        }
    }
}

// Inserts a map file exploded and deletes the block definition the insertion leaves behind, once
// the CAD is idle, whichever CAD it is.
void InsertExploded(const cadlink::InsertContext &context, cadlink::InsertForm form,
                    const std::filesystem::path &file, const cadlink::InsertArgs &args) {
    if (!cadlink::InsertDxf(context, form, file.string(), args)) return;
    if (cadlink::WaitQuiescent(context.app, context.progId, 100, context.sleeper, context.progress))
        cadlink::DeleteBlock(context.app.ActiveDocument(), cadlink::BlockNameOfFile(file.string()));
}

// Restores RunFlag to what it was when the map commands end, however they end.
struct RunScope {
    bool &flag;
    bool before;
    explicit RunScope(bool &f) : flag(f), before(f) { flag = true; }
    ~RunScope() { flag = before; }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;
};

}  // namespace

// Everything one map reads from the window, read and checked before the drawing is touched.
struct TForm1::SkyMapFields {
    int typ = 0;
    sky::SkyMapSizes sizes;
    double s = 200.0;
    double R = 0.0;
    double t = 0.0;
    std::string interval;  // the scale-mark field as typed
    double E = 0.0;
    double H = 0.0;
    double north = 90.0;
    double ze = 0.0;
    double e = 0.0;
    double mentaka = 0.0;  // metres
    double rot = 0.0;
    sky::AreaTarget target = sky::AreaTarget::Keikaku;
    bool kyuseki = true;
    bool tateiti = true;
    std::string label;
    std::string latitude;
    SkyMapLayers layers;
};

std::array<geometry::TAcadPoint, 2> TForm1::SkyMapTablePlaces(int typ,
                                                              geometry::TAcadPoint at) const {
    double scale = 0.0;
    double text = 0.0;
    double radius = 0.0;
    if (!TryParseNumber(Edit19.text, scale)) scale = 0.0;
    if (!TryParseNumber((typ == 1 ? Edit22 : Edit20).text, text)) text = 0.0;
    if (!TryParseNumber((typ == 1 ? Edit21 : Edit15).text, radius)) radius = 0.0;
    const double R = radius * scale;
    const double p = 2.0 * text * scale;
    return {{{at.x + 1.5 * R, at.y + R - 4.0 * p, 0.0},
             {at.x + 1.5 * R + 17.0 * p, at.y + R - 4.0 * p, 0.0}}};
}

TForm1::SkyMapFields TForm1::ReadSkyMapFields(int typ) {
    SkyMapFields f;
    f.typ = typ;
    f.sizes.HankeiA = ParseNumber(Edit15.text, "半径 (type A)");
    f.sizes.HankeiB = ParseNumber(Edit21.text, "半径 (type B)");
    f.s = ParseNumber(Edit19.text, "図面の尺度");
    f.sizes.Syakudo = f.s;
    const TEdit &radius = typ == 0 ? Edit15 : Edit21;
    if (!(sky::PaperRadius(f.sizes, typ) > 0.0))
        throw FieldRangeError("半径には 0 より大きい値を指定して下さい．（半径: " + radius.text +
                              "）");
    if (!(f.s > 0.0))
        throw FieldRangeError(
            "図面の尺度には 0 より大きい値を指定して下さい．（図面の尺度: " + Edit19.text + "）");
    f.R = sky::SkyRadiusOf(f.sizes, typ);
    f.t = ParseNumber((typ == 0 ? Edit20 : Edit22).text, "文字") * f.s;
    f.interval = (typ == 0 ? Edit13 : Edit24).text;
    f.E = ParseNumber(f.interval, "目盛");
    f.H = ParseNumber((typ == 0 ? Edit18 : Edit25).text, "ﾊｯﾁ");
    f.north = ParseNumber(Edit12.text, "真北");
    f.ze = ParseNumber(Edit17.text, "測定面高さ") * 1000.0;
    // A plane height that is not a number counts as 0, as the projection counts it.
    f.mentaka = 0.0;
    if (!TryParseNumber(MENTAKA, f.mentaka)) f.mentaka = 0.0;
    f.e = f.mentaka * 1000.0;
    f.rot = CheckBox10.checked ? f.north - 90.0 : 0.0;
    f.target = static_cast<sky::AreaTarget>(RadioGroup2.itemIndex);
    f.kyuseki = typ == 0 ? CheckBox3.checked : CheckBox6.checked;
    f.tateiti = typ == 0 ? CheckBox5.checked : CheckBox7.checked;
    f.label = typ == 0 ? GB_TenMeiA : GB_TenMeiB;
    f.latitude = "緯度 = " + Edit3.text + "%%d" + Edit5.text + "'" + Edit23.text + "\"";
    f.layers = {Edit33.text, Edit34.text, Edit35.text, Edit36.text, Edit37.text};
    return f;
}

std::string TForm1::MakeTenkuzu(int typ, bool InsertFlag, geometry::TAcadPoint insertVpt,
                                const geometry::BuildingModel *buildings) {
    if (!CadAvailable(false)) return {};
    const SkyMapFields f = ReadSkyMapFields(typ);
    const geometry::BuildingModel &model = buildings ? *buildings : Model;
    if (model.Empty()) return {};
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    cadlink::EnsureDashedLinetype(*app, {ProgID, cad_->Sleeper(), cad_->Desktop(),
                                         [this](const std::string &text) { ShowMessage(text); }});
    for (const std::string *layer :
         {&f.layers.tenku, &f.layers.memori, &f.layers.hatch, &f.layers.sansya, &f.layers.tateiti})
        cadlink::EnsureLayer(doc, *layer);

    // The sky factors first: a point whose values do not check out gets no map at all.
    sky::SkyEnvelope exact;
    const sky::TenkuRituResult ritu =
        sky::GetTenkuRitu(sky::SkyBuildingsOf(model), IDPOINT1, f.e,
                          {sky::PaperRadius(f.sizes, typ), f.s, f.north}, &exact);
    if (!ritu.Ok()) {
        ShowMessage(sky::InconsistentMessage("測定点 " + f.label + " (" +
                                                 cadlink::DxfFixed(IDPOINT1.x, 3) + ", " +
                                                 cadlink::DxfFixed(IDPOINT1.y, 3) + ")",
                                             ritu));
        return {};
    }

    FormProgress progress(*this);
    sky::SkyView view;
    view.IDPOINT1 = IDPOINT1;
    view.e = f.e;
    view.north = f.north;
    view.SkyRadius = f.R;
    sky::SkyProjection projection = sky::ProjectSky(model, view, progress);
    if (projection.Stopped) return {};

    cadlink::DxfText map;
    map.Begin();
    AddEntities(map, sky::SkyMapEntities(projection, {f.R, f.t, f.E, f.ze}), f.layers);
    map.Finish();
    const std::filesystem::path mapFile = WriteDxf(map, "PIMU_", doc);
    if (InsertFlag) {
        char angle[64];
        std::snprintf(angle, sizeof angle, "%.12f", f.rot);
        cadlink::InsertPlacement placement;
        cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::PlacedByUser,
                           mapFile.string(), {0.0, 0.0, angle}, &placement);
        // Cancelled: no map, so no overlay either.
        if (!placement.placed) return {};
        IDPOINT2 = placement.at;
    } else {
        InsertExploded(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtPointRotated, mapFile,
                       {insertVpt.x, insertVpt.y, cadlink::FormatCommandNumber(f.rot)});
        IDPOINT2 = insertVpt;
    }
    InsertLineEnt(f, InsertFlag, ritu, exact, projection.AryTateiti);
    return {};
}

void TForm1::InsertLineEnt(const SkyMapFields &f, bool InsertFlag, const sky::TenkuRituResult &ritu,
                           const sky::SkyEnvelope &exact, std::vector<sky::TTateiti> &AryTateiti) {
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    sky::OverlayInputs in;
    in.R = f.R;
    in.s = f.s;
    in.t = f.t;
    in.H = f.H;
    in.north = f.north;
    in.rot = f.rot;
    in.target = f.target;
    in.marks = InsertFlag && f.tateiti;
    in.triangles = InsertFlag && f.kyuseki;
    in.texts.interval = f.E > 0.0 ? f.interval : std::string();
    in.texts.latitude = f.latitude;
    in.texts.mentaka = f.mentaka;
    in.texts.label = f.label;
    const sky::SkyOverlay overlay = sky::BuildOverlay(ritu, exact, AryTateiti, in);

    cadlink::DxfText dxf;
    dxf.Begin();
    AddEntities(dxf, overlay.entities, f.layers);
    dxf.Finish();
    if (f.target == sky::AreaTarget::Area) {
        ShowMessage(kAreaOverlay);
        WriteDxf(dxf, "PIMU_", doc);
        return;
    }
    const std::filesystem::path file = WriteDxf(dxf, "PIMU_", doc);
    InsertExploded(InsertContextFor(*app), cadlink::InsertForm::ExplodedAtPointBlankEnd, file,
                   {IDPOINT2.x, IDPOINT2.y, "0"});
    if (!InsertFlag) return;

    if (f.kyuseki && overlay.HasTable()) {
        cadlink::DxfText table;
        table.Begin();
        AddEntities(table,
                    sky::TriangleTable(*overlay.pass, overlay.ritu.K, f.R, f.s, f.t,
                                       f.E > 0.0 ? f.interval : std::string(), f.mentaka),
                    f.layers);
        table.Finish();
        const std::filesystem::path tableFile = WriteDxf(table, "PIMU_", doc);
        cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::PlacedByUser,
                           tableFile.string(), {0.0, 0.0, "0"});
    }
    // Entries are numbered only when the outline had corners; otherwise there is no table.
    if (overlay.numbered) DrawTateiti(f, AryTateiti);
}

void TForm1::DrawTateiti(const SkyMapFields &f, std::vector<sky::TTateiti> &AryTateiti) {
    if (AryTateiti.empty()) return;
    sky::TateitiInputs in;
    in.R = f.R;
    in.s = f.s;
    in.p = f.t * 2.0;
    in.north = f.north;
    in.interval = f.E > 0.0 ? f.interval : std::string();
    in.mentaka = f.mentaka;
    const sky::MapEntities table = sky::TateitiTable(AryTateiti, in);
    AryTateiti.clear();
    if (table.empty()) return;
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    cadlink::DxfText dxf;
    dxf.Begin();
    AddEntities(dxf, table, f.layers);
    dxf.Finish();
    const std::filesystem::path file = WriteDxf(dxf, "PIMU_", doc);
    cadlink::InsertDxf(InsertContextFor(*app), cadlink::InsertForm::PlacedByUser, file.string(),
                       {0.0, 0.0, "0"});
}

void TForm1::Button8Click(const TButton &sender) {
    const int typ = &sender == &Button11 ? 1 : 0;
    if (RadioGroup2.itemIndex == 0) {
        ShowMessage(kAreaTab1);
        return;
    }
    ProgressDetail = true;
    MENTAKA = Edit17.text;
    GB_TenMeiA = Edit16.text;
    GB_TenMeiB = Edit14.text;
    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    if (!CadAvailable(false)) return;
    // The fields are checked before the user is asked for anything.
    ReadSkyMapFields(typ);
    RunScope run(RunFlag);
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    bool picked = false;
    {
        doc.SetVariable("BLIPMODE", 1);
        Workspace.TempPoints.clear();
        MinimizedWindow minimized(host_);
        try {
            const geometry::TAcadPoint p = doc.Utility().GetPoint(std::nullopt, "測定点を指示 : ");
            doc.Utility().Prompt("\r\n測定点が指示されました.\r\n");
            IDPOINT1 = p;
            picked = true;
            // A point mark already labelled in the drawing keeps its label.
            cadlink::SelectionSetPtr ss = cadlink::GetSelectionSet(doc, "ssPimu");
            try {
                ss->Select(cadlink::SelectMode::Crossing,
                           {p.x - kLabelReach, p.y + kLabelReach, p.z},
                           {p.x + kLabelReach, p.y - kLabelReach, p.z}, {{0, "TEXT"}});
                for (int i = 0; i < ss->Count(); ++i) {
                    cadlink::EntityPtr e = ss->Item(i);
                    if (e->EntityName() != "AcDbText") continue;
                    const std::string label = e->TextString();
                    (typ == 1 ? Edit14 : Edit16).text = label;
                    (typ == 1 ? GB_TenMeiB : GB_TenMeiA) = label;
                    break;
                }
            } catch (const cadlink::CadError &) {
                // No label found: the number of the field stays.
            }
            ss->Delete();
        } catch (const cadlink::CadError &) {
            // The pick was cancelled.
        }
        doc.SetVariable("BLIPMODE", 0);
    }
    ProgressDetail = true;
    // A cancelled pick draws nothing: the point held from before is not the user's choice.
    if (!picked) return;
    MakeTenkuzu(typ, true, {});
    TUpDown &updown = typ == 1 ? UpDown6 : UpDown2;
    SetUpDownPosition(updown, updown.position + 1);
}

void TForm1::Button13Click(const TButton &sender) {
    const int typ = &sender == &Button14 ? 1 : 0;
    if (RadioGroup4.itemIndex == 0) {
        ShowMessage(kAreaTab2);
        return;
    }
    ProgressDetail = true;
    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    if (!CadAvailable(true)) return;
    const int row = StringGrid1.row;
    if (row <= 0 || row >= StringGrid1.RowCount()) {
        ShowMessage(kNoRow);
        return;
    }
    if (!SkyRowHasPoint(row)) {
        ShowMessage(kNoPoints);
        return;
    }
    const std::string where = "（" + std::to_string(row) + " 行目）";
    geometry::TAcadPoint p;
    p.x = ParseNumber(StringGrid1.Cell(kColX, row), "X座標" + where);
    p.y = ParseNumber(StringGrid1.Cell(kColY, row), "Y座標" + where);
    RunScope run(RunFlag);
    cadlink::ApplicationPtr app = AttachCad();
    UndoGroup undo(app->ActiveDocument());
    IDPOINT1 = p;
    (typ == 1 ? GB_TenMeiB : GB_TenMeiA) = StringGrid1.Cell(kColName, row);
    if (!Blank(StringGrid1.Cell(kColHeight, row))) MENTAKA = StringGrid1.Cell(kColHeight, row);
    MakeTenkuzu(typ, true, {});
    ActiveControl = "StringGrid1";
    if (CheckBox9.checked) {
        StringGrid1.row = row + 1 < StringGrid1.RowCount() ? row + 1 : 1;
        StringGrid1Click();
    }
}

void TForm1::Button18Click(const TButton &sender) {
    const int typ = &sender == &Button24 ? 1 : 0;
    if (RadioGroup4.itemIndex == 0) {
        ShowMessage(kAreaTab2);
        return;
    }
    ProgressDetail = true;
    if (!CadAvailable(false)) return;
    if (Model.Empty()) {
        ShowMessage(kNoBuildings);
        return;
    }
    if (!BuildingsHaveHeight()) return;
    ReadSkyMapFields(typ);
    RunScope run(RunFlag);
    cadlink::ApplicationPtr app = AttachCad();
    cadlink::IDocument &doc = app->ActiveDocument();
    UndoGroup undo(doc);
    int last = 0;
    for (int row = StringGrid1.RowCount() - 1; row >= 1; --row) {
        if (SkyRowHasPoint(row)) {
            last = row;
            break;
        }
    }
    std::optional<geometry::TAcadPoint> centre;
    if (last > 0) {
        MinimizedWindow minimized(host_);
        doc.SetVariable("BLIPMODE", 1);
        doc.Utility().Prompt("\r\n作成する天空図の中心座標を指示 : ");
        try {
            centre = doc.Utility().GetPoint(std::nullopt, "作成する天空図の中心座標を指示 : ");
            doc.Utility().Prompt("\r\n指示されました.\r\n");
        } catch (const cadlink::CadError &) {
            ShowMessage(kPickFailed);
        }
        doc.SetVariable("BLIPMODE", 0);
    }
    if (centre) {
        double pitch = 0.0;
        double scale = 0.0;
        if (!TryParseNumber((typ == 0 ? Edit8 : Edit40).text, pitch)) pitch = 0.0;
        if (!TryParseNumber(Edit19.text, scale)) scale = 0.0;
        const double p = pitch * scale;
        if (p != 0.0) {
            IDPOINT2 = *centre;
            const int rows = StringGrid1.RowCount() - 1;
            for (int row = 1; row <= rows; ++row) {
                doc.Utility().Prompt("天空図作成中 ... " + std::to_string(row) + " / " +
                                     std::to_string(rows));
                if (!SkyRowHasPoint(row)) break;
                geometry::TAcadPoint pt;
                if (!TryParseNumber(StringGrid1.Cell(kColX, row), pt.x) ||
                    !TryParseNumber(StringGrid1.Cell(kColY, row), pt.y))
                    break;
                IDPOINT1 = pt;
                (typ == 1 ? GB_TenMeiB : GB_TenMeiA) = StringGrid1.Cell(kColName, row);
                if (!Blank(StringGrid1.Cell(kColHeight, row)))
                    MENTAKA = StringGrid1.Cell(kColHeight, row);
                try {
                    MakeTenkuzu(typ, false, *centre);
                } catch (const std::exception &) {
                    // One map that fails does not stop the others.
                }
                if (!RunFlag) break;
                centre->x += p;
                IDPOINT2 = *centre;
            }
        }
    }
    undo.Close();
    doc.Utility().Prompt("天空図作成 ... 終了しました．");
    if (last == 0) ShowMessage(kNoPoints);
}

}  // namespace pimu::app
