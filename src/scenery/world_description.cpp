#include "scenery/world_description.h"

#include "scenery/bgl_reader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <unordered_set>

#include "base/errors.h"
#include "base/files.h"
#include "base/rounding.h"
#include "base/text.h"

namespace skyvox::scenery {
namespace {

constexpr size_t kMaxTextLength = 255;
constexpr size_t kMaxTableSize = 32767;      // the database counts taxi points, spots and paths in 16 bits
constexpr int32_t kMaxParkingNumber = 8191;  // 128 * N + code must stay within 20 bits
constexpr int32_t kMaxElevationFt = 30000;
constexpr int32_t kMinElevationFt = -1500;
constexpr int32_t kMaxRunwayFt = 1000000;
constexpr int kMaxSyntheticAirports = 1000000;

constexpr std::array<const char*, 5> kDesignators = {"", "L", "R", "C", "H"};

struct KindWord {
  const char* word;
  int32_t kind;
};
constexpr std::array<KindWord, 5> kKindWords = {{{"CLEARANCE", kFrequencyClearance},
                                                 {"GROUND", kFrequencyGround},
                                                 {"TOWER", kFrequencyTower},
                                                 {"APPROACH", kFrequencyApproach},
                                                 {"DEPARTURE", kFrequencyDeparture}}};

// MHz text of a value in units of 0.0001 MHz: the shortest decimal form.
std::string MhzText(uint64_t tenThousandths) {
  std::string text = std::to_string(tenThousandths / 10000);
  uint64_t fraction = tenThousandths % 10000;
  if (fraction == 0) return text;
  std::string digits = std::to_string(fraction);
  digits.insert(0, 4 - digits.size(), '0');
  while (digits.back() == '0') digits.pop_back();
  return text + "." + digits;
}

bool IsPlainNumber(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int32_t ReciprocalNumber(int32_t number) {
  return number <= 18 ? number + 18 : number - 18;
}

int32_t ReciprocalDesignator(int32_t designator) {
  if (designator == 1) return 2;
  if (designator == 2) return 1;
  return designator;
}

std::vector<std::string> SplitLocal(std::string_view local) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : local) {
    if (c == '\\' || c == '/') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string FormatDouble(double v) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v);
  return std::string(buffer.data(), result.ptr);
}

// ---------------------------------------------------------------------------------------------------
// Parser

struct Token {
  std::string_view text;
  size_t start = 0;  // offset in the line
};

class Parser {
 public:
  WorldDescription Run(std::string_view text);

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw FormatError("line " + std::to_string(line_) + ": " + what);
  }

  void ParseLine(std::string_view lineText);
  void Area();
  void File();
  void Airport();
  void Position();
  void Frequency();
  void Runway();
  void RunwayEnd();
  void Point();
  void Parking();
  void Path();
  void Airspace();

  // The keyword's own number of values: exactly `count` tokens after the keyword, or at least.
  void NeedExactly(size_t count, const char* usage) const;
  void NeedAtLeast(size_t count, const char* usage) const;
  std::string Rest(size_t tokenIndex) const;
  std::string Text(size_t tokenIndex, const char* what) const;

  double Number(size_t index, const char* what) const;
  int64_t Whole(size_t index, const char* what, int64_t low, int64_t high) const;
  double Latitude(size_t index) const;
  double Longitude(size_t index) const;
  std::string Mhz(size_t index) const;
  void RunwayIdentAt(size_t index, int32_t& number, int32_t& designator) const;

  DescribedArea& CurrentArea(const char* keyword) {
    if (world_.Areas.empty()) Fail(std::string(keyword) + " before any AREA");
    return world_.Areas.back();
  }
  DescribedFile& CurrentFile(const char* keyword) {
    DescribedArea& area = CurrentArea(keyword);
    if (area.Files.empty()) Fail(std::string(keyword) + " before any FILE of this AREA");
    return area.Files.back();
  }
  DescribedAirport& CurrentAirport(const char* keyword) {
    if (!inAirport_) Fail(std::string(keyword) + " outside an AIRPORT");
    return world_.Areas.back().Files.back().Airports.back();
  }

