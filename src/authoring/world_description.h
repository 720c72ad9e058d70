// A world description: the plain-text source from which `skyvox-db make-scenery` writes a simulator
// folder (scenery.cfg, BGL files with airports and airspaces). The data model below mirrors what the
// BGL files carry, in the units a person writes; the parser reads the format documented here.
//
// World description format
// ------------------------
// A UTF-8 (or plain ASCII) text file read line by line. A word that starts with '#' begins a comment,
// which runs to the end of the line; blank lines and comment lines are ignored. Every other line is a
// keyword followed by values separated by blanks or tabs. Keywords and fixed words (TOWER, ILS, TAXIWAY,
// GATE, ...) may be written in any letter case. A value shown as `text...` takes the rest of the line, inner
// blanks included. Latitudes are decimal degrees north (-90..90), longitudes decimal degrees east
// (-180..180); elevations, lengths, widths and radii are feet; headings are true degrees (0..360).
// Frequencies are MHz with at most 4 decimals (121.9, 118.025), below 1000. Text is stored in the scenery as
// Windows-1252; characters that code page lacks become '?'.
//
// Nesting: an AREA holds FILEs, a FILE holds AIRPORTs and AIRSPACEs, and the airport lines (POSITION,
// FREQ, RUNWAY, END, POINT, PARKING, PATH) belong to the AIRPORT above them, up to the next AIRPORT,
// AIRSPACE, FILE or AREA line.
//
//   AREA folder title...
//       A scenery area: one [Area.NNN] section of scenery.cfg, numbered 001, 002, ... in file order.
//       `folder` is its Local path relative to the simulator folder, with \ or / between parts
//       (Scenery\World); the BGL files go to folder\scenery, or to the folder itself when its last part
//       is "scenery". Two areas may not share a folder. The title may not contain '='.
//   FILE name.bgl
//       A BGL file of the current area: letters, digits, '_', '-' and '.', ending in ".bgl", unique in
//       its area (letter case ignored), not "magdec.bgl".
//   AIRPORT ident lat lon elevation-ft [name...]
//       ident: 1 to 8 characters without blanks. lat/lon: the reference point, also the origin of the
//       airport's taxi network. Without a name the airport gets no name record.
//   POSITION lat lon
//       A separate airport position, which the database stores instead of the reference point.
//   FREQ kind mhz [station name...]
//       kind: CLEARANCE, GROUND, TOWER, APPROACH, DEPARTURE, or a raw kind number (0 and up).
//   RUNWAY ident length-ft width-ft [ILS mhz]
//       ident: runway number 1..36 (a leading zero is allowed) and an optional designator L, R, C or H,
//       named after one of its ends (16L). Runways are numbered from 0 in the order written.
//   END ident lat lon elevation-ft true-heading
//       A runway end (threshold) of a runway written above: the runway's own ident or its reciprocal
//       (16L -> 34R, 9 -> 27; C and H keep their letter).
//   POINT n type lat lon
//       Taxi point n; points are numbered 0, 1, 2, ... in the order written. `type` is the scenery's
//       point type, stored unchanged (the sample world uses 1 for normal points, 2 for hold-short points).
//   PARKING n word... number lat lon radius-ft
//       Parking spot n; spots are numbered 0, 1, 2, ... in the order written. The name words are one of
//       PARKING, N PARKING, NE PARKING, E PARKING, SE PARKING, S PARKING, SW PARKING, W PARKING,
//       NW PARKING, GATE, DOCK, GATE A ... GATE Z; number 0..8191 (the database names the spot
//       "GATE A 12"); radius above 0 and at most 10000 ft.
//   PATH TAXIWAY from to name
//   PATH RUNWAY from to runway-ident
//   PATH PARKING from spot
//       Taxi paths between taxi points written above. A taxiway name has 1 to 8 characters and is not a
//       plain number; a runway path lies on the first RUNWAY of this airport with that ident; a parking
//       path leads from a taxi point to parking spot `spot`.
//   AIRSPACE north south east west lower upper mhz center name...
//       An en-route airspace of the current file: its bounding box (west greater than east crosses the
//       180th meridian), its raw lower and upper limits (the database calls the airspace HIGH when both
//       are negative, LOW otherwise), and its controlling centre's frequency and name.
//
// Errors are skyvox::FormatError with the text "line N: what is wrong".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skyvox::authoring {

// Frequency kinds of the scenery's frequency records.
inline constexpr int32_t kFrequencyGround = 5;
inline constexpr int32_t kFrequencyTower = 6;
inline constexpr int32_t kFrequencyClearance = 7;
inline constexpr int32_t kFrequencyApproach = 8;
inline constexpr int32_t kFrequencyDeparture = 9;

// Taxi path types.
inline constexpr int32_t kTaxiwayPath = 0;
inline constexpr int32_t kRunwayPath = 1;
inline constexpr int32_t kParkingPath = 2;

struct LatLon {
  double Latitude = 0;
  double Longitude = 0;
  bool operator==(const LatLon&) const = default;
};

struct DescribedFrequency {
  int32_t Kind = 0;
  std::string Mhz;   // shortest decimal text, as the database shows it: "121.9", "118"
  std::string Name;  // station name; "" writes a record without a name
  bool operator==(const DescribedFrequency&) const = default;
};

