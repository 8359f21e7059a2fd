// The fixed tolerances of Pimu's geometry. They are behaviour, not tuning: the outline traces and
// the shadow drawings depend on exactly these values and on the strict comparisons made with them.
#pragma once

namespace pimu::geometry {

// Coincident points (per coordinate), equal lengths and angles, vertical/horizontal directions.
inline constexpr double kPointTol = 1e-5;
// Perpendicular distance within which points count as lying on a line.
inline constexpr double kCollinearTol = 0.01;
// Intersection determinant and parameters: below this the lines are parallel, and a segment's
// start point is excluded from a bounded intersection.
inline constexpr double kParamTol = 1e-12;
// The DXF arbitrary-axis rule: a normal this close to the world z axis takes world y as helper.
inline constexpr double kArbitraryAxisLimit = 1.0 / 64.0;

// Angles used by the exact-angle shortcuts, as the double values they are compared with.
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kThreeHalfPi = 4.71238898038469;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;

}  // namespace pimu::geometry
