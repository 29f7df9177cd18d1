#include "world/objects_dat.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <utility>

#include "net/field_reader.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/data_fields.h"

namespace velmora::world {
namespace {

constexpr const char* kPanelCaption = "行先を選択してください。";
constexpr const char* kPanelNoDestination = "・行先を指定しない";
constexpr const char* kPanelKeep = "・そのまま";
constexpr double kStraightInLimit = 10.0;  // |turn| in rad × 2000 still counted as straight in
constexpr std::size_t kMaxBitsDigits = 32;  // digits of a bit field: the bits of its 32-bit value

// Reads the fields of one line in order, remembering why the first one failed.
class LineFields {
 public:
  LineFields(std::string_view text, vehicle::RendererApi& renderer)
      : reader_(text), renderer_(renderer) {}

  bool Integer(const char* name, int32_t& value) {
    const std::optional<int32_t> read = fields::ReadInteger(reader_, name, problem_);
    if (read) value = *read;
    return read.has_value();
  }
  // A field in tenths (of a metre or degree).
  bool Tenths(const char* name, double& value) { return Scaled(name, 10.0, value); }
  // A field in thousandths (mm, or thousandths of a degree).
  bool Thousandths(const char* name, double& value) { return Scaled(name, 1000.0, value); }

  // A TAB-ended colour, or one that takes the rest of the line.
  bool Colour(const char* name, int32_t& colour) {
    return ParseColour(name, reader_.ReadText(), colour);
  }
  bool ColourRest(const char* name, int32_t& colour) {
    return ParseColour(name, fields::TrimControl(reader_.Rest()), colour);
  }
  bool ParseColour(const char* name, std::string_view text, int32_t& colour) {
    const std::optional<int32_t> value = fields::ParseHexColour(text);
    if (!value) {
      problem_ = std::string(name) + " is not a hexadecimal colour: '" + net::Excerpt(text) + "'";
      return false;
    }
    colour = *value;
    return true;
  }

  // A TAB-ended name, trimmed.
  std::string Name() { return std::string(fields::TrimControl(reader_.ReadText())); }
  // The rest of the line, trimmed.
  std::string Rest() const { return std::string(fields::TrimControl(reader_.Rest())); }

  // Loads a texture named by text; empty text gives 0 when optional.
  bool Texture(const std::string& name, bool optional, int32_t& textureId) {
    textureId = 0;
    if (name.empty()) {
      if (optional) return true;
      problem_ = "the texture file name is missing";
      return false;
    }
    textureId = fields::LoadTexture(renderer_, name, 0, problem_);
    return textureId != 0;
  }

  // A run of the digits 0 and 1 ended by ";". Any other character would
  // leave the field unread and shift every later field, so it is an error.
  // So is a run longer than the 32 bits the value holds: its leading digits
  // would drop out unseen (a mask for line 33 and up reads as no line at all).
  // An empty run reads as 0, a segment no train may use.
  bool Bits(const char* name, int32_t& value) {
    const std::string_view rest = reader_.Rest();
    const std::size_t end = rest.find(';');
    const std::string_view digits = rest.substr(0, end);
    if (end == std::string_view::npos || digits.find_first_not_of("01") != std::string_view::npos) {
      problem_ = std::string(name) + " is not a run of the digits 0 and 1 ended by ';': '" +
                 net::Excerpt(digits) + "'";
      return false;
    }
    if (digits.size() > kMaxBitsDigits) {
      problem_ = std::string(name) + " has " + std::to_string(digits.size()) +
                 " digits; it holds at most " + std::to_string(kMaxBitsDigits) +
                 " (one per line number 1..32)";
      return false;
    }
    value = reader_.ReadBits();
    return true;
  }
  void Fail(std::string problem) { problem_ = std::move(problem); }
  const std::string& Problem() const { return problem_; }

 private:
  bool Scaled(const char* name, double unitsPerValue, double& value) {
    int32_t raw = 0;
    if (!Integer(name, raw)) return false;
    value = raw / unitsPerValue;
    return true;
  }

