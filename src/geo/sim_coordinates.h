// The simulator's coordinate scales, shared by its scenery files and its multiplayer messages: a
// latitude is stored in metres north of the equator, 10001750 m to 90 degrees; a longitude in units of
// 2^32 per turn. Every conversion writes its expression with these two constants, so that each keeps
// its own order of operations (and so its exact rounding).
#pragma once

namespace skyvox::geo {

inline constexpr double kLatitudeMetresPer90Degrees = 10001750.0;
inline constexpr double kLongitudeUnitsPerTurn = 4294967296.0;  // 2^32

}  // namespace skyvox::geo
