#include "authoring/bgl_writer.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "base/byte_io.h"
#include "base/errors.h"
#include "base/rounding.h"
#include "base/text.h"
#include "geo/geometry.h"
#include "geo/sim_coordinates.h"

namespace skyvox::authoring {

namespace {

namespace fs = std::filesystem;

constexpr size_t kHeaderSize = 168;
constexpr uint32_t kMagic = 0x87654321;
constexpr uint32_t kAirportList = 0x30001;
constexpr uint32_t kAirportEntry = 0x30002;
constexpr int32_t kAirportKind = 0x50001;
constexpr uint32_t kHeaderRecord = 0x10001;
constexpr uint32_t kRunwayRecord = 0x10002;
constexpr uint32_t kPositionRecord = 0x10003;
constexpr uint32_t kNavAidRecord = 0x10004;
constexpr uint32_t kRunwayEndRecord = 0x10005;
constexpr uint32_t kNameRecord = 0x10006;
constexpr uint32_t kTaxiRecord = 0x11001;
constexpr uint32_t kFrequencyRecord = 0x20001;
constexpr uint32_t kLimitsRecord = 0x12002;
constexpr uint32_t kBoxRecord = 0x1000B;
constexpr uint32_t kBoundary = 1;
constexpr int32_t kBoundaryGroup = 4;
constexpr int32_t kAirspaceBoundary = 5;
constexpr int32_t kIlsKind = 4;
constexpr double kMaxOffsetMetres = 100000;

// Records are written with a zero size, which End patches once the content is known.
class RecordWriter {
 public:
  size_t Begin(uint32_t type) {
    const size_t at = w_.Size();
    w_.U32(type);
    w_.U32(0);
    return at;
  }
  void End(size_t at) {
    const size_t size = w_.Size() - at - 8;
    CheckSize(w_.Size());
    w_.PatchI32(at + 4, static_cast<int32_t>(size));
  }
  void Terminator() {
    w_.U32(0);
    w_.U32(0);
  }
  void Zeros(size_t count) {
    for (size_t i = 0; i < count; ++i) w_.U8(0);
  }
  void Single(float v) { w_.U32(std::bit_cast<uint32_t>(v)); }
  void Patch(size_t at, size_t value) {
    CheckSize(value);
    w_.PatchI32(at, static_cast<int32_t>(value));
  }
  static void CheckSize(size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
      throw OverflowError("BGL file would be larger than 2 GB");
    }
  }
  ByteWriter& W() { return w_; }

 private:
  ByteWriter w_;
};

[[noreturn]] void Fail(const DescribedAirport& airport, const std::string& what) {
  throw FormatError("airport " + airport.Ident + ": " + what);
}

void CheckPosition(double latitude, double longitude, const std::string& what) {
  if (!(latitude >= -90 && latitude <= 90) || !(longitude >= -180 && longitude <= 180)) {
    throw FormatError(what + ": position outside -90..90, -180..180");
  }
}

// The destination-point rule the reader applies to taxi offsets, before its final rounding.
LatLon Destination(LatLon from, int course, double metres) {
  using geo::kPi;
  const double phi1 = from.Latitude * kPi / 180;
  const double lambda1 = -from.Longitude * kPi / 180;  // west positive inside the computation
  const double tc = course * kPi / 180;
  const double d = (std::abs(metres) / 1852) * kPi / 10800;
  const double phi = geo::ArcSin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(tc));
  double lambda = lambda1;
  if (std::cos(phi) != 0) {
    lambda =
        geo::FloatMod(lambda1 - geo::ArcSin(std::sin(tc) * std::sin(d) / std::cos(phi)) + kPi, geo::kTwoPi) -
        kPi;
  }
  return {phi * 180 / kPi, -lambda * 180 / kPi};
}

double WrapDegrees(double delta) {
  while (delta > 180) delta -= 360;
  while (delta <= -180) delta += 360;
  return delta;
}

