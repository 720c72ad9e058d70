// Writes scenery the simulator's way: BGL files with an airport section and an airspace section, and a
// whole simulator folder (fs2002.exe placeholder, scenery.cfg, magdec.bgl, the areas' BGL files) from a
// world description. Used by `skyvox-db make-scenery`, tests, samples and benchmarks.
//
// BGL layout written (little-endian 32-bit values; a record is type, size, content, and the next record
// starts size + 8 bytes after it):
//   header     168 bytes of zeros but 118 = 0x87654321, 144 = 1, 156 = airport section offset,
//              164 = airspace section offset (0 when the file has none)
//   airports   at 168: one airport list 0x30001 (+20 count, +24 entries 0x30002: +8 kind 0x50001,
//              +12 data offset, +16 ident), then a terminator (type 0, size 0); then each airport's data:
//              the words 1, 0, 1, 0 and its records, ended by a terminator
//   airspaces  one boundary group (type 1, +8 = 4, records from +16) of airspace records (type 1,
//              +8 = 5, sub-records from +16 ended by a terminator), the group's terminator, then the
//              section's terminator
// An airport's records come in this order: header 0x10001, position 0x10003 (if any), name 0x10006 (if
// any), frequencies 0x20001, runways 0x10002 each followed by its ILS 0x10004 (if any), runway ends
// 0x10005, taxi data 0x11001 (if the airport has any taxi point, spot or path). Runway ends follow all
// runways so that the longest runway is known when its threshold is read; the taxi data always ends
// with the taxiway-name list, which finishes the record for a reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "authoring/world_description.h"

namespace skyvox::authoring {

// Raw scenery units, rounded to the nearest raw value.
// Latitude: degrees * 10001750 / 90.
int32_t LatitudeRaw(double latitude);
// Longitude: degrees * 2^32 / 360, wrapped into the signed 32-bit range (180 is stored as -180).
int32_t LongitudeRaw(double longitude);
// True heading: degrees * 2^32 / 360 modulo 2^32 (360 is stored as 0; above 180 reads as negative).
uint32_t HeadingRaw(double trueHeading);
// Whole metres of a height in feet, half to even.
int32_t MetresFromFeet(int32_t feet);
// The packed name value of a parking spot: 128 * number + name code.
uint32_t ParkingNameValue(int32_t nameCode, int32_t number);

// The east (x) and north (z) offsets in metres, as single-precision numbers, that a reader turns back
// into `point` from the airport whose header holds `reference`: the reader takes the header's position
// rounded to 6 decimals, and for a non-zero offset moves from it by |offset| / 1852 nm on a great
// circle (course 90 or 270 for x, 0 or 180 for z) and rounds to 6 decimals. The offsets are found by
// solving that rule; a zero offset is written when the point's rounded coordinate equals the
// reference's. Throws FormatError for a point more than 100 km from the reference.
std::pair<float, float> TaxiOffsets(LatLon reference, LatLon point);

// One BGL file holding these airports and airspaces. Throws FormatError for values the layout cannot
// hold (a bad frequency text, a path to a missing point, spot or runway, a taxiway name over 8
// characters, an out-of-range code) and OverflowError when the file would pass 2 GB.
std::vector<uint8_t> BuildBglFile(std::span<const DescribedAirport> airports,
                                  std::span<const DescribedAirspace> airspaces);

// The scenery.cfg text for the world's areas: a [General] section, then [Area.001], [Area.002], ...
// with Title, Texture_ID, Remote, Local, Layer, Active=TRUE, Required=FALSE; CR LF line ends.
std::string SceneryConfigText(const WorldDescription& world);

// Folder on disk that holds magdec.bgl, relative to the simulator folder. Mixed case as on a Windows
// install; the program's "\scenery\magdec.bgl" names the same folder there.
inline constexpr const char* kMagdecFolder = "Scenery";

// Writes a simulator folder: outFolder/fs2002.exe (a placeholder), outFolder/scenery.cfg,
// outFolder/Scenery/magdec.bgl (the given bytes), and each area's BGL files in its scenery folder
// (AreaSceneryFolder, e.g. outFolder/Scenery/World/scenery/ap_west.bgl). Folders are created as
// needed, reusing an existing entry whose name differs only in letter case; files of the same name are
// replaced, other files are left alone, and an existing fs2002.exe is never replaced. Area folders and
// file names are checked before anything is written; a BGL file that BuildBglFile refuses stops the
// writing there. Throws FileError on any I/O failure, and what BuildBglFile throws.
void WriteSceneryFolder(const WorldDescription& world, const std::string& outFolder,
                        const std::vector<uint8_t>& magdecBgl);

}  // namespace skyvox::authoring
