// The tick's index of airports and centres against the scan of the whole tables, on random worlds
// crowded enough for ties and overlapping centres, with odd tables and odd positions among them.
#include "atc/place_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>

#include "atc/atc_cycle.h"
#include "base/errors.h"

namespace skyvox::atc {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The scan's values, or nullopt when it fails (a position that is not a number).
template <class Place>
std::optional<CycleValues> Try(const Place& place) {
  try {
    return place();
  } catch (const Error&) {
    return std::nullopt;
  }
}

TEST(PlaceIndex, GivesTheWholeScansValues) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> wide(-89.5, 89.5), lon(-180, 180), near(-0.4, 0.4), unit(0, 1);
  std::uniform_real_distribution<double> dense(47, 49);  // a crowded region: equal distances abound
  const double odd[] = {kNaN, kInf, -kInf, 90, -90, 95, 180, -180, 1e300};
  int nearest = 0, approach = 0, centre = 0, failed = 0;
  for (int worldNo = 0; worldNo < 20; ++worldNo) {
    scenery::WorldTables world;
    world.ControlledAirports.clear();
    const int airports = 40 + worldNo * 10;
    auto lat = [&] { return worldNo % 2 ? dense(random) : wide(random); };
    auto along = [&] { return worldNo % 2 ? dense(random) - 170 : lon(random); };
    for (int a = 0; a < airports; ++a) {
      scenery::AirportRecord r;
      // Pairs at the same place make ties; in some worlds airports sit where the odd values are (one
      // whose latitude is not a number fails every pilot's scan).
      const bool twin = a % 7 == 1, strange = worldNo % 4 == 0;
      r.Latitude = twin                     ? world.ControlledAirports.back().Latitude
                   : strange && a % 13 == 5 ? odd[a % 9]
                                            : lat();
      r.Longitude = twin                     ? world.ControlledAirports.back().Longitude
                    : strange && a % 17 == 5 ? odd[a % 9]
                                             : along();
      r.ElevationFt = a % 5 == 0 ? std::numeric_limits<int32_t>::max() : 100 * (a % 4);
      r.ApproachFreq = a % 3 ? "119.2" : "";
      world.ControlledAirports.push_back(r);
    }
    // A count short of the table, or the table's spare element and beyond.
    world.ControlledAirportCount = worldNo % 4 == 3 ? airports + 5 : airports - worldNo % 3;
    world.Airspaces.clear();
    for (int i = 0; i < 30; ++i) {
      const double s = wide(random), w = lon(random);
      scenery::AirspaceRecord c{"C",     i % 6 ? kHighCenterClass : "ARTCC/FIR (LOW)",
                                "125.1", s + 10 * unit(random),
                                s,       w + 20 * unit(random),
                                w,       -1,
                                -1};
      if (i % 8 == 1) c.EastLon = c.WestLon - 30;  // across the 180th meridian
      if (i % 9 == 2) c.SouthLat = odd[i % 9];
      if (i % 10 == 3) std::swap(c.SouthLat, c.NorthLat);
      if (i % 11 == 4) c.NorthLat = kInf, c.SouthLat = -kInf;
      world.Airspaces.push_back(c);
    }
    world.AirspaceCount = worldNo % 5 == 4 ? 40 : 30 - worldNo % 2;
    const PlaceIndex index(world);

    for (int k = 0; k < 300; ++k) {
      session::PlayerRecord p;
      const auto& at = world.ControlledAirports[static_cast<size_t>(k) % world.ControlledAirports.size()];
      p.Latitude = k % 23 == 0 ? odd[k % 9] : (std::isfinite(at.Latitude) ? at.Latitude : 0) + near(random);
      p.Longitude =
          k % 29 == 0 ? odd[k % 9] : (std::isfinite(at.Longitude) ? at.Longitude : 0) + near(random);
      if (k % 31 == 0) p.Latitude = std::floor(p.Latitude);  // on a band's edge
      p.Altitude = k % 3 == 0 ? 0 : 3000;
      const auto scanned = Try([&] { return ComputeCycleValues(p, world); });
      const auto indexed = Try([&] { return index.Place(p, world); });
      ASSERT_EQ(scanned.has_value(), indexed.has_value()) << p.Latitude << ' ' << p.Longitude;
      if (!scanned) {
        ++failed;
        continue;
      }
      EXPECT_EQ(*scanned, *indexed) << "world " << worldNo << ", " << p.Latitude << ' ' << p.Longitude;
      nearest += scanned->NearestAirportFound;
      approach += scanned->ApproachAirportFound;
      centre += scanned->CurrentCenterIndex >= 0;
    }
  }
  // The worlds put pilots in each kind of place, and some positions fail.
  for (const int found : {nearest, approach, centre, failed}) EXPECT_GT(found, 100);
}

}  // namespace
}  // namespace skyvox::atc