// The distance m >= 0 at which reach(m) equals wanted, for a reach that grows from reach(0) = 0.
template <typename Reach>
double SolveMetres(Reach reach, double wanted) {
  double low = 0;
  double high = 1;
  while (reach(high) < wanted) {
    high *= 2;
    if (high > 2 * kMaxOffsetMetres) throw FormatError("taxi point lies more than 100 km from its airport");
  }
  for (int i = 0; i < 200 && high - low > 1e-9; ++i) {
    const double mid = (low + high) / 2;
    if (reach(mid) < wanted) {
      low = mid;
    } else {
      high = mid;
    }
  }
  const double m = (low + high) / 2;
  if (m > kMaxOffsetMetres) throw FormatError("taxi point lies more than 100 km from its airport");
  return m;
}

void WriteTaxiData(RecordWriter& out, const DescribedAirport& a) {
  ByteWriter& w = out.W();
  const LatLon reference{a.Latitude, a.Longitude};
  const size_t at = out.Begin(kTaxiRecord);

  w.I32(static_cast<int32_t>(a.TaxiPoints.size()));
  w.I32(12);
  for (const DescribedTaxiPoint& p : a.TaxiPoints) {
    const auto [x, z] = TaxiOffsets(reference, {p.Latitude, p.Longitude});
    w.I32(p.PointType);
    out.Single(x);
    out.Single(z);
  }

  w.I32(static_cast<int32_t>(a.ParkingSpots.size()));
  w.I32(20);
  for (const DescribedParking& s : a.ParkingSpots) {
    const auto [x, z] = TaxiOffsets(reference, {s.Latitude, s.Longitude});
    if (!(s.RadiusFt > 0 && s.RadiusFt <= 1e6)) Fail(a, "parking radius outside 0..1000000 ft");
    out.Single(x);
    out.Single(z);
    out.Single(static_cast<float>(s.RadiusFt * 0.3048));
    w.I32(0);
    w.U32(ParkingNameValue(s.NameCode, s.Number));
  }

  std::vector<std::string> names;  // taxiway names in order of first use; a path stores its index
  w.I32(static_cast<int32_t>(a.TaxiPaths.size()));
  w.I32(32);
  for (const DescribedTaxiPath& p : a.TaxiPaths) {
    const auto pointCount = static_cast<int64_t>(a.TaxiPoints.size());
    if (p.StartPoint < 0 || p.StartPoint >= pointCount) Fail(a, "taxi path from a missing point");
    int32_t number = 0;
    if (p.PathType == kParkingPath) {
      if (p.EndPoint < 0 || p.EndPoint >= static_cast<int64_t>(a.ParkingSpots.size())) {
        Fail(a, "taxi path to a missing parking spot");
      }
    } else if (p.EndPoint < 0 || p.EndPoint >= pointCount) {
      Fail(a, "taxi path to a missing point");
    }
    if (p.PathType == kRunwayPath) {
      if (p.RunwayIndex < 0 || p.RunwayIndex >= static_cast<int64_t>(a.Runways.size())) {
        Fail(a, "runway path on a missing runway");
      }
      number = p.RunwayIndex;
    } else if (p.PathType == kTaxiwayPath) {
      const std::string& name = p.TaxiwayName;
      bool plainNumber = !name.empty();
      for (char c : name) {
        if (c < '0' || c > '9') plainNumber = false;
      }
      if (name.empty() || name.size() > 8 || name.find('\0') != std::string::npos || plainNumber) {
        Fail(a, "taxiway name '" + name + "' cannot be stored (1 to 8 characters, not a plain number)");
      }
      size_t j = 0;
      while (j < names.size() && names[j] != name) ++j;
      if (j == names.size()) names.push_back(name);
      number = static_cast<int32_t>(j);
    }
    w.I32(p.PathType);
    w.I32(0);
    w.I32(0);
    w.I32(p.StartPoint);
    w.I32(p.EndPoint);
    w.I32(0);
    w.I32(0);
    w.I32(number);
  }

  // Always present, even empty: reading the names list is what finishes the taxi data and names the
  // runway paths.
  w.I32(static_cast<int32_t>(names.size()));
  w.I32(8);
  for (const std::string& name : names) {
    w.Bytes(name);
    out.Zeros(8 - name.size());
  }
  out.End(at);
}