  WorldDescription world_;
  bool inAirport_ = false;
  int line_ = 0;
  std::string_view lineText_;
  std::vector<Token> tokens_;
};

WorldDescription Parser::Run(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::string converted = Utf8ToCp1252(text);
  std::string_view rest = converted;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view lineText = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    ++line_;
    if (lineText.ends_with('\r')) lineText.remove_suffix(1);
    ParseLine(lineText);
  }
  return std::move(world_);
}

void Parser::ParseLine(std::string_view lineText) {
  lineText_ = lineText;
  tokens_.clear();
  size_t i = 0;
  while (i < lineText.size()) {
    while (i < lineText.size() && (lineText[i] == ' ' || lineText[i] == '\t')) ++i;
    if (i >= lineText.size()) break;
    if (lineText[i] == '#') {  // a comment runs from a word that starts with '#' to the end of the line
      lineText_ = lineText.substr(0, i);
      break;
    }
    const size_t start = i;
    while (i < lineText.size() && lineText[i] != ' ' && lineText[i] != '\t') ++i;
    tokens_.push_back({lineText.substr(start, i - start), start});
  }
  if (tokens_.empty()) return;
  for (const Token& token : tokens_) {
    for (char c : token.text) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b == 0x7F) Fail("control character in the line");
    }
  }

  const std::string keyword = ToUpperAscii(tokens_[0].text);
  if (keyword == "AREA") {
    Area();
  } else if (keyword == "FILE") {
    File();
  } else if (keyword == "AIRPORT") {
    Airport();
  } else if (keyword == "POSITION") {
    Position();
  } else if (keyword == "FREQ") {
    Frequency();
  } else if (keyword == "RUNWAY") {
    Runway();
  } else if (keyword == "END") {
    RunwayEnd();
  } else if (keyword == "POINT") {
    Point();
  } else if (keyword == "PARKING") {
    Parking();
  } else if (keyword == "PATH") {
    Path();
  } else if (keyword == "AIRSPACE") {
    Airspace();
  } else {
    Fail("unknown keyword '" + std::string(tokens_[0].text) + "'");
  }
}

void Parser::NeedExactly(size_t count, const char* usage) const {
  if (tokens_.size() != count + 1) Fail(std::string("expected ") + usage);
}

void Parser::NeedAtLeast(size_t count, const char* usage) const {
  if (tokens_.size() < count + 1) Fail(std::string("expected ") + usage);
}

std::string Parser::Rest(size_t tokenIndex) const {
  if (tokenIndex >= tokens_.size()) return "";
  std::string_view rest = lineText_.substr(tokens_[tokenIndex].start);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
  return std::string(rest);
}

std::string Parser::Text(size_t tokenIndex, const char* what) const {
  std::string text = Rest(tokenIndex);
  if (text.size() > kMaxTextLength) {
    Fail(std::string(what) + " is longer than " + std::to_string(kMaxTextLength) + " characters");
  }
  if (text.find('\t') != std::string::npos) Fail(std::string(what) + " contains a tab");
  return text;
}

double Parser::Number(size_t index, const char* what) const {
  std::string_view token = tokens_[index].text;
  std::string_view digits = token;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || !std::isfinite(value)) {
    Fail("bad number '" + std::string(token) + "' for " + what);
  }
  return value;
}

int64_t Parser::Whole(size_t index, const char* what, int64_t low, int64_t high) const {
  std::string_view token = tokens_[index].text;
  std::string_view digits = token;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  int64_t value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
    Fail("bad whole number '" + std::string(token) + "' for " + what);
  }
  if (value < low || value > high) {
    Fail(std::string(what) + " " + std::string(token) + " is outside " + std::to_string(low) + ".." +
         std::to_string(high));
  }
  return value;
}

double Parser::Latitude(size_t index) const {
  const double v = Number(index, "latitude");
  if (v < -90 || v > 90) Fail("latitude " + std::string(tokens_[index].text) + " is outside -90..90");
  return v;
}

double Parser::Longitude(size_t index) const {
  const double v = Number(index, "longitude");
  if (v < -180 || v > 180) Fail("longitude " + std::string(tokens_[index].text) + " is outside -180..180");
  return v;
}

