// The world database's records and the program-wide tables loaded from it. Field names, order and
// widths are those of the database files: Integer = int16_t, Long = int32_t, Byte = uint8_t, text as
// single-byte strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/corrected_mode.h"
#include "geo/mag_var_grid.h"

namespace skyvox::scenery {

struct RunwayRecord {
  std::string Ident;  // number and designator, e.g. "16L"
  double ThresholdLat = 0;
  double ThresholdLon = 0;
  int32_t ThresholdElevationFt = 0;
  int32_t Length = 0;  // as the scenery stores it
  int32_t Width = 0;
  int16_t MagHeading = 0;
  std::string IlsFrequency;  // MHz as text, "" for none
  bool operator==(const RunwayRecord&) const = default;
};

struct TaxiPoint {
  int32_t PointType = 0;
  double Latitude = 0;
  double Longitude = 0;
  bool operator==(const TaxiPoint&) const = default;
};

struct ParkingRecord {
  std::string Name;  // e.g. "GATE A 12"
  int32_t RadiusFt = 0;
  double Latitude = 0;
  double Longitude = 0;
  uint8_t Occupied = 0;  // set while running: 1 occupied, 0 free
  bool operator==(const ParkingRecord&) const = default;
};

struct TaxiPath {
  int32_t PathType = 0;  // 0 taxiway, 1 runway, 2 path to a parking spot
  int32_t StartPoint = 0;
  int32_t EndPoint = 0;  // for a parking path: index into ParkingSpots
  std::string Name;
  bool operator==(const TaxiPath&) const = default;
};

struct RuntimeEntry {
  int32_t PlayerIndex = 0;
  std::string Text;
  bool operator==(const RuntimeEntry&) const = default;
};

struct AirportRecord {
  std::string Ident;
  std::string Name;
  int32_t NextRecordPos = 0;  // 1-based file position of the next record; meaningful in the file only
  double Latitude = 0;
  double Longitude = 0;
  int32_t ElevationFt = 0;
  std::string ClearanceFreq;
  std::string ClearanceName;
  std::string GroundFreq;
  std::string GroundName;
  std::string TowerFreq;
  std::string TowerName;
  std::string ApproachFreq;
  std::string ApproachName;
  RunwayRecord MainRunway;
  std::vector<TaxiPoint> TaxiPoints;
  int16_t TaxiPointCount = 0;
  std::vector<ParkingRecord> ParkingSpots;
  int16_t ParkingCount = 0;
  std::vector<TaxiPath> TaxiPaths;
  int16_t TaxiPathCount = 0;
  std::vector<RuntimeEntry> RuntimeList1;  // tower queues, kept while running; empty in the file
  std::vector<RuntimeEntry> RuntimeList2;
  bool operator==(const AirportRecord&) const = default;
};

struct AirspaceRecord {
  std::string CenterName;
  std::string AirspaceClass;  // "ARTCC/FIR (HIGH)" or "ARTCC/FIR (LOW)"
  std::string CenterFreq;
  double NorthLat = 0;
  double SouthLat = 0;
  double EastLon = 0;
  double WestLon = 0;  // greater than EastLon when the box crosses the 180th meridian
  int32_t LowerLimit = 0;
  int32_t UpperLimit = 0;
  bool operator==(const AirspaceRecord&) const = default;
};

// One 20-byte record of the terrain file.
struct TerrainPoint {
  double Latitude = 0;
  double Longitude = 0;
  int32_t Elevation = 0;
  bool operator==(const TerrainPoint&) const = default;
};

// The configuration file's content.
struct ConfigRecord {
  std::string SimFolder;
  int32_t AirportCount = 0;
  int32_t AirspaceCount = 0;
  bool operator==(const ConfigRecord&) const = default;
};

// The empty airport of the reset tables: every array holds one empty element, so that element 0 can
// always be indexed.
AirportRecord EmptyAirportWithSpareElements();

class TerrainIndex;  // scenery/terrain_index.h

// Where the tables keep the radar's index over their terrain points between ATC ticks. The index checks
// itself against the table before use; a copy of the tables starts without one rather than share it.
class TerrainIndexSlot {
 public:
  TerrainIndexSlot() = default;
  TerrainIndexSlot(const TerrainIndexSlot&) {}
  TerrainIndexSlot& operator=(const TerrainIndexSlot&) {
    index_.reset();
    return *this;
  }
  // The index, empty until first refreshed.
  TerrainIndex& Get();

 private:
  std::shared_ptr<TerrainIndex> index_;
};

// The program-wide tables of the world database. Each growable table keeps one spare element after
// its last item (n items occupy 0..n-1, the vector holds n+1), as the engine indexes it that way.
struct WorldTables {
  std::string AppFolder;  // the program's folder, without a trailing separator
  std::string SimFolder;
  bool FirstRun = false;
  int32_t AirportCount = 0;   // records in world_airports.dat
  int32_t AirspaceCount = 0;  // records in world_airspaces.dat
  std::vector<AirportRecord> ControlledAirports{EmptyAirportWithSpareElements()};
  int32_t ControlledAirportCount = 0;
  std::vector<AirspaceRecord> Airspaces{AirspaceRecord{}};
  std::vector<TerrainPoint> TerrainPoints{TerrainPoint{}};
  int32_t TerrainPointCount = 0;
  geo::MagVarGrid MagVarGrid;
  // The corrected mode (off: the design to the letter), read from its own settings file or set by a
  // command-line flag; every engine procedure that has a correction finds it here.
  CorrectedMode Corrected;
  TerrainIndexSlot TerrainPointIndex;

  // Empties the controlled airports, airspaces and terrain points back to their single spare element.
  void ResetLoadedTables();
};

}  // namespace skyvox::scenery