void WriteAirportData(RecordWriter& out, const DescribedAirport& a) {
  ByteWriter& w = out.W();
  CheckPosition(a.Latitude, a.Longitude, "airport " + a.Ident);
  w.I32(1);  // data header: 1, unused, 1, unused
  w.I32(0);
  w.I32(1);
  w.I32(0);

  size_t at = out.Begin(kHeaderRecord);
  w.I32(0);
  w.I32(LatitudeRaw(a.Latitude));  // +12
  w.I32(0);
  w.I32(LongitudeRaw(a.Longitude));  // +20
  w.I32(0);
  w.I32(MetresFromFeet(a.ElevationFt));  // +28
  out.End(at);

  if (a.Position) {
    CheckPosition(a.Position->Latitude, a.Position->Longitude, "airport " + a.Ident);
    at = out.Begin(kPositionRecord);
    w.I32(0);
    w.I32(LatitudeRaw(a.Position->Latitude));  // +12
    w.I32(0);
    w.I32(LongitudeRaw(a.Position->Longitude));  // +20
    out.End(at);
  }

  if (!a.Name.empty()) {
    at = out.Begin(kNameRecord);
    w.Bytes(a.Name);  // +8 to the end
    out.End(at);
  }

  for (const DescribedFrequency& f : a.Frequencies) {
    at = out.Begin(kFrequencyRecord);
    w.U32(FrequencyCode(f.Mhz));  // +8
    w.I32(f.Kind);                // +12
    w.Bytes(f.Name);              // +16 to the end
    out.End(at);
  }

  for (const DescribedRunway& r : a.Runways) {
    at = out.Begin(kRunwayRecord);
    out.Zeros(32);
    w.I32(r.Length);      // +40
    w.I32(r.Width);       // +44
    w.I32(r.Designator);  // +48
    w.I32(r.Number);      // +52
    out.End(at);
    if (!r.IlsMhz.empty()) {
      at = out.Begin(kNavAidRecord);
      out.Zeros(28);
      w.U32(FrequencyCode(r.IlsMhz));  // +36
      w.I32(kIlsKind);                 // +40
      out.End(at);
    }
  }

  for (const DescribedRunwayEnd& e : a.RunwayEnds) {
    CheckPosition(e.Latitude, e.Longitude, "airport " + a.Ident + " runway end");
    if (!std::isfinite(e.TrueHeading)) Fail(a, "runway end heading is not a number");
    at = out.Begin(kRunwayEndRecord);
    w.I32(0);
    w.I32(LatitudeRaw(e.Latitude));  // +12
    w.I32(0);
    w.I32(LongitudeRaw(e.Longitude));  // +20
    w.I32(0);
    w.I32(MetresFromFeet(e.ElevationFt));  // +28
    w.U32(HeadingRaw(e.TrueHeading));      // +32
    w.I32(1);                              // +36 presence
    w.I32(e.Designator);                   // +40
    w.I32(e.Number);                       // +44
    out.End(at);
  }

  if (!a.TaxiPoints.empty() || !a.ParkingSpots.empty() || !a.TaxiPaths.empty()) WriteTaxiData(out, a);
  out.Terminator();
}

void WriteAirspace(RecordWriter& out, const DescribedAirspace& s) {
  ByteWriter& w = out.W();
  CheckPosition(s.NorthLat, s.EastLon, "airspace " + s.CenterName);
  CheckPosition(s.SouthLat, s.WestLon, "airspace " + s.CenterName);
  const size_t record = out.Begin(kBoundary);
  w.I32(kAirspaceBoundary);  // +8
  w.I32(0);

  size_t at = out.Begin(kFrequencyRecord);
  w.U32(FrequencyCode(s.Mhz));  // +8
  w.I32(0);                     // +12 kind, not read
  w.Bytes(s.CenterName);        // +16 to the end
  out.End(at);

  at = out.Begin(kLimitsRecord);
  out.Zeros(16);
  w.I32(s.LowerLimit);  // +24
  w.I32(s.UpperLimit);  // +28
  out.End(at);

  at = out.Begin(kBoxRecord);
  w.I32(LatitudeRaw(s.SouthLat));  // +8
  w.I32(LongitudeRaw(s.WestLon));  // +12
  w.I32(LatitudeRaw(s.NorthLat));  // +16
  w.I32(LongitudeRaw(s.EastLon));  // +20
  out.End(at);

  out.Terminator();
  out.End(record);
}