std::string Parser::Mhz(size_t index) const {
  try {
    return FrequencyText(static_cast<int32_t>(FrequencyCode(tokens_[index].text)));
  } catch (const FormatError&) {
    Fail("bad frequency '" + std::string(tokens_[index].text) +
         "' (MHz below 1000 with at most 4 decimals, e.g. 121.9)");
  }
}

void Parser::RunwayIdentAt(size_t index, int32_t& number, int32_t& designator) const {
  const std::string ident = ToUpperAscii(tokens_[index].text);
  size_t digits = 0;
  while (digits < ident.size() && ident[digits] >= '0' && ident[digits] <= '9') ++digits;
  designator = -1;
  if (digits >= 1 && digits <= 2) {
    const std::string_view letter = std::string_view(ident).substr(digits);
    for (size_t d = 0; d < kDesignators.size(); ++d) {
      if (letter == kDesignators[d]) designator = static_cast<int32_t>(d);
    }
    number = std::stoi(ident.substr(0, digits));
  }
  if (designator < 0 || number < 1 || number > 36) {
    Fail("bad runway ident '" + std::string(tokens_[index].text) +
         "' (a number 1..36 and an optional L, R, C or H)");
  }
}

void Parser::Area() {
  NeedAtLeast(2, "AREA folder title");
  inAirport_ = false;
  DescribedArea area;
  std::string local(tokens_[1].text);
  for (char& c : local) {
    if (c == '/') c = '\\';
  }
  for (const std::string& part : SplitLocal(local)) {
    bool ok = !part.empty() && part != "." && part != "..";
    for (char c : part) {
      const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '_' || c == '-' || c == '.';
      if (!plain) ok = false;
    }
    if (!ok) {
      Fail("bad area folder '" + local +
           "' (a relative path of letters, digits, '_', '-' and '.', parts separated by \\)");
    }
  }
  const std::vector<std::string> folder = AreaSceneryFolder(local);
  for (const DescribedArea& other : world_.Areas) {
    const std::vector<std::string> otherFolder = AreaSceneryFolder(other.Local);
    bool same = otherFolder.size() == folder.size();
    for (size_t i = 0; same && i < folder.size(); ++i) same = EqualsNoCase(folder[i], otherFolder[i]);
    if (same) Fail("area folder '" + local + "' is already used by area '" + other.Title + "'");
  }
  area.Local = local;
  area.Title = Text(2, "area title");
  // scenery.cfg keys are found by a plain text search for "key=", which a title could shadow.
  if (area.Title.find('=') != std::string::npos) Fail("an area title may not contain '='");
  world_.Areas.push_back(std::move(area));
}

void Parser::File() {
  NeedExactly(1, "FILE name.bgl");
  inAirport_ = false;
  DescribedArea& area = CurrentArea("FILE");
  const std::string name(tokens_[1].text);
  bool ok = name.size() > 4 && ToLowerAscii(name).ends_with(".bgl") && name.size() <= kMaxTextLength;
  for (char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || c == '.';
    if (!plain) ok = false;
  }
  if (!ok) Fail("bad file name '" + name + "' (letters, digits, '_', '-', '.', ending in .bgl)");
  if (EqualsNoCase(name, "magdec.bgl")) Fail("the file name magdec.bgl is the simulator's own");
  for (const DescribedFile& other : area.Files) {
    if (EqualsNoCase(other.Name, name)) Fail("file '" + name + "' is already in this area");
  }
  DescribedFile file;
  file.Name = name;
  area.Files.push_back(std::move(file));
}

void Parser::Airport() {
  NeedAtLeast(4, "AIRPORT ident lat lon elevation-ft [name]");
  inAirport_ = false;
  DescribedFile& file = CurrentFile("AIRPORT");
  DescribedAirport airport;
  airport.Ident = std::string(tokens_[1].text);
  if (airport.Ident.size() > 8) Fail("airport ident '" + airport.Ident + "' is longer than 8 characters");
  airport.Latitude = Latitude(2);
  airport.Longitude = Longitude(3);
  airport.ElevationFt = static_cast<int32_t>(Whole(4, "elevation", kMinElevationFt, kMaxElevationFt));
  airport.Name = Text(5, "airport name");
  file.Airports.push_back(std::move(airport));
  inAirport_ = true;
}