  net::FieldReader reader_;
  vehicle::RendererApi& renderer_;
  std::string problem_;
};

float F(double value) { return static_cast<float>(value); }

double SegmentLength(double x1, double y1, double x2, double y2) {
  return std::hypot(x2 - x1, y2 - y1);
}

// Everything one line adds to the world.
struct TParsedLine {
  std::unique_ptr<TShapeInfo> Object;
  TRunwayInfo* Runway = nullptr;
  const TRaceCrsInfo* RaceStart = nullptr;
  std::optional<TTrackRecord> Track;
};

bool ParseLine(const std::string& keyword, LineFields& f, const TObjectsLoadContext& context,
               TParsedLine& out) {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, z = 0, width = 0;
  int32_t colour = 0, texture = 0;
  const auto readSegment = [&] {
    return f.Tenths("x1", x1) && f.Tenths("y1", y1) && f.Tenths("x2", x2) && f.Tenths("y2", y2);
  };

  if (keyword == "Line" || keyword == "Wall") {
    const bool wall = keyword == "Wall";
    if (!readSegment() || !f.Thousandths(wall ? "top z" : "z", z) ||
        !f.Thousandths(wall ? "thickness" : "width", width) || !f.Colour("colour", colour) ||
        !f.Texture(f.Rest(), true, texture)) {
      return false;
    }
    if (wall) {
      out.Object = std::make_unique<TWallInfo>(F(x1), F(y1), F(x2), F(y2), F(z), F(width),
                                               colour, texture);
    } else {
      out.Object = std::make_unique<TLineInfo>(F(x1), F(y1), F(x2), F(y2), F(z), F(width),
                                               colour, texture);
    }
    return true;
  }

  if (keyword == "Arc" || keyword == "RaceCrsArc") {
    const bool race = keyword == "RaceCrsArc";
    double radius = 0;
    int32_t from = 0, to = 0;
    if (!f.Tenths("centre x", x1) || !f.Tenths("centre y", y1) || !f.Thousandths("z", z) ||
        !f.Tenths("radius", radius) || !f.Thousandths("width", width) ||
        !f.Integer("from-angle", from) || !f.Integer("to-angle", to)) {
      return false;
    }
    if (!race && !f.Colour("colour", colour)) return false;
    if (!f.Texture(f.Rest(), !race, texture)) return false;
    if (ArcPieceCount(F(radius), F(from), F(to)) > kArcPieceIds) {
      f.Fail("the arc needs more than 361 pieces (too long for its radius)");
      return false;
    }
    if (race) {
      out.Object = std::make_unique<TRaceCrsArcInfo>(F(x1), F(y1), F(z), F(radius), F(width),
                                                     F(from), F(to), texture);
    } else {
      out.Object = std::make_unique<TArcInfo>(F(x1), F(y1), F(z), F(radius), F(width), F(from),
                                              F(to), colour, texture);
    }
    return true;
  }

  if (keyword == "BlinkLight") {
    if (!f.Tenths("x", x1) || !f.Tenths("y", y1) || !f.Thousandths("z", z) ||
        !f.ColourRest("colour", colour)) {
      return false;
    }
    out.Object = std::make_unique<TBlinkLightInfo>(F(x1), F(y1), F(z), colour, context.Clock);
    return true;
  }

  if (keyword == "Runway") {
    double offset = 0, course = 0;
    if (!readSegment() || !f.Thousandths("z", z) || !f.Thousandths("width", width) ||
        !f.Tenths("approach offset", offset) || !f.Thousandths("approach course", course)) {
      return false;
    }
    const std::string textureName = f.Name();
    if (!f.Texture(textureName, false, texture)) return false;
    if (TRunwayInfo::StripeCount(SegmentLength(F(x1), F(y1), F(x2), F(y2))) > kMaxRunwayStripes) {
      f.Fail("the runway is 5150 m long or longer: more than 100 centre-line stripes");
      return false;
    }
    auto runway = std::make_unique<TRunwayInfo>(F(x1), F(y1), F(x2), F(y2), F(z), F(width),
                                                F(offset), F(course), texture, f.Rest(),
                                                context.Clock);
    out.Runway = runway.get();
    out.Object = std::move(runway);
    return true;
  }

  if (keyword == "Taxiway" || keyword == "Apron") {
    double setbackStart = 0, startLeft = 0, startRight = 0;
    double setbackEnd = 0, endLeft = 0, endRight = 0;
    if (!readSegment() || !f.Thousandths("z", z) || !f.Thousandths("width", width) ||
        !f.Tenths("start setback", setbackStart) || !f.Tenths("start-left radius", startLeft) ||
        !f.Tenths("start-right radius", startRight) || !f.Tenths("end setback", setbackEnd) ||
        !f.Tenths("end-left radius", endLeft) || !f.Tenths("end-right radius", endRight) ||
        !f.Texture(f.Rest(), false, texture)) {
      return false;
    }
    for (const double radius : {startLeft, startRight, endLeft, endRight}) {
      if (F(radius) > 0 && ArcPieceCount(F(radius), 0, 90) > kFilletPieceIds) {
        f.Fail("a fillet radius needs more than 182 pieces (too large)");
        return false;
      }
    }
    out.Object = std::make_unique<TTaxiwayInfo>(
        F(x1), F(y1), F(x2), F(y2), F(z), F(width), F(setbackStart), F(startLeft),
        F(startRight), F(setbackEnd), F(endLeft), F(endRight), texture);
    return true;
  }

  if (keyword == "RaceCrs") {
    double startLine = 0;
    if (!readSegment() || !f.Thousandths("z", z) || !f.Thousandths("width", width) ||
        !f.Tenths("start-line distance", startLine) || !f.Texture(f.Rest(), false, texture)) {
      return false;
    }
    auto race = std::make_unique<TRaceCrsInfo>(F(x1), F(y1), F(x2), F(y2), F(z), F(width),
                                               startLine, texture);
    if (startLine >= 0) out.RaceStart = race.get();
    out.Object = std::move(race);
    return true;
  }

  if (keyword == "Road") {
    if (!readSegment() || !f.Thousandths("z", z) || !f.Thousandths("width", width) ||
        !f.Texture(f.Rest(), false, texture)) {
      return false;
    }
    if (TRoadInfo::LastDashIndex(SegmentLength(F(x1), F(y1), F(x2), F(y2))) >= kMaxRoadDashes) {
      f.Fail("the road is too long: more than 1000 centre-line dashes");
      return false;
    }
    out.Object =
        std::make_unique<TRoadInfo>(F(x1), F(y1), F(x2), F(y2), F(z), F(width), texture);
    return true;
  }

  if (keyword == "Railway") {
    TTrackRecord track;
    double trackZ = 0, stop = 0;
    if (!f.Bits("line mask", track.LineMask) || !f.Tenths("start x", track.StartX) ||
        !f.Tenths("start y", track.StartY) || !f.Tenths("start heading", track.StartHeading) ||
        !f.Tenths("curve radius", track.CurveRadius) || !f.Tenths("end x", track.EndX) ||
        !f.Tenths("end y", track.EndY) || !f.Tenths("end heading", track.EndHeading) ||
        !f.Tenths("track z", trackZ) || !f.Integer("track id", track.TrackId) ||
        !f.Integer("direction", track.Direction) || !f.Tenths("stop position", stop) ||
        !f.Texture(f.Rest(), false, texture)) {
      return false;
    }
    track.StopPosition = stop;
    TRailLayout layout;
    std::string problem;
    if (!TRailwayInfo::Layout(F(track.StartX), F(track.StartY), F(track.StartHeading),
                              F(track.CurveRadius), F(track.EndX), F(track.EndY),
                              F(track.EndHeading), layout, &problem)) {
      f.Fail("railway segment cannot be drawn: " + problem);
      return false;
    }
    out.Object = std::make_unique<TRailwayInfo>(
        F(track.StartX), F(track.StartY), F(track.StartHeading), F(track.CurveRadius),
        F(track.EndX), F(track.EndY), F(track.EndHeading), F(trackZ), texture);
    out.Track = track;
    return true;
  }

  if (keyword == "Banner") {
    if (!readSegment() || !f.Thousandths("top z", z)) return false;
    const std::string textureName = f.Name();
    if (!f.Texture(textureName, false, texture)) return false;
    out.Object = std::make_unique<TBannerInfo>(F(x1), F(y1), F(x2), F(y2), F(z), texture,
                                               f.Rest());
    return true;
  }

  f.Fail("unknown keyword '" + net::Excerpt(keyword) + "'");
  return false;
}

}  // namespace

std::string DestinationRowText(const std::string& name, double x1, double y1, double x2,
                               double y2, double approachCourse, double windEast,
                               double windNorth) {
  std::string text = "・" + name;
  const double heading = vehicle::Normalise360(vehicle::Atan2Deg(x2 - x1, y2 - y1));
  const double turn = vehicle::Normalise180(heading - approachCourse);
  const double turnMeasure = turn * units::kRadiansPerDegree * 2000.0;
  char buffer[64];
  if (turnMeasure < -kStraightInLimit) {
    std::snprintf(buffer, sizeof buffer, "　左%.0f°旋回", -turn);
    text += buffer;
  } else if (turnMeasure > kStraightInLimit) {
    std::snprintf(buffer, sizeof buffer, "　右%.0f°旋回", turn);
    text += buffer;
  } else {
    text += "　直線進入";
  }
  // Calm air blows from no direction, so it never blows across a runway.
  if (windEast != 0 || windNorth != 0) {
    const double wind = vehicle::Normalise360(vehicle::Atan2Deg(windEast, windNorth));
    if (std::fabs(std::fabs(vehicle::Normalise180(wind - heading)) - 90.0) < 45.0) {
      text += "　横風";
    }
  }
  return text;
}

bool TWorldObjectList::Append(std::unique_ptr<TShapeInfo> object) {
  if (Count() >= kMaxWorldObjects) return false;
  objects_.push_back(std::move(object));
  return true;
}

TObjectsLoadResult LoadObjects(const std::filesystem::path& file, TWorld& world,
                               vehicle::RendererApi& renderer,
                               const TObjectsLoadContext& context) {
  net::DataFileLines lines = net::ReadDataFileLines(file);
  if (lines.Error) {
    TObjectsLoadResult result;
    result.Code = kWorldLoadFailure;
    // The file as a whole failed (missing, unreadable) or one line cannot be
    // converted: no "Line 0" for the former.
    result.Message = lines.Error->Line > 0
                         ? "objects.datの形式が異常です: Line " +
                               std::to_string(lines.Error->Line) + ": " + lines.Error->Reason
                         : "objects.datを読めません: " + lines.Error->Message();
    result.Error = std::move(lines.Error);
    return result;
  }
  return LoadObjectsLines(lines.Lines, file.string(), world, renderer, context);
}

TObjectsLoadResult LoadObjectsLines(const std::vector<std::string>& lines,
                                    const std::string& fileName, TWorld& world,
                                    vehicle::RendererApi& renderer,
                                    const TObjectsLoadContext& context) {
  TObjectsLoadResult result;
  TDestinationPanel& panel = world.DestinationPanel;
  panel = TDestinationPanel{};
  panel.RowCount = kDestinationPanelRows;
  panel.Rows[0] = kPanelCaption;
  world.Objects.Clear();
  world.DestinationCount = 0;
  world.Destinations.fill(nullptr);
  world.Track.Count = 0;
  world.Track.Slots[0] = TTrackRecord{};
  world.Track.Slots[0].CurveRadius = -1;
  world.RaceStartLine = nullptr;

  int lineNo = 0;
  for (const std::string& raw : lines) {
    ++lineNo;
    const std::string line(fields::TrimControl(raw));
    if (line.empty()) continue;

    const std::size_t tab = line.find('\t');
    const std::string keyword(fields::TrimControl(std::string_view(line).substr(0, tab)));
    const std::string_view rest =
        tab == std::string::npos ? std::string_view() : std::string_view(line).substr(tab + 1);
    LineFields f(rest, renderer);
    TParsedLine parsed;
    bool ok = true;
    if (world.Objects.Count() >= kMaxWorldObjects) {
      f.Fail("more than 200000 objects");
      ok = false;
    } else if (keyword == "Runway" && world.DestinationCount >= kMaxDestinations) {
      f.Fail("more than 20 runways");
      ok = false;
    } else if (keyword == "Railway" && world.Track.Count >= kMaxTrackRecords) {
      f.Fail("more than 200 railway segments");
      ok = false;
    } else {
      ok = ParseLine(keyword, f, context, parsed);
    }
    if (!ok) {
      result.Code = kWorldLoadFailure;
      result.Error = net::DataFileError{fileName, lineNo, f.Problem()};
      result.Message = "objects.datの形式が異常です: Line " + std::to_string(lineNo) + ": " +
                       net::Excerpt(line) + "\n" + f.Problem();
      return result;
    }

    if (parsed.Runway) {
      const TRunwayInfo& runway = *parsed.Runway;
      world.Destinations[world.DestinationCount++] = parsed.Runway;
      panel.Rows[world.DestinationCount] = DestinationRowText(
          runway.Name, runway.X1, runway.Y1, runway.X2, runway.Y2, runway.ApproachCourse,
          context.WindEast, context.WindNorth);
    }
    if (parsed.RaceStart) world.RaceStartLine = parsed.RaceStart;
    world.Objects.Append(std::move(parsed.Object));
    if (parsed.Track) {
      world.Track.Slots[world.Track.Count++] = *parsed.Track;
      world.Track.Slots[world.Track.Count] = TTrackRecord{};
      world.Track.Slots[world.Track.Count].CurveRadius = -1;
    }
  }

  panel.Rows[world.DestinationCount + 1] = kPanelNoDestination;
  panel.Rows[world.DestinationCount + 2] = kPanelKeep;
  panel.RowCount = world.DestinationCount + 3;
  result.TrackNotices = BuildTrackConnections(world.Track);
  if (world.Objects.Count() == 0) result.Notices.push_back(fileName + " に物体がありません。");
  return result;
}

}  // namespace velmora::world
