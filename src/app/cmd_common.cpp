// What the drawing commands share: the common fields of the time-of-day tab, attaching to the
// CAD, the insertion context, writing a DXF file beside the program, and the isochronal raster.
#include <cmath>
#include <string>

#include "app/form.h"
#include "base/numconv.h"
#include "cadlink/connection.h"
#include "cadlink/dxfoutput.h"
#include "cadlink/dxftext.h"

namespace pimu::app {

namespace {

// Latitudes of the Japanese building rules; others are computed all the same.
constexpr double kJapanSouth = 20.0;
constexpr double kJapanNorth = 46.0;

}  // namespace

double TForm1::ReadLatitude() {
    GB_idodo = ParseNumber(Edit3.text, "緯度（度）");
    GB_idohun = ParseNumber(Edit5.text, "緯度（分）");
    GB_idobyou = ParseNumber(Edit23.text, "緯度（秒）");
    const double latitude = solar::LatitudeDegrees(GB_idodo, GB_idohun, GB_idobyou);
    // The sun's formulas take any number, and a latitude past a pole draws a plausible diagram
    // for a place that does not exist.
    if (!(latitude >= -90.0 && latitude <= 90.0))
        throw FieldRangeError("緯度は -90 ～ 90 度の範囲で指定して下さい．（緯度: " +
                              cadlink::DxfNumber(latitude) + "）");
    return latitude;
}

void TForm1::WarnOutsideJapan(double latitude) {
    if (latitude >= kJapanSouth && latitude <= kJapanNorth) return;
    if (latitude == latitudeWarned_) return;
    latitudeWarned_ = latitude;
    ShowMessage("緯度 " + cadlink::DxfNumber(latitude) +
                " 度は日本の範囲（20 ～ 46 度）の外です．そのまま計算します．");
}

CommonFields TForm1::ReadCommonFields() {
    CommonFields f;
    Longitude = ParseNumber(Edit43.text, "経度");
    UseStdTime = CheckBox13.checked;
    EqOfTime = ParseNumber(Edit44.text, "均時差");
    GB_kita = ParseNumber(Edit12.text, "真北");
    const double latitude = ReadLatitude();
    GB_takasa = ParseNumber(Edit4.text, "測定面の高さ") * 1000.0;
    GB_kaisi = ParseNumber(Edit2.text, "時刻（開始）");
    GB_owari = ParseNumber(Edit7.text, "時刻（終了）");
    RadioGroup1Click();
    GB_kisetu = RadioGroup1.itemIndex;

    WarnOutsideJapan(latitude);

    f.North = GB_kita;
    f.Latitude = latitude;
    f.PlaneHeight = GB_takasa;
    f.Start = GB_kaisi;
    f.End = GB_owari;
    f.Time = {UseStdTime, Longitude, EqOfTime};
    f.Sun = solar::MakeSolarState(latitude, Declination, GB_kita, f.Time);
    return f;
}

cadlink::ApplicationPtr TForm1::AttachCad() {
    if (!cad_) throw cadlink::CadError("No CAD link");
    cadlink::ApplicationPtr app = cad_->GetCadApplication(ProgID);
    cadlink::BringCadForward(*app, cad_->Desktop(), cad_->Sleeper());
    return app;
}

cadlink::InsertContext TForm1::InsertContextFor(cadlink::IApplication &app) {
    return {app,
            ProgID,
            cad_->Sleeper(),
            cadWait_,
            [this] { host_.MinimizeMainWindow(); },
            [this] { host_.RestoreMainWindow(); }};
}

std::filesystem::path TForm1::WriteDxf(cadlink::DxfText &list, std::string_view prefix,
                                       cadlink::IDocument &doc) {
    return cadlink::WriteDxfFile(list, prefix, doc, paths_.programFolder, cad_->Sleeper());
}

shadow::ShadowCountGrid &TForm1::CountGrid() {
    if (!countGrid_) countGrid_ = std::make_unique<shadow::ShadowCountGrid>();
    return *countGrid_;
}

}  // namespace pimu::app
