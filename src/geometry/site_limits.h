// What a drawing of a site can hold, in drawing units (mm). Numbers beyond these are no site's:
// they come from broken exports or hostile files, and computing with them would overflow or size
// the work (chords, raster cells, sky-map steps) past any memory and time.
#pragma once

namespace pimu::geometry {

// Any coordinate, elevation, thickness, radius or axis of an entity read: 10,000 km.
inline constexpr double kMaxDrawingNumber = 1e10;
// A polyline segment's bulge: 1e4 is an arc of 359.98 degrees, as near a full circle as a CAD
// program draws one.
inline constexpr double kMaxBulge = 1e4;
// The buildings of one computation lie within a square of this side: 10 km.
inline constexpr double kMaxSiteSpan = 1e7;
// No building reaches higher or deeper than 2 km.
inline constexpr double kMaxBuildingHeight = 2e6;

}  // namespace pimu::geometry
