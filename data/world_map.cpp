#include "data/world_map.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_FAILURE_USERMSG
#include <stb_image.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "net/json_text.h"
#include "vehicle/geometry.h"
#include "vehicle/null_renderer.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"
#include "world/shapes.h"

namespace velmora::data {
namespace {

using world::TWorld;

constexpr uint32_t kUnknownColour = 0x808080;
// Curves become straight pieces of at most this many degrees.
constexpr double kArcStepDeg = 5.0;
// Stops nearer to each other than this are one station (a loop beside the
// main line).
constexpr double kStationMergeM = 150.0;
// Room around the objects in the map's bounds.
constexpr double kBoundsMarginM = 400.0;

struct TPoint {
  double X, Y;  // m, east and north
};

struct TBounds {
  double West = std::numeric_limits<double>::infinity();
  double South = std::numeric_limits<double>::infinity();
  double East = -std::numeric_limits<double>::infinity();
  double North = -std::numeric_limits<double>::infinity();
  void Take(const TPoint& p, double margin = 0) {
    West = std::min(West, p.X - margin);
    East = std::max(East, p.X + margin);
    South = std::min(South, p.Y - margin);
    North = std::max(North, p.Y + margin);
  }
};

struct TStation {
  TPoint At;
  int32_t Lines;
  int Stops;
};

void Number(std::string& out, double value) {
  if (std::fabs(value) < 0.05) value = 0;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
  out.append(text, result.ptr);
}

void Key(std::string& out, const char* name) {
  if (out.back() != '{') out += ',';
  out += '"';
  out += name;
  out += "\":";
}

void Colour(std::string& out, uint32_t rgb) {
  char text[16];
  std::snprintf(text, sizeof text, "\"#%06x\"", static_cast<unsigned>(rgb & 0xFFFFFF));
  out += text;
}

void Points(std::string& out, const std::vector<TPoint>& points) {
  out += '[';
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) out += ',';
    out += '[';
    Number(out, points[i].X);
    out += ',';
    Number(out, points[i].Y);
    out += ']';
  }
  out += ']';
}

TPoint OnBearing(double centreX, double centreY, double radius, double bearingDeg) {
  const double a = bearingDeg * M_PI / 180.0;
  return {centreX + radius * std::sin(a), centreY + radius * std::cos(a)};
}

// An arc from `fromDeg` clockwise to `toDeg` (through north when toDeg is not
// above fromDeg), as a polyline.
std::vector<TPoint> ArcPoints(double centreX, double centreY, double radius, double fromDeg,
                              double toDeg) {
  if (toDeg <= fromDeg) toDeg += 360.0;
  const int steps = std::max(1, static_cast<int>(std::ceil((toDeg - fromDeg) / kArcStepDeg)));
  std::vector<TPoint> points;
  for (int i = 0; i <= steps; ++i) {
    points.push_back(OnBearing(centreX, centreY, radius, fromDeg + (toDeg - fromDeg) * i / steps));
  }
  return points;
}

// A railway segment's centre line from its start to its end, and the point
// `stop` metres along it (nullopt beyond its end).
std::vector<TPoint> RailPoints(const world::TTrackRecord& r, double stop,
                               std::optional<TPoint>& stopAt) {
  world::TRailLayout l;
  world::TRailwayInfo::Layout(r.StartX, r.StartY, r.StartHeading, r.CurveRadius, r.EndX, r.EndY,
                              r.EndHeading, l, nullptr);
  std::vector<TPoint> points = {{r.StartX, r.StartY}};
  if (l.Curved) {
    const double radius = std::hypot(l.T1X - l.KX, l.T1Y - l.KY);
    const double from = vehicle::Atan2Deg(l.T1X - l.KX, l.T1Y - l.KY);
    const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(l.Turn) / kArcStepDeg)));
    for (int i = 0; i <= steps; ++i) {
      points.push_back(OnBearing(l.KX, l.KY, radius, from + l.Turn * i / steps));
    }
  }
  points.push_back({r.EndX, r.EndY});
  // The stop, walked along the polyline.
  double left = stop;
  for (std::size_t i = 1; i < points.size() && stop >= 0; ++i) {
    const double length = std::hypot(points[i].X - points[i - 1].X, points[i].Y - points[i - 1].Y);
    if (left <= length && length > 0) {
      const double t = left / length;
      stopAt = TPoint{points[i - 1].X + t * (points[i].X - points[i - 1].X),
                      points[i - 1].Y + t * (points[i].Y - points[i - 1].Y)};
      break;
    }
    left -= length;
  }
  return points;
}

