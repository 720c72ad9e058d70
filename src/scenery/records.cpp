#include "scenery/records.h"

namespace skyvox::scenery {

AirportRecord EmptyAirportWithSpareElements() {
  AirportRecord airport;
  airport.TaxiPoints.resize(1);
  airport.ParkingSpots.resize(1);
  airport.TaxiPaths.resize(1);
  airport.RuntimeList1.resize(1);
  airport.RuntimeList2.resize(1);
  return airport;
}

void WorldTables::ResetLoadedTables() {
  ControlledAirportCount = 0;
  ControlledAirports.assign(1, EmptyAirportWithSpareElements());
  Airspaces.assign(1, AirspaceRecord{});
  TerrainPointCount = 0;
  TerrainPoints.assign(1, TerrainPoint{});
}

}  // namespace skyvox::scenery
