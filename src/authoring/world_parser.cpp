// The world description parser: text, line by line, into a WorldDescription; every mistake is a
// FormatError naming its line.
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

}  // namespace

WorldDescription ParseWorldDescription(std::string_view text) {
  return Parser().Run(text);
}

WorldDescription ReadWorldDescription(const std::filesystem::path& file) {
  const std::vector<uint8_t> bytes = ReadWholeFile(file);
  return ParseWorldDescription(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace skyvox::authoring