struct TStrip {
  const char* Kind;
  double Width;  // m
  std::vector<TPoint> Points;
};

}  // namespace

std::string WorldMapJson(const TWorld& world, const TTextureColours& colours) {
  std::vector<TStrip> strips;
  std::string runways = "[";
  TBounds bounds;
  for (int i = 0; i < world.Objects.Count(); ++i) {
    const world::TShapeInfo& object = world.Objects[i];
    // Most specific classes first: a runway is a kind of line too.
    if (const auto* runway = dynamic_cast<const world::TRunwayInfo*>(&object)) {
      strips.push_back(
          {"runway", runway->Width, {{runway->X1, runway->Y1}, {runway->X2, runway->Y2}}});
      if (runways.size() > 1) runways += ',';
      runways += '{';
      Key(runways, "name");
      net::AppendJsonString(runways, runway->Name);
      Key(runways, "x1");
      Number(runways, runway->X1);
      Key(runways, "y1");
      Number(runways, runway->Y1);
      Key(runways, "x2");
      Number(runways, runway->X2);
      Key(runways, "y2");
      Number(runways, runway->Y2);
      Key(runways, "width");
      Number(runways, runway->Width);
      runways += '}';
    } else if (const auto* taxiway = dynamic_cast<const world::TTaxiwayInfo*>(&object)) {
      strips.push_back({taxiway->Width > 100 ? "apron" : "taxiway",
                        taxiway->Width,
                        {{taxiway->X1, taxiway->Y1}, {taxiway->X2, taxiway->Y2}}});
    } else if (const auto* race = dynamic_cast<const world::TRaceCrsInfo*>(&object)) {
      strips.push_back({"race", race->Width, {{race->X1, race->Y1}, {race->X2, race->Y2}}});
    } else if (const auto* bend = dynamic_cast<const world::TRaceCrsArcInfo*>(&object)) {
      strips.push_back(
          {"race", bend->Width,
           ArcPoints(bend->CentreX, bend->CentreY, bend->Radius, bend->FromAngle, bend->ToAngle)});
    } else if (const auto* road = dynamic_cast<const world::TRoadInfo*>(&object)) {
      strips.push_back({"road", road->Width, {{road->X1, road->Y1}, {road->X2, road->Y2}}});
    } else if (const auto* wall = dynamic_cast<const world::TWallInfo*>(&object)) {
      strips.push_back({"building", wall->Width, {{wall->X1, wall->Y1}, {wall->X2, wall->Y2}}});
    }
  }
  runways += ']';

  std::string railway = "[";
  std::vector<TStation> stations;
  for (int n = 1; n <= world.Track.Count; ++n) {
    const world::TTrackRecord& record = world.Track.Record(n);
    std::optional<TPoint> stop;
    const std::vector<TPoint> points = RailPoints(record, record.StopPosition, stop);
    for (const TPoint& p : points) bounds.Take(p, kBoundsMarginM);
    if (railway.size() > 1) railway += ',';
    railway += '{';
    Key(railway, "lines");
    railway += std::to_string(record.LineMask);
    Key(railway, "points");
    Points(railway, points);
    railway += '}';
    if (!stop) continue;
    const auto near = std::find_if(stations.begin(), stations.end(), [&](const TStation& s) {
      return std::hypot(s.At.X - stop->X, s.At.Y - stop->Y) < kStationMergeM;
    });
    if (near == stations.end()) {
      stations.push_back({*stop, record.LineMask, 1});
    } else {
      // The mean of the stops, every line that stops there.
      near->At.X = (near->At.X * near->Stops + stop->X) / (near->Stops + 1);
      near->At.Y = (near->At.Y * near->Stops + stop->Y) / (near->Stops + 1);
      near->Lines |= record.LineMask;
      ++near->Stops;
    }
  }
  railway += ']';

  for (const TStrip& strip : strips) {
    for (const TPoint& p : strip.Points) bounds.Take(p, kBoundsMarginM);
  }

  std::string out = "{";
  Key(out, "bounds");
  out += '{';
  Key(out, "west");
  Number(out, std::isfinite(bounds.West) ? bounds.West : -1000);
  Key(out, "south");
  Number(out, std::isfinite(bounds.South) ? bounds.South : -1000);
  Key(out, "east");
  Number(out, std::isfinite(bounds.East) ? bounds.East : 1000);
  Key(out, "north");
  Number(out, std::isfinite(bounds.North) ? bounds.North : 1000);
  out += '}';

  // Deepest patches first: a patch nearer the surface lies on top.
  std::vector<const world::TGroundPatch*> ground;
  for (int i = 0; i < world.Ground.Count; ++i) ground.push_back(&world.Ground.Patches[i]);
  std::stable_sort(ground.begin(), ground.end(),
                   [](const auto* a, const auto* b) { return a->Z > b->Z; });
  Key(out, "ground");
  out += '[';
  for (std::size_t i = 0; i < ground.size(); ++i) {
    const world::TGroundPatch& g = *ground[i];
    if (i > 0) out += ',';
    out += '{';
    Key(out, "x1");
    Number(out, std::min(g.X1, g.X2));
    Key(out, "y1");
    Number(out, std::min(g.Y1, g.Y2));
    Key(out, "x2");
    Number(out, std::max(g.X1, g.X2));
    Key(out, "y2");
    Number(out, std::max(g.Y1, g.Y2));
    Key(out, "colour");
    if (g.TextureId == 0) {
      // Red in the low byte.
      const auto bgr = static_cast<uint32_t>(g.Colour);
      Colour(out, ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF));
    } else {
      const auto it = colours.find(g.TextureId);
      Colour(out, it != colours.end() ? it->second : kUnknownColour);
    }
    out += '}';
  }
  out += ']';

  Key(out, "strips");
  out += '[';
  for (std::size_t i = 0; i < strips.size(); ++i) {
    if (i > 0) out += ',';
    out += '{';
    Key(out, "kind");
    net::AppendJsonString(out, strips[i].Kind);
    Key(out, "width");
    Number(out, strips[i].Width);
    Key(out, "points");
    Points(out, strips[i].Points);
    out += '}';
  }
  out += ']';
  Key(out, "runways");
  out += runways;
  Key(out, "railway");
  out += railway;
  Key(out, "stations");
  out += '[';
  for (std::size_t i = 0; i < stations.size(); ++i) {
    if (i > 0) out += ',';
    out += '{';
    Key(out, "x");
    Number(out, stations[i].At.X);
    Key(out, "y");
    Number(out, stations[i].At.Y);
    Key(out, "lines");
    out += std::to_string(stations[i].Lines);
    out += '}';
  }
  out += "]}\n";
  return out;
}