// The entry `name` of `parent`: the exact name if it exists, else an entry equal to it without regard
// to case (so that an existing SCENERY.CFG or scenery folder is reused, as Windows would), else the
// exact name.
fs::path ChildNoCase(const fs::path& parent, const std::string& name) {
  std::error_code ec;
  fs::path exact = parent / name;
  if (fs::exists(exact, ec)) return exact;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    if (EqualsNoCase(it->path().filename().string(), name)) return it->path();
  }
  return exact;
}

void CreateFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) {
    throw FileError("cannot create the folder " + folder.string() + (ec ? ": " + ec.message() : ""));
  }
}

void WriteFile(const fs::path& file, std::span<const uint8_t> bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (out) out.close();
  if (!out) throw FileError("cannot write " + file.string());
}

void WriteFile(const fs::path& file, std::string_view text) {
  WriteFile(file, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool SafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

int32_t LatitudeRaw(double latitude) {
  return CLng(latitude * geo::kLatitudeMetresPer90Degrees / 90);
}

int32_t LongitudeRaw(double longitude) {
  if (!std::isfinite(longitude) || std::abs(longitude) > 1e6) throw OverflowError("longitude out of range");
  const double raw = Round(longitude * geo::kLongitudeUnitsPerTurn / 360);
  const auto wrapped = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(raw)));
  return static_cast<int32_t>(wrapped);
}

uint32_t HeadingRaw(double trueHeading) {
  if (!std::isfinite(trueHeading) || std::abs(trueHeading) > 1e6) throw OverflowError("heading out of range");
  const double raw = Round(trueHeading * 65536 * 65536 / 360);
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(raw)));
}

int32_t MetresFromFeet(int32_t feet) {
  return CLng(feet * 0.3048);
}

uint32_t ParkingNameValue(int32_t nameCode, int32_t number) {
  // Codes of 64 and more would round the reader's number up; numbers above 8191 leave the 20 bits.
  if (nameCode < 0 || nameCode > 63 || number < 0 || number > 8191) {
    throw FormatError("parking name code " + std::to_string(nameCode) + " or number " +
                      std::to_string(number) + " cannot be packed");
  }
  return static_cast<uint32_t>(128 * number + nameCode);
}

std::pair<float, float> TaxiOffsets(LatLon reference, LatLon point) {
  CheckPosition(point.Latitude, point.Longitude, "taxi point");
  // What the reader takes as the origin: the header's raw values, converted back, 6 decimals.
  const LatLon origin{Round(LatitudeRaw(reference.Latitude) * 90.0 / geo::kLatitudeMetresPer90Degrees, 6),
                      Round(LongitudeRaw(reference.Longitude) * 360.0 / geo::kLongitudeUnitsPerTurn, 6)};

  float x = 0;
  const double east = WrapDegrees(point.Longitude - origin.Longitude);
  if (Round(origin.Longitude + east, 6) != origin.Longitude) {
    const int course = east > 0 ? 90 : 270;
    const double sign = east > 0 ? 1 : -1;
    const double m = SolveMetres(
        [&](double metres) {
          return sign * WrapDegrees(Destination(origin, course, metres).Longitude - origin.Longitude);
        },
        std::abs(east));
    x = static_cast<float>(sign * m);
  }
  float z = 0;
  const double north = point.Latitude - origin.Latitude;
  if (Round(point.Latitude, 6) != origin.Latitude) {
    const int course = north > 0 ? 0 : 180;
    const double sign = north > 0 ? 1 : -1;
    const double m = SolveMetres(
        [&](double metres) {
          return sign * (Destination(origin, course, metres).Latitude - origin.Latitude);
        },
        std::abs(north));
    z = static_cast<float>(sign * m);
  }

  // Near a pole the rule stops being one-to-one; refuse what would not read back.
  const double lonBack =
      x == 0 ? origin.Longitude : Round(Destination(origin, x > 0 ? 90 : 270, x).Longitude, 6);
  const double latBack =
      z == 0 ? origin.Latitude : Round(Destination(origin, z > 0 ? 0 : 180, z).Latitude, 6);
  if (std::abs(WrapDegrees(lonBack - point.Longitude)) > 2e-6 || std::abs(latBack - point.Latitude) > 2e-6) {
    throw FormatError("taxi point cannot be placed this close to a pole");
  }
  return {x, z};
}