struct DescribedRunway {
  int32_t Number = 0;      // 1..36
  int32_t Designator = 0;  // 0 none, 1 L, 2 R, 3 C, 4 H
  int32_t Length = 0;      // feet
  int32_t Width = 0;       // feet
  std::string IlsMhz;      // "" when the runway has no ILS
  bool operator==(const DescribedRunway&) const = default;
};

struct DescribedRunwayEnd {
  int32_t Number = 0;
  int32_t Designator = 0;
  double Latitude = 0;
  double Longitude = 0;
  int32_t ElevationFt = 0;
  double TrueHeading = 0;  // degrees, 0..360
  bool operator==(const DescribedRunwayEnd&) const = default;
};

struct DescribedTaxiPoint {
  int32_t PointType = 0;
  double Latitude = 0;
  double Longitude = 0;
  bool operator==(const DescribedTaxiPoint&) const = default;
};

struct DescribedParking {
  int32_t NameCode = 0;  // 1..37, see ParkingWord
  int32_t Number = 0;    // 0..8191
  double Latitude = 0;
  double Longitude = 0;
  double RadiusFt = 0;
  bool operator==(const DescribedParking&) const = default;
};

struct DescribedTaxiPath {
  int32_t PathType = kTaxiwayPath;
  int32_t StartPoint = 0;   // taxi point index
  int32_t EndPoint = 0;     // taxi point index; parking spot index for a parking path
  std::string TaxiwayName;  // taxiway paths only: 1..8 characters, not a plain number
  int32_t RunwayIndex = 0;  // runway paths only: index into the airport's Runways
  bool operator==(const DescribedTaxiPath&) const = default;
};

struct DescribedAirport {
  std::string Ident;
  std::string Name;     // "" for no name record
  double Latitude = 0;  // reference point
  double Longitude = 0;
  std::optional<LatLon> Position;  // separate position record
  int32_t ElevationFt = 0;
  std::vector<DescribedFrequency> Frequencies;
  std::vector<DescribedRunway> Runways;  // in record order
  std::vector<DescribedRunwayEnd> RunwayEnds;
  std::vector<DescribedTaxiPoint> TaxiPoints;
  std::vector<DescribedParking> ParkingSpots;
  std::vector<DescribedTaxiPath> TaxiPaths;
  bool operator==(const DescribedAirport&) const = default;
};

struct DescribedAirspace {
  std::string CenterName;
  std::string Mhz;
  int32_t LowerLimit = 0;  // raw values, stored unchanged
  int32_t UpperLimit = 0;
  double NorthLat = 0;
  double SouthLat = 0;
  double EastLon = 0;
  double WestLon = 0;
  bool operator==(const DescribedAirspace&) const = default;
};

struct DescribedFile {
  std::string Name;  // e.g. "ap_washington.bgl"
  std::vector<DescribedAirport> Airports;
  std::vector<DescribedAirspace> Airspaces;
  bool operator==(const DescribedFile&) const = default;
};

struct DescribedArea {
  std::string Local;  // relative folder as scenery.cfg gives it, e.g. "Scenery\World"
  std::string Title;
  std::vector<DescribedFile> Files;
  bool operator==(const DescribedArea&) const = default;
};

struct WorldDescription {
  std::vector<DescribedArea> Areas;
  bool operator==(const WorldDescription&) const = default;
};

// Reads the text format above. Throws FormatError("line N: ...").
WorldDescription ParseWorldDescription(std::string_view text);
// ParseWorldDescription of a file's content; FileError when it cannot be read.
WorldDescription ReadWorldDescription(const std::filesystem::path& file);
// The world as description text (UTF-8, LF line ends) that parses back to an equal world, for any world
// the parser or SyntheticWorld produced. Throws FormatError for a text the format cannot carry (a
// control character, blanks at the ends of a name or inside an ident, a word starting with '#').
std::string FormatWorldDescription(const WorldDescription& world);

// A generated world: `airports` airports spread over the continents, `perFile` of them per BGL file, in
// one area "Scenery\Synthetic". Realistic-looking idents, names, frequencies and runways; about one
// airport in five has a taxi network, about one in 25 has no tower or ground frequency (the database
// build drops those), and there is one en-route airspace per 25 airports (at least one when there are
// airports), alternately LOW and HIGH. The same arguments give the same world. Coordinates carry the
// decimals the database keeps (6, runway ends 5). Throws std::invalid_argument for airports < 0 or
// perFile < 1.
WorldDescription SyntheticWorld(int airports, int perFile, uint32_t seed);

// The BGL frequency code of a MHz text: the value times 10000 written in decimal digits and stored as
// hexadecimal digits (121.9 -> 0x01219000). Accepts digits with an optional '.' and 1 to 4 decimals,
// below 1000; throws FormatError otherwise.
uint32_t FrequencyCode(std::string_view mhz);

// "16L" for 16 and 1: the number without a leading zero, then "", "L", "R", "C" or "H".
std::string RunwayIdent(int32_t number, int32_t designator);
// The folder, as parts relative to the simulator folder, that holds an area's BGL files: the parts of
// `local` (split at \ and /) followed by "scenery", unless the last part already is "scenery" in any
// letter case, as the scenery library reader resolves it ("Scenery\World" -> Scenery, World, scenery).
std::vector<std::string> AreaSceneryFolder(std::string_view local);

}  // namespace skyvox::authoring