namespace {

// Records the textures the loaders ask for and gives each name its own id.
class TextureNames final : public vehicle::TNullRenderer {
 public:
  int32_t DXLoadTexture(const char* fileName, float) override {
    const auto it = std::find(names.begin(), names.end(), fileName);
    if (it != names.end()) return static_cast<int32_t>(it - names.begin()) + 1;
    names.emplace_back(fileName);
    return static_cast<int32_t>(names.size());
  }

  std::vector<std::string> names;  // id n is names[n - 1]
};

// The mean colour of an image's pixels.
std::optional<uint32_t> MeanColour(const std::filesystem::path& file, std::string& problem) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(file.c_str(), &width, &height, &channels, 3);
  if (pixels == nullptr) {
    problem = stbi_failure_reason();
    return std::nullopt;
  }
  double sum[3] = {0, 0, 0};
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (std::size_t i = 0; i < count; ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += pixels[i * 3 + static_cast<std::size_t>(c)];
  }
  stbi_image_free(pixels);
  uint32_t rgb = 0;
  for (int c = 0; c < 3; ++c) {
    rgb = (rgb << 8) | static_cast<uint32_t>(std::lround(sum[c] / static_cast<double>(count)));
  }
  return rgb;
}

}  // namespace

TMapBuild BuildWorldMap(const std::filesystem::path& folder) {
  TMapBuild build;
  auto world = std::make_unique<TWorld>();
  TextureNames renderer;
  const world::TGroundLoadResult ground =
      world::LoadGround(folder / "ground.dat", world->Ground, renderer);
  if (!ground.Ok()) {
    build.Error = ground.Error ? ground.Error->Message() : (folder / "ground.dat").string();
    return build;
  }
  // The ground's textures are all the map needs; objects name theirs too.
  const std::size_t groundTextures = renderer.names.size();
  const world::TObjectsLoadResult objects =
      world::LoadObjects(folder / "objects.dat", *world, renderer, {});
  if (!objects.Ok()) {
    build.Error = objects.Error ? objects.Error->Message() : objects.Message;
    return build;
  }
  TTextureColours colours;
  for (std::size_t i = 0; i < groundTextures; ++i) {
    std::string problem;
    const std::filesystem::path image = folder / renderer.names[i];
    if (const auto colour = MeanColour(image, problem)) {
      colours[static_cast<int32_t>(i) + 1] = *colour;
    } else {
      build.Notes += image.string() + ": " + problem + "; drawn grey\n";
    }
  }
  build.Json = WorldMapJson(*world, colours);
  return build;
}

}  // namespace velmora::data
