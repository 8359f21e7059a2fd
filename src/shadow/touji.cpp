#include "shadow/touji.h"

#include "shadow/jikoku.h"
#include "shadow/shadow_bitmap.h"

namespace pimu::shadow {

ToujiCheck CheckToujiRange(const ToujiInputs &in) {
    if (!(in.Start < in.End)) return ToujiCheck::StartNotBeforeEnd;
    if (in.Start < solar::kFirstSunTime || in.End > solar::kLastSunTime)
        return ToujiCheck::OutsideSunHours;
    return ToujiCheck::Ok;
}

ToujiCheck CheckToujiInputs(const ToujiInputs &in) {
    const ToujiCheck range = CheckToujiRange(in);
    if (range != ToujiCheck::Ok) return range;
    return FirstCheckedHour(in) < 0 ? ToujiCheck::NothingChecked : ToujiCheck::Ok;
}

int FirstCheckedHour(const ToujiInputs &in) {
    for (int i = 0; i < kHourItemCount; ++i)
        if (in.Checked[static_cast<std::size_t>(i)]) return i;
    return -1;
}

ToujiHani FindToujiHani(const geometry::BuildingModel &model, const solar::SolarState &sun,
                        const ToujiInputs &in, ShadowCountGrid &grid, Progress &progress) {
    Extent pimuHani;
    GetPimuHani(model, sun, in.PlaneHeight, in.Start, in.End, pimuHani.XMin, pimuHani.YMin,
                pimuHani.XMax, pimuHani.YMax);
    return GetToujiHani(model.AryTatemono, sun, in.PlaneHeight, in.Start, in.End,
                        ReferenceHour(FirstCheckedHour(in)), pimuHani, grid, progress,
                        model.Volumes);
}

ToujiDiagram ComputeToujikan(const geometry::BuildingModel &model, const solar::SolarState &sun,
                             const ToujiInputs &in, ShadowCountGrid &grid, Progress &progress,
                             int threads) {
    ToujiDiagram d;
    d.Check = CheckToujiInputs(in);
    if (d.Check != ToujiCheck::Ok) {
        d.Status = ToujiStatus::Invalid;
        return d;
    }
    d.Hani = FindToujiHani(model, sun, in, grid, progress);
    if (d.Hani.Summary.Stopped) {
        d.Status = ToujiStatus::Stopped;
        return d;
    }
    if (!d.Hani.Found) {
        d.Status = ToujiStatus::NoExtent;
        return d;
    }

    d.Counted = CountFinePass(model.AryTatemono, sun, d.Hani.Rect, in.PlaneHeight,
                              in.Interval.RasterSize, in.Interval.StepMinutes(), in.Start, in.End,
                              grid, progress, d.Raster, threads, model.Volumes);
    if (d.Counted.Stopped) {
        d.Status = ToujiStatus::Stopped;
        return d;
    }
    CountFootprints(model.Volumes, in.PlaneHeight, d.Raster, d.Counted.Counted, grid);

    ContourSettings settings;
    settings.Checked = in.Checked;
    settings.StepMinutes = in.Interval.StepMinutes();
    settings.StartHour = in.Start;
    settings.EndHour = in.End;
    settings.Smoothing = in.Smoothing;
    settings.SmoothingFactor = in.SmoothingFactor;
    settings.TrueNorthDegrees = in.TrueNorthDegrees;
    ShadowBitmap bitmap(d.Raster.N);
    d.Contours = TraceToujiContours(grid, d.Raster, bitmap, settings, progress);
    if (d.Contours.Stopped) d.Status = ToujiStatus::Stopped;
    return d;
}

}  // namespace pimu::shadow