std::vector<uint8_t> BuildBglFile(std::span<const DescribedAirport> airports,
                                  std::span<const DescribedAirspace> airspaces) {
  RecordWriter out;
  ByteWriter& w = out.W();
  out.Zeros(kHeaderSize);
  w.PatchI32(118, static_cast<int32_t>(kMagic));
  w.PatchI32(144, 1);

  if (!airports.empty()) {
    w.PatchI32(156, static_cast<int32_t>(w.Size()));
    std::vector<size_t> dataOffsetAt;
    const size_t list = out.Begin(kAirportList);
    out.Zeros(12);
    w.I32(static_cast<int32_t>(airports.size()));  // +20
    for (const DescribedAirport& a : airports) {
      const size_t entry = out.Begin(kAirportEntry);
      w.I32(kAirportKind);  // +8
      dataOffsetAt.push_back(w.Size());
      w.I32(0);          // +12, patched below
      w.Bytes(a.Ident);  // +16 to the end
      out.End(entry);
    }
    out.End(list);
    out.Terminator();
    for (size_t i = 0; i < airports.size(); ++i) {
      out.Patch(dataOffsetAt[i], w.Size());
      WriteAirportData(out, airports[i]);
    }
  }

  if (!airspaces.empty()) {
    out.Patch(164, w.Size());
    const size_t group = out.Begin(kBoundary);
    w.I32(kBoundaryGroup);  // +8
    w.I32(0);
    for (const DescribedAirspace& s : airspaces) WriteAirspace(out, s);
    out.Terminator();
    out.End(group);
    out.Terminator();
  }
  RecordWriter::CheckSize(w.Size());
  return w.Take();
}

std::string SceneryConfigText(const WorldDescription& world) {
  std::string text =
      "[General]\r\nTitle=World Scenery\r\nDescription=Scenery written from a world description\r\n";
  for (size_t i = 0; i < world.Areas.size(); ++i) {
    std::string number = std::to_string(i + 1);
    const std::string id = number;
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    const DescribedArea& area = world.Areas[i];
    text += "\r\n[Area." + number + "]\r\n";
    text += "Title=" + area.Title + "\r\n";
    text += "Texture_ID=" + id + "\r\n";
    text += "Remote=\r\n";
    text += "Local=" + area.Local + "\r\n";
    text += "Layer=" + id + "\r\n";
    text += "Active=TRUE\r\n";
    text += "Required=FALSE\r\n";
  }
  return text;
}

void WriteSceneryFolder(const WorldDescription& world, const std::string& outFolder,
                        const std::vector<uint8_t>& magdecBgl) {
  std::vector<std::vector<std::string>> folders;
  for (const DescribedArea& area : world.Areas) {
    folders.push_back(AreaSceneryFolder(area.Local));
    for (const std::string& part : folders.back()) {
      if (!SafeName(part)) throw FormatError("area folder '" + area.Local + "' is not a relative path");
    }
    for (const DescribedFile& file : area.Files) {
      if (!SafeName(file.Name)) throw FormatError("bad BGL file name '" + file.Name + "'");
    }
  }

  const fs::path root(outFolder);
  CreateFolder(root);
  const fs::path exe = ChildNoCase(root, "fs2002.exe");
  std::error_code ec;
  if (!fs::exists(exe, ec)) {  // never replace a real simulator's program
    WriteFile(exe, std::string_view(
                       "Placeholder for the simulator's program, written by skyvox-db make-scenery.\r\n"));
  }
  WriteFile(ChildNoCase(root, "scenery.cfg"), std::string_view(SceneryConfigText(world)));
  const fs::path magdecFolder = ChildNoCase(root, kMagdecFolder);
  CreateFolder(magdecFolder);
  WriteFile(ChildNoCase(magdecFolder, "magdec.bgl"), std::span<const uint8_t>(magdecBgl));

  // One file in memory at a time, so that a large synthetic world needs no more than its largest file.
  for (size_t a = 0; a < world.Areas.size(); ++a) {
    fs::path folder = root;
    for (const std::string& part : folders[a]) {
      folder = ChildNoCase(folder, part);
      CreateFolder(folder);
    }
    for (const DescribedFile& file : world.Areas[a].Files) {
      const std::vector<uint8_t> bytes = BuildBglFile(file.Airports, file.Airspaces);
      WriteFile(ChildNoCase(folder, file.Name), std::span<const uint8_t>(bytes));
    }
  }
}

}  // namespace skyvox::authoring