void Parser::Position() {
  DescribedAirport& airport = CurrentAirport("POSITION");
  NeedExactly(2, "POSITION lat lon");
  airport.Position = LatLon{Latitude(1), Longitude(2)};
}

void Parser::Frequency() {
  DescribedAirport& airport = CurrentAirport("FREQ");
  NeedAtLeast(2, "FREQ kind mhz [station name]");
  DescribedFrequency frequency;
  const std::string kindWord = ToUpperAscii(tokens_[1].text);
  frequency.Kind = -1;
  for (const KindWord& k : kKindWords) {
    if (kindWord == k.word) frequency.Kind = k.kind;
  }
  if (frequency.Kind < 0) {
    if (!IsPlainNumber(kindWord)) {
      Fail("unknown frequency kind '" + std::string(tokens_[1].text) +
           "' (CLEARANCE, GROUND, TOWER, APPROACH, DEPARTURE or a number)");
    }
    frequency.Kind = static_cast<int32_t>(Whole(1, "frequency kind", 0, std::numeric_limits<int32_t>::max()));
  }
  frequency.Mhz = Mhz(2);
  frequency.Name = Text(3, "station name");
  airport.Frequencies.push_back(std::move(frequency));
}

void Parser::Runway() {
  DescribedAirport& airport = CurrentAirport("RUNWAY");
  if (tokens_.size() != 4 && tokens_.size() != 6) Fail("expected RUNWAY ident length-ft width-ft [ILS mhz]");
  DescribedRunway runway;
  RunwayIdentAt(1, runway.Number, runway.Designator);
  for (const DescribedRunway& other : airport.Runways) {
    if (other.Number == runway.Number && other.Designator == runway.Designator) {
      Fail("runway " + RunwayIdent(runway.Number, runway.Designator) + " is already written");
    }
  }
  runway.Length = static_cast<int32_t>(Whole(2, "runway length", 0, kMaxRunwayFt));
  runway.Width = static_cast<int32_t>(Whole(3, "runway width", 0, kMaxRunwayFt));
  if (tokens_.size() == 6) {
    if (ToUpperAscii(tokens_[4].text) != "ILS") {
      Fail("expected ILS after the runway width, found '" + std::string(tokens_[4].text) + "'");
    }
    runway.IlsMhz = Mhz(5);
  }
  airport.Runways.push_back(std::move(runway));
}

void Parser::RunwayEnd() {
  DescribedAirport& airport = CurrentAirport("END");
  NeedExactly(5, "END ident lat lon elevation-ft true-heading");
  DescribedRunwayEnd end;
  RunwayIdentAt(1, end.Number, end.Designator);
  bool known = false;
  for (const DescribedRunway& runway : airport.Runways) {
    if ((runway.Number == end.Number && runway.Designator == end.Designator) ||
        (ReciprocalNumber(runway.Number) == end.Number &&
         ReciprocalDesignator(runway.Designator) == end.Designator)) {
      known = true;
    }
  }
  if (!known) Fail("runway end " + RunwayIdent(end.Number, end.Designator) + " belongs to no RUNWAY above");
  end.Latitude = Latitude(2);
  end.Longitude = Longitude(3);
  end.ElevationFt = static_cast<int32_t>(Whole(4, "elevation", kMinElevationFt, kMaxElevationFt));
  end.TrueHeading = Number(5, "heading");
  if (end.TrueHeading < 0 || end.TrueHeading > 360) {
    Fail("heading " + std::string(tokens_[5].text) + " is outside 0..360");
  }
  airport.RunwayEnds.push_back(end);
}

