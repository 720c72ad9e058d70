// Synthetic worlds: airports with runways, frequencies, taxi networks and parking, and centres, spread
// over land the same way on every platform for a given seed.
#include "authoring/world_description.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <unordered_set>

#include "authoring/world_text.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/rounding.h"
#include "base/text.h"
#include "scenery/bgl_reader.h"

namespace skyvox::authoring {

using namespace skyvox::scenery;

using namespace detail;

namespace {

// SplitMix64: small, fast and the same on every platform (the standard distributions are not).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Unit(); }
  int Between(int low, int high) {  // inclusive
    return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  bool Chance(double p) { return Unit() < p; }

 private:
  uint64_t state_;
};

struct Region {
  const char* prefix;  // first letters of the idents
  double south, north, west, east;
  int weight;
};

// Rough boxes over land, with the ICAO prefixes used there.
constexpr std::array<Region, 16> kRegions = {{
    {"K", 30, 48, -122, -75, 30},
    {"CY", 44, 58, -125, -65, 6},
    {"PA", 58, 68, -160, -142, 2},
    {"MM", 16, 30, -108, -90, 4},
    {"SB", -30, -5, -60, -38, 5},
    {"SA", -40, -25, -70, -58, 3},
    {"EG", 51, 57, -4, 1, 4},
    {"ED", 48, 54, 7, 14, 4},
    {"LF", 43, 50, -1, 7, 4},
    {"LE", 37, 43, -8, 0, 3},
    {"UU", 50, 60, 35, 60, 4},
    {"ZB", 25, 42, 105, 120, 6},
    {"RJ", 33, 43, 131, 141, 4},
    {"VI", 15, 28, 73, 88, 5},
    {"FA", -33, -24, 18, 31, 3},
    {"YB", -37, -20, 138, 152, 5},
}};

constexpr std::array<const char*, 20> kTownStarts = {"ASH", "BRAN", "CAR",  "DUN", "EL",  "FAIR", "GLEN",
                                                     "HAR", "KING", "LAN",  "MAR", "NOR", "OAK",  "PEM",
                                                     "RIV", "SAL",  "STAN", "TOR", "WEL", "WIN"};
constexpr std::array<const char*, 16> kTownEnds = {"BURY", "DALE",  "FORD",  "TON",  "VILLE", "WOOD",
                                                   "MONT", "FIELD", "HAVEN", "PORT", "RIDGE", "STEAD",
                                                   "WICK", "LEY",   "MOOR",  "BROOK"};
constexpr std::array<const char*, 6> kAirportKinds = {"INTL",   "REGIONAL", "MUNI",
                                                      "COUNTY", "FIELD",    "AIRPORT"};

constexpr double kMetresPerDegree = 1852.0 * 60;

LatLon Offset(LatLon origin, double eastMetres, double northMetres) {
  LatLon p;
  p.Latitude = origin.Latitude + northMetres / kMetresPerDegree;
  p.Longitude =
      origin.Longitude + eastMetres / (kMetresPerDegree * std::cos(origin.Latitude * std::numbers::pi / 180));
  if (p.Longitude > 180) p.Longitude -= 360;
  if (p.Longitude < -180) p.Longitude += 360;
  return p;
}

LatLon Along(LatLon origin, double headingDeg, double metres) {
  const double h = headingDeg * std::numbers::pi / 180;
  return Offset(origin, metres * std::sin(h), metres * std::cos(h));
}

std::string TownName(Random& random) {
  return std::string(kTownStarts[random.Next() % kTownStarts.size()]) +
         kTownEnds[random.Next() % kTownEnds.size()];
}

// A frequency in `steps` steps of 25 kHz from `baseKhz`.
std::string SyntheticMhz(Random& random, int baseKhz, int steps) {
  return MhzText(static_cast<uint64_t>(baseKhz + 25 * random.Between(0, steps - 1)) * 10);
}

std::string SyntheticIls(Random& random) {
  // 108.10 .. 111.95 with an odd tenth, as localizers are.
  const int khz =
      108000 + 1000 * random.Between(0, 3) + 100 * (2 * random.Between(0, 4) + 1) + 50 * random.Between(0, 1);
  return MhzText(static_cast<uint64_t>(khz) * 10);
}

struct RunwayPlan {
  double heading;  // true heading of the end the runway is named after
  double lengthFt;
  LatLon centre;
};

int32_t NumberForHeading(double heading) {
  int32_t n = static_cast<int32_t>(std::lround(heading / 10));
  if (n <= 0) n += 36;
  if (n > 36) n -= 36;
  return n;
}

bool IdentTaken(const DescribedAirport& airport, int32_t number, int32_t designator) {
  for (const DescribedRunwayEnd& end : airport.RunwayEnds) {
    if (end.Number == number && end.Designator == designator) return true;
  }
  return false;
}

void AddRunway(DescribedAirport& airport, const RunwayPlan& plan, int32_t designator, int widthFt,
               std::string ils, Random& random) {
  DescribedRunway runway;
  runway.Number = NumberForHeading(plan.heading);
  runway.Designator = designator;
  runway.Length = static_cast<int32_t>(plan.lengthFt);
  runway.Width = widthFt;
  runway.IlsMhz = std::move(ils);
  airport.Runways.push_back(runway);

  const double half = plan.lengthFt * 0.3048 / 2;
  const LatLon first = Along(plan.centre, plan.heading, -half);
  const LatLon second = Along(plan.centre, plan.heading, half);
  DescribedRunwayEnd a;
  a.Number = runway.Number;
  a.Designator = designator;
  a.Latitude = Round(first.Latitude, 5);
  a.Longitude = Round(first.Longitude, 5);
  a.ElevationFt = airport.ElevationFt - random.Between(0, 12);
  a.TrueHeading = Round(plan.heading, 2);
  DescribedRunwayEnd b = a;
  b.Number = ReciprocalNumber(runway.Number);
  b.Designator = ReciprocalDesignator(designator);
  b.Latitude = Round(second.Latitude, 5);
  b.Longitude = Round(second.Longitude, 5);
  b.ElevationFt = airport.ElevationFt - random.Between(0, 12);
  b.TrueHeading = Round(std::fmod(plan.heading + 180, 360), 2);
  airport.RunwayEnds.push_back(a);
  airport.RunwayEnds.push_back(b);
}

// A parallel taxiway A beside the first runway with connectors A1..A4 and hold-short points, a
// taxiway B to an apron, and a few gates or parking spots round the apron.
void AddTaxiNetwork(DescribedAirport& airport, const RunwayPlan& plan, bool gates, Random& random) {
  const double lengthM = plan.lengthFt * 0.3048;
  const LatLon threshold = Along(plan.centre, plan.heading, -lengthM / 2);
  const double right = plan.heading + 90;
  auto add = [&](int32_t type, LatLon p) {
    airport.TaxiPoints.push_back({type, Round(p.Latitude, 6), Round(p.Longitude, 6)});
    return static_cast<int32_t>(airport.TaxiPoints.size() - 1);
  };
  std::array<int32_t, 4> onRunway{};
  std::array<int32_t, 4> onTaxiway{};
  std::array<int32_t, 4> holds{};
  for (int i = 0; i < 4; ++i) {
    const LatLon r = Along(threshold, plan.heading, lengthM * i / 3);
    onRunway[i] = add(1, r);
    onTaxiway[i] = add(1, Along(r, right, 150));
    holds[i] = add(2, Along(r, right, 75));
  }
  const LatLon taxiway1 = Along(Along(threshold, plan.heading, lengthM / 3), right, 150);
  const LatLon apronCentre = Along(taxiway1, right, 120);
  const int32_t apron = add(1, apronCentre);

  auto path = [&](int32_t type, int32_t from, int32_t to, std::string name) {
    DescribedTaxiPath p;
    p.PathType = type;
    p.StartPoint = from;
    p.EndPoint = to;
    if (type == kTaxiwayPath) p.TaxiwayName = std::move(name);
    airport.TaxiPaths.push_back(std::move(p));
  };
  for (int i = 0; i < 3; ++i) {
    path(kRunwayPath, onRunway[i], onRunway[i + 1], "");
    path(kTaxiwayPath, onTaxiway[i], onTaxiway[i + 1], "A");
  }
  for (int i = 0; i < 4; ++i) {
    const std::string name = "A" + std::to_string(i + 1);
    path(kTaxiwayPath, onTaxiway[i], holds[i], name);
    path(kTaxiwayPath, holds[i], onRunway[i], name);
  }
  path(kTaxiwayPath, onTaxiway[1], apron, "B");

  const int spots = random.Between(2, 6);
  const int32_t word = gates ? 12 + random.Between(0, 5) : random.Between(1, 9);
  for (int j = 0; j < spots; ++j) {
    const LatLon p = Along(Along(apronCentre, right, 50), plan.heading, 40.0 * (j - (spots - 1) / 2.0));
    DescribedParking spot;
    spot.NameCode = word;
    spot.Number = j + 1;
    spot.Latitude = Round(p.Latitude, 6);
    spot.Longitude = Round(p.Longitude, 6);
    spot.RadiusFt = gates ? 80 : 40 + 5 * random.Between(0, 6);
    airport.ParkingSpots.push_back(spot);
    path(kParkingPath, apron, static_cast<int32_t>(airport.ParkingSpots.size() - 1), "");
  }
}

std::string SyntheticIdent(Random& random, const Region& region, std::unordered_set<std::string>& used) {
  constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  constexpr std::string_view kLettersDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string ident;
  for (int attempt = 0; attempt < 60; ++attempt) {
    // Letters first; once a prefix runs short of free idents, digits as real small fields have.
    const std::string_view alphabet = attempt < 20 ? kLetters : kLettersDigits;
    ident = region.prefix;
    while (ident.size() < 4) ident += alphabet[random.Next() % alphabet.size()];
    if (used.insert(ident).second) return ident;
  }
  return ident;  // a repeated ident is legal scenery; the database stores both airports
}

DescribedAirport SyntheticAirport(Random& random, std::unordered_set<std::string>& used) {
  int totalWeight = 0;
  for (const Region& r : kRegions) totalWeight += r.weight;
  int pick = random.Between(0, totalWeight - 1);
  const Region* region = &kRegions[0];
  for (const Region& r : kRegions) {
    if (pick < r.weight) {
      region = &r;
      break;
    }
    pick -= r.weight;
  }

  DescribedAirport airport;
  airport.Ident = SyntheticIdent(random, *region, used);
  const std::string town = TownName(random);
  airport.Name = town + " " + kAirportKinds[random.Next() % kAirportKinds.size()];
  airport.Latitude = Round(random.Uniform(region->south, region->north), 6);
  airport.Longitude = Round(random.Uniform(region->west, region->east), 6);
  const double u = random.Unit();
  airport.ElevationFt = static_cast<int32_t>(u * u * 6000);

  // About one in 25 has no controller at all, and some have only a tower or only a ground.
  const double staffing = random.Unit();
  const bool hasTower = staffing >= 0.04 && staffing < 0.94;
  const bool hasGround = staffing >= 0.07;
  if (random.Chance(0.6) && hasTower) {
    airport.Frequencies.push_back(
        {kFrequencyClearance, SyntheticMhz(random, 118000, 720), town + " CLEARANCE"});
  }
  if (hasGround) {
    airport.Frequencies.push_back({kFrequencyGround, SyntheticMhz(random, 121600, 16), town + " GROUND"});
  }
  if (hasTower) {
    airport.Frequencies.push_back({kFrequencyTower, SyntheticMhz(random, 118000, 720), town + " TOWER"});
  }
  if (random.Chance(0.7)) {
    airport.Frequencies.push_back(
        {kFrequencyApproach, SyntheticMhz(random, 119000, 640), town + " APPROACH"});
  }

  const LatLon reference{airport.Latitude, airport.Longitude};
  RunwayPlan main;
  main.heading = random.Uniform(0.5, 359.5);
  main.lengthFt = 10.0 * random.Between(500, 1200);
  main.centre = Offset(reference, random.Uniform(-300, 300), random.Uniform(-300, 300));
  const int mainWidth = 25 * random.Between(4, 8);
  const int runwayCount = random.Chance(0.5) ? 1 : (random.Chance(0.7) ? 2 : 3);
  const bool parallel = runwayCount >= 2 && random.Chance(0.5);
  const bool mainIls = random.Chance(0.7);
  AddRunway(airport, main, parallel ? 1 : 0, mainWidth, mainIls ? SyntheticIls(random) : "", random);
  if (parallel) {
    RunwayPlan second = main;
    second.lengthFt = 10.0 * random.Between(400, 1100);
    second.centre = Along(main.centre, main.heading + 90, random.Uniform(250, 500));
    AddRunway(airport, second, 2, 25 * random.Between(4, 6), random.Chance(0.3) ? SyntheticIls(random) : "",
              random);
  }
  for (int extra = parallel ? 2 : 1; extra < runwayCount; ++extra) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      RunwayPlan crossing;
      crossing.heading = std::fmod(main.heading + (extra == 1 ? 1 : -1) * random.Uniform(40, 140) + 360, 360);
      const int32_t number = NumberForHeading(crossing.heading);
      if (IdentTaken(airport, number, 0) || IdentTaken(airport, ReciprocalNumber(number), 0)) continue;
      crossing.lengthFt = 10.0 * random.Between(300, 800);
      crossing.centre = Along(main.centre, crossing.heading, random.Uniform(-400, 400));
      AddRunway(airport, crossing, 0, 25 * random.Between(3, 6), "", random);
      break;
    }
  }
  if (random.Chance(0.2)) AddTaxiNetwork(airport, main, mainIls, random);
  return airport;
}

