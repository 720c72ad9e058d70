// The world description formatter: a WorldDescription back into the text the parser reads.
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
      out += Cp1252ToUtf8(item);  // an ident or folder may hold any character the scenery's text can
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

}  // namespace skyvox::authoring