void Parser::Point() {
  DescribedAirport& airport = CurrentAirport("POINT");
  NeedExactly(4, "POINT n type lat lon");
  const int64_t index = Whole(1, "taxi point number", 0, kMaxTableSize - 1);
  if (index != static_cast<int64_t>(airport.TaxiPoints.size())) {
    Fail("taxi point " + std::to_string(index) + " out of order (expected " +
         std::to_string(airport.TaxiPoints.size()) + ")");
  }
  DescribedTaxiPoint point;
  point.PointType = static_cast<int32_t>(
      Whole(2, "point type", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  point.Latitude = Latitude(3);
  point.Longitude = Longitude(4);
  airport.TaxiPoints.push_back(point);
}

void Parser::Parking() {
  DescribedAirport& airport = CurrentAirport("PARKING");
  NeedAtLeast(6, "PARKING n word... number lat lon radius-ft");
  const int64_t index = Whole(1, "parking spot number", 0, kMaxTableSize - 1);
  if (index != static_cast<int64_t>(airport.ParkingSpots.size())) {
    Fail("parking spot " + std::to_string(index) + " out of order (expected " +
         std::to_string(airport.ParkingSpots.size()) + ")");
  }
  const size_t numberAt = tokens_.size() - 4;
  std::string words;
  for (size_t i = 2; i < numberAt; ++i) {
    if (!words.empty()) words += ' ';
    words += tokens_[i].text;
  }
  DescribedParking spot;
  for (int32_t code = 1; !ParkingWord(code).empty(); ++code) {
    if (EqualsNoCase(words, ParkingWord(code))) spot.NameCode = code;
  }
  if (spot.NameCode == 0) {
    Fail("unknown parking name '" + words +
         "' (PARKING, N PARKING ... NW PARKING, GATE, DOCK, GATE A .. GATE Z)");
  }
  spot.Number = static_cast<int32_t>(Whole(numberAt, "parking number", 0, kMaxParkingNumber));
  spot.Latitude = Latitude(numberAt + 1);
  spot.Longitude = Longitude(numberAt + 2);
  spot.RadiusFt = Number(numberAt + 3, "radius");
  if (!(spot.RadiusFt > 0 && spot.RadiusFt <= 10000)) {
    Fail("radius " + std::string(tokens_[numberAt + 3].text) + " is outside 0..10000 ft (above 0)");
  }
  airport.ParkingSpots.push_back(spot);
}

void Parser::Path() {
  DescribedAirport& airport = CurrentAirport("PATH");
  NeedAtLeast(1, "PATH TAXIWAY|RUNWAY|PARKING ...");
  if (airport.TaxiPaths.size() >= kMaxTableSize) Fail("more than 32767 taxi paths");
  const std::string kind = ToUpperAscii(tokens_[1].text);
  const int64_t pointCount = static_cast<int64_t>(airport.TaxiPoints.size());
  auto point = [&](size_t index) {
    const int64_t n = Whole(index, "taxi point", 0, std::numeric_limits<int32_t>::max());
    if (n >= pointCount)
      Fail("PATH refers to taxi point " + std::to_string(n) + ", which is not written above");
    return static_cast<int32_t>(n);
  };
  DescribedTaxiPath path;
  if (kind == "TAXIWAY") {
    NeedExactly(4, "PATH TAXIWAY from to name");
    path.PathType = kTaxiwayPath;
    path.StartPoint = point(2);
    path.EndPoint = point(3);
    path.TaxiwayName = std::string(tokens_[4].text);
    if (path.TaxiwayName.size() > 8)
      Fail("taxiway name '" + path.TaxiwayName + "' is longer than 8 characters");
    if (IsPlainNumber(path.TaxiwayName)) {
      Fail("taxiway name '" + path.TaxiwayName + "' is a plain number, which the scenery cannot hold");
    }
  } else if (kind == "RUNWAY") {
    NeedExactly(4, "PATH RUNWAY from to runway-ident");
    path.PathType = kRunwayPath;
    path.StartPoint = point(2);
    path.EndPoint = point(3);
    int32_t number = 0;
    int32_t designator = 0;
    RunwayIdentAt(4, number, designator);
    path.RunwayIndex = -1;
    for (size_t r = 0; r < airport.Runways.size(); ++r) {
      if (airport.Runways[r].Number == number && airport.Runways[r].Designator == designator) {
        path.RunwayIndex = static_cast<int32_t>(r);
        break;
      }
    }
    if (path.RunwayIndex < 0) {
      Fail("PATH refers to runway " + RunwayIdent(number, designator) + ", which is not written above");
    }
  } else if (kind == "PARKING") {
    NeedExactly(3, "PATH PARKING from spot");
    path.PathType = kParkingPath;
    path.StartPoint = point(2);
    const int64_t spot = Whole(3, "parking spot", 0, std::numeric_limits<int32_t>::max());
    if (spot >= static_cast<int64_t>(airport.ParkingSpots.size())) {
      Fail("PATH refers to parking spot " + std::to_string(spot) + ", which is not written above");
    }
    path.EndPoint = static_cast<int32_t>(spot);
  } else {
    Fail("unknown path kind '" + std::string(tokens_[1].text) + "' (TAXIWAY, RUNWAY or PARKING)");
  }
  airport.TaxiPaths.push_back(std::move(path));
}

void Parser::Airspace() {
  NeedAtLeast(8, "AIRSPACE north south east west lower upper mhz center name");
  inAirport_ = false;
  DescribedFile& file = CurrentFile("AIRSPACE");
  DescribedAirspace airspace;
  airspace.NorthLat = Latitude(1);
  airspace.SouthLat = Latitude(2);
  airspace.EastLon = Longitude(3);
  airspace.WestLon = Longitude(4);
  if (airspace.NorthLat < airspace.SouthLat) Fail("the north edge lies south of the south edge");
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  airspace.LowerLimit = static_cast<int32_t>(Whole(5, "lower limit", kMin, kMax));
  airspace.UpperLimit = static_cast<int32_t>(Whole(6, "upper limit", kMin, kMax));
  airspace.Mhz = Mhz(7);
  airspace.CenterName = Text(8, "center name");
  file.Airspaces.push_back(std::move(airspace));
}

// ---------------------------------------------------------------------------------------------------
// Synthetic worlds

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

// ---------------------------------------------------------------------------------------------------

uint32_t FrequencyCode(std::string_view mhz) {
  const size_t dot = mhz.find('.');
  const std::string_view whole = mhz.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : mhz.substr(dot + 1);
  const bool ok = IsPlainNumber(whole) && (dot == std::string_view::npos || IsPlainNumber(fraction)) &&
                  fraction.size() <= 4;
  uint64_t value = 0;
  for (char c : whole) {
    if (!ok) break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value >= 1000) break;
  }
  if (!ok || value >= 1000) throw FormatError("bad frequency '" + std::string(mhz) + "'");
  uint64_t scale = 1000;
  value *= 10000;
  for (char c : fraction) {
    value += static_cast<uint64_t>(c - '0') * scale;
    scale /= 10;
  }
  uint32_t code = 0;
  for (uint64_t digitScale = 1000000; digitScale > 0; digitScale /= 10) {
    code = code * 16 + static_cast<uint32_t>(value / digitScale % 10);
  }
  return code;
}

std::string RunwayIdent(int32_t number, int32_t designator) {
  std::string ident = std::to_string(number);
  if (designator >= 0 && designator < static_cast<int32_t>(kDesignators.size()))
    ident += kDesignators[designator];
  return ident;
}

std::vector<std::string> AreaSceneryFolder(std::string_view local) {
  std::vector<std::string> parts = SplitLocal(local);
  if (!EqualsNoCase(parts.back(), "scenery")) parts.emplace_back("scenery");
  return parts;
}

WorldDescription ParseWorldDescription(std::string_view text) {
  return Parser().Run(text);
}

WorldDescription ReadWorldDescription(const std::filesystem::path& file) {
  const std::vector<uint8_t> bytes = ReadWholeFile(file);
  return ParseWorldDescription(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string FormatWorldDescription(const WorldDescription& world) {
  std::string out;
  // Words must stay one word, and free text must read back as written: no control characters, no
  // blanks at its ends, and no word that would start a comment.
  auto check = [](const std::string& text, bool word) {
    bool ok =
        word ? !text.empty() && text[0] != '#' : text.empty() || (text.front() != ' ' && text.back() != ' ');
    for (size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c < 0x20 || c == 0x7F || (word && c == ' ')) ok = false;
      if (!word && c == '#' && (i == 0 || text[i - 1] == ' ')) ok = false;
    }
    if (!ok) throw FormatError("'" + text + "' cannot be written in a world description");
  };
  auto line = [&out, &check](const std::vector<std::string>& items, const std::string& text = "") {
    bool first = true;
    for (const std::string& item : items) {
      check(item, true);
      if (!first) out += ' ';
      out += item;
      first = false;
    }
    check(text, false);
    if (!text.empty()) out += " " + Cp1252ToUtf8(text);
    out += '\n';
  };
  auto num = [](double v) { return FormatDouble(v); };
  auto whole = [](int64_t v) { return std::to_string(v); };
  for (const DescribedArea& area : world.Areas) {
    line({"AREA", area.Local}, area.Title);
    for (const DescribedFile& file : area.Files) {
      line({"FILE", file.Name});
      for (const DescribedAirport& a : file.Airports) {
        line({"AIRPORT", a.Ident, num(a.Latitude), num(a.Longitude), whole(a.ElevationFt)}, a.Name);
        if (a.Position) line({"POSITION", num(a.Position->Latitude), num(a.Position->Longitude)});
        for (const DescribedFrequency& f : a.Frequencies) {
          std::string kind = whole(f.Kind);
          for (const KindWord& k : kKindWords) {
            if (k.kind == f.Kind) kind = k.word;
          }
          line({"FREQ", kind, f.Mhz}, f.Name);
        }
        for (const DescribedRunway& r : a.Runways) {
          if (r.IlsMhz.empty()) {
            line({"RUNWAY", RunwayIdent(r.Number, r.Designator), whole(r.Length), whole(r.Width)});
          } else {
            line({"RUNWAY", RunwayIdent(r.Number, r.Designator), whole(r.Length), whole(r.Width), "ILS",
                  r.IlsMhz});
          }
        }
        for (const DescribedRunwayEnd& e : a.RunwayEnds) {
          line({"END", RunwayIdent(e.Number, e.Designator), num(e.Latitude), num(e.Longitude),
                whole(e.ElevationFt), num(e.TrueHeading)});
        }
        for (size_t i = 0; i < a.TaxiPoints.size(); ++i) {
          const DescribedTaxiPoint& p = a.TaxiPoints[i];
          line({"POINT", whole(static_cast<int64_t>(i)), whole(p.PointType), num(p.Latitude),
                num(p.Longitude)});
        }
        for (size_t i = 0; i < a.ParkingSpots.size(); ++i) {
          const DescribedParking& s = a.ParkingSpots[i];
          std::vector<std::string> items = {"PARKING", whole(static_cast<int64_t>(i))};
          for (const std::string& word : SplitWords(ToUpperAscii(ParkingWord(s.NameCode))))
            items.push_back(word);
          for (std::string item : {whole(s.Number), num(s.Latitude), num(s.Longitude), num(s.RadiusFt)}) {
            items.push_back(std::move(item));
          }
          line(items);
        }
        for (const DescribedTaxiPath& p : a.TaxiPaths) {
          if (p.PathType == kRunwayPath) {
            const DescribedRunway& r = a.Runways.at(static_cast<size_t>(p.RunwayIndex));
            line({"PATH", "RUNWAY", whole(p.StartPoint), whole(p.EndPoint),
                  RunwayIdent(r.Number, r.Designator)});
          } else if (p.PathType == kParkingPath) {
            line({"PATH", "PARKING", whole(p.StartPoint), whole(p.EndPoint)});
          } else {
            line({"PATH", "TAXIWAY", whole(p.StartPoint), whole(p.EndPoint), p.TaxiwayName});
          }
        }
      }
      for (const DescribedAirspace& s : file.Airspaces) {
        line({"AIRSPACE", num(s.NorthLat), num(s.SouthLat), num(s.EastLon), num(s.WestLon),
              whole(s.LowerLimit), whole(s.UpperLimit), s.Mhz},
             s.CenterName);
      }
    }
  }
  return out;
}

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

}  // namespace skyvox::scenery