DescribedAirspace SyntheticAirspace(Random& random, const DescribedAirport& near, bool high) {
  DescribedAirspace airspace;
  airspace.CenterName = TownName(random) + " CENTER";
  airspace.Mhz = SyntheticMhz(random, 118000, 720);
  airspace.LowerLimit = high ? -1 : 0;
  airspace.UpperLimit = high ? -1 : 5486;
  const double halfHeight = random.Uniform(2, 6);
  const double halfWidth = random.Uniform(3, 9);
  airspace.NorthLat = Round(std::min(near.Latitude + halfHeight, 89.9), 4);
  airspace.SouthLat = Round(std::max(near.Latitude - halfHeight, -89.9), 4);
  auto wrap = [](double lon) {
    if (lon >= 180) lon -= 360;
    if (lon < -180) lon += 360;
    return Round(lon, 4);
  };
  airspace.WestLon = wrap(near.Longitude - halfWidth);
  airspace.EastLon = wrap(near.Longitude + halfWidth);
  return airspace;
}

}  // namespace

WorldDescription SyntheticWorld(int airports, int perFile, uint32_t seed) {
  if (airports < 0 || airports > kMaxSyntheticAirports) {
    throw std::invalid_argument("the number of airports must be 0.." + std::to_string(kMaxSyntheticAirports));
  }
  if (perFile < 1) throw std::invalid_argument("airports per file must be at least 1");
  Random random(0x5C3E7A11D0000000ULL ^ seed);
  std::unordered_set<std::string> used;
  WorldDescription world;
  DescribedArea& area = world.Areas.emplace_back();
  area.Local = "Scenery\\Synthetic";
  area.Title = "Synthetic World";
  std::vector<DescribedAirport> all;
  all.reserve(static_cast<size_t>(airports));
  for (int i = 0; i < airports; ++i) all.push_back(SyntheticAirport(random, used));

  const int fileCount = (airports + perFile - 1) / perFile;
  for (int f = 0; f < fileCount; ++f) {
    DescribedFile& file = area.Files.emplace_back();
    std::string number = std::to_string(f + 1);
    if (number.size() < 5) number.insert(0, 5 - number.size(), '0');
    file.Name = "synth" + number + ".bgl";
    const int first = f * perFile;
    const int last = std::min(airports, first + perFile);
    for (int i = first; i < last; ++i) file.Airports.push_back(std::move(all[static_cast<size_t>(i)]));
  }
  const int airspaceCount = airports == 0 ? 0 : 1 + airports / 25;
  for (int k = 0; k < airspaceCount; ++k) {
    const int fileIndex = k % fileCount;
    DescribedFile& file = area.Files[static_cast<size_t>(fileIndex)];
    const DescribedAirport& near = file.Airports[random.Next() % file.Airports.size()];
    file.Airspaces.push_back(SyntheticAirspace(random, near, k % 2 == 1));
  }
  return world;
}

}  // namespace skyvox::authoring
