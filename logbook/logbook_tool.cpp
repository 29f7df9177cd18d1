#include "logbook/logbook_tool.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

#include "app/run_figures.h"
#include "app/whole_file.h"
#include "logbook/logbook.h"
#include "logbook/personal_bests.h"
#include "net/option_reader.h"
#include "vehicle/units.h"
#include "vehicle/vehicle_state.h"
#include "version/version.h"

namespace velmora::logbook {

namespace {

constexpr const char* kUsage =
    "usage: velmora-logbook [--file PATH] list [--mission TEXT] [--vehicle TEXT]\n"
    "       velmora-logbook [--file PATH] show ID\n"
    "       velmora-logbook [--file PATH] export --csv FILE   (FILE - writes to standard "
    "output)\n"
    "       velmora-logbook [--file PATH] export --trace ID --csv FILE   (the run's samples)\n"
    "       velmora-logbook [--file PATH] plot ID --png FILE [--size WxH] [--compare ID]\n"
    "       velmora-logbook [--file PATH] best [--mission TEXT]   (the personal bests)\n"
    "       velmora-logbook -h | --help | --version\n"
    "The logbook is read only, never changed; without --file it is\n"
    "$XDG_DATA_HOME/velmora/logbook.sqlite (~/.local/share/velmora/logbook.sqlite).\n";

std::string Format(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// A text in one of `list`'s tab-separated columns: tabs, line ends and the
// backslash written as \t, \n, \r and \\, so that each run stays one line.
std::string Column(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '\t':
        escaped += "\\t";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// Whether out names the logbook or one of its journal files, by any name:
// the same file on the same device, through a link or another spelling.
bool IsTheLogbook(const std::string& logbook, const std::string& out) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code error;
    if (std::filesystem::equivalent(logbook + suffix, out, error) && !error) return true;
  }
  return false;
}

constexpr int kPlotWidth = 1200, kPlotHeight = 900;  // px, without --size
constexpr int kPlotMin = 200, kPlotMax = 8000;       // px, either side

std::optional<int64_t> ReadId(const std::string& text) {
  return net::ReadWholeNumber(text, 1, std::numeric_limits<int64_t>::max());
}

// "WxH" within the picture's bounds.
bool ReadSize(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const std::optional<int64_t> w = net::ReadWholeNumber(text.substr(0, x), kPlotMin, kPlotMax);
  const std::optional<int64_t> h = net::ReadWholeNumber(text.substr(x + 1), kPlotMin, kPlotMax);
  if (!w || !h) return false;
  width = static_cast<int>(*w);
  height = static_cast<int>(*h);
  return true;
}

// A run's trace, read and unpacked.
std::optional<std::string> LoadTrace(TLogbookStore& store, int64_t id, app::TRunTrace& trace) {
  std::string bytes;
  if (auto failure = store.FindTrace(id, bytes)) return failure;
  if (bytes.empty()) {
    return "記録 " + std::to_string(id) + " には軌跡がありません（軌跡を残す前の版の記録です）";
  }
  if (auto fault = app::DecodeTrace(bytes, trace)) return "記録 " + std::to_string(id) + ": " + *fault;
  return std::nullopt;
}

// The best of a run's own kind: a landing for an aircraft, a stop for a
// train, a race for a car.
std::optional<TBestKind> BestKindOfVehicle(int32_t vehicleKind) {
  switch (vehicleKind) {
    case vehicle::kKindAircraft:
      return TBestKind::Landing;
    case vehicle::kKindTrain:
      return TBestKind::Stop;
    case vehicle::kKindRoad:
      return TBestKind::Race;
    default:
      return std::nullopt;
  }
}

// Writes an output whole, or to standard output for "-".
int WriteOutput(const std::string& file, const std::string& bytes, std::ostream& out,
                std::ostream& err) {
  if (file == "-") {
    out << bytes;
    return 0;
  }
  if (const int error = app::WriteWholeFile(file, bytes)) {
    err << "velmora-logbook: " << file << " に書き込めません: " << app::FileFaultJapanese(error)
        << "\n";
    return 1;
  }
  return 0;
}

// Refuses an output that is the logbook itself.
bool RefuseLogbook(const std::string& path, const std::string& file, std::ostream& err) {
  if (file == "-" || !IsTheLogbook(path, file)) return false;
  err << "velmora-logbook: " << file << " は記録簿 " << path
      << " そのものです。別の出力ファイルを指定してください\n";
  return true;
}

int Plot(TLogbookStore& store, const std::string& path, net::TOptionReader& line,
         std::ostream& out, std::ostream& err, const TPlotter& plot) {
  const std::optional<int64_t> id = ReadId(line.AtEnd() ? "" : line.Take());
  std::string png;
  int width = kPlotWidth, height = kPlotHeight;
  int64_t compare = 0;
  while (!line.AtEnd()) {
    const std::string option = line.Take();
    const std::optional<std::string> value = line.Value();
    std::optional<int64_t> other;
    if (value && option == "--png") {
      png = *value;
    } else if (value && option == "--size" && ReadSize(*value, width, height)) {
    } else if (value && option == "--compare" && (other = ReadId(*value))) {
      compare = *other;
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (!id || png.empty()) {
    err << kUsage;
    return 2;
  }
  if (RefuseLogbook(path, png, err)) return 2;
  TRunRow run;
  bool found = false;
  if (auto failure = store.Find(*id, run, found)) {
    err << "velmora-logbook: " << *failure << "\n";
    return 1;
  }
  if (!found) {
    err << "velmora-logbook: 記録 " << *id << " はありません\n";
    return 1;
  }
  std::vector<app::TChart> charts;
  if (auto failure = ChartsOfRun(store, run, compare, charts)) {
    err << "velmora-logbook: " << *failure << "\n";
    return 1;
  }
  const std::string bytes = plot ? plot(charts, width, height) : std::string();
  if (bytes.empty()) {
    err << "velmora-logbook: 記録 " << *id << " の図を描けません\n";
    return 1;
  }
  if (const int status = WriteOutput(png, bytes, out, err)) return status;
  if (png != "-") {
    out << "記録 " << *id << " の図（" << charts.size() << " 枚）を " << png
        << " に書き出しました\n";
  }
  return 0;
}

int ListBests(TLogbookStore& store, net::TOptionReader& line, std::ostream& out,
              std::ostream& err) {
  std::string mission;
  while (!line.AtEnd()) {
    const std::string option = line.Take();
    const std::optional<std::string> value = line.Value();
    if (!value || option != "--mission") {
      err << kUsage;
      return 2;
    }
    mission = *value;
  }
  std::vector<TBest> bests;
  if (auto failure = store.Bests(bests)) {
    err << "velmora-logbook: " << *failure << "\n";
    return 1;
  }
  out << "ミッション\t自己ベスト\tID\t開始\t車両\n";
  for (const TBest& b : bests) {
    if (b.Mission.find(mission) == std::string::npos) continue;
    out << Column(b.Mission) << "\t" << BestText(b) << "\t" << b.RunId << "\t"
        << Column(b.Started) << "\t" << Column(b.Vehicle) << "\n";
  }
  return 0;
}

int ExportTrace(TLogbookStore& store, int64_t id, const std::string& csv, std::ostream& out,
                std::ostream& err) {
  app::TRunTrace trace;
  TRunRow run;
  bool found = false;
  std::optional<std::string> failure = store.Find(id, run, found);
  if (!failure && !found) failure = "記録 " + std::to_string(id) + " はありません";
  if (!failure) failure = LoadTrace(store, id, trace);
  if (failure) {
    err << "velmora-logbook: " << *failure << "\n";
    return 1;
  }
  std::ostringstream text;
  WriteTraceCsv(text, trace);
  if (const int status = WriteOutput(csv, text.str(), out, err)) return status;
  if (csv != "-") {
    out << "記録 " << id << " の軌跡（" << trace.Samples.size() << " 点、出来事 "
        << trace.Events.size() << " 件）を " << csv << " に書き出しました\n";
  }
  return 0;
}

}  // namespace

std::optional<std::string> ChartsOfRun(TLogbookStore& store, const TRunRow& run, int64_t compare,
                                       std::vector<app::TChart>& out) {
  out.clear();
  app::TRunTrace trace;
  if (auto failure = LoadTrace(store, run.Id, trace)) return failure;
  app::TRunTrace other;
  std::string otherName;
  if (compare != 0) {
    TRunRow o;
    bool found = false;
    if (auto failure = store.Find(compare, o, found)) return failure;
    if (!found) return "記録 " + std::to_string(compare) + " はありません";
    if (o.Mission != run.Mission) {
      return "記録 " + std::to_string(run.Id) + " と " + std::to_string(compare) +
             " はミッションが違うので重ねられません";
    }
    if (auto failure = LoadTrace(store, compare, other)) return failure;
    otherName = "記録 " + std::to_string(compare) + "（" + o.Started + "）";
  } else if (const std::optional<TBestKind> kind = BestKindOfVehicle(run.VehicleKind)) {
    // Something to beat: the mission's best of the run's kind, unless it is this run.
    std::vector<TBest> bests;
    store.Bests(bests);
    for (const TBest& b : bests) {
      if (b.Mission == run.Mission && b.Kind == *kind && b.RunId != run.Id &&
          !LoadTrace(store, b.RunId, other)) {
        otherName = "自己ベスト（" + b.Started + "）";
      }
    }
  }
  out = app::RunCharts(trace, otherName.empty() ? nullptr : &other, otherName);
  return std::nullopt;
}

std::string EventText(const TEventRow& e) {
  if (e.Kind == "touchdown") {
    return "  接地 " + Format("%.1f", e.At) + " s  " +
           (e.Runway.empty() ? "（滑走路外）" : e.Runway) + "  " + app::GradeNameOfKey(e.Grade) +
           "  降下率 " + Format("%.0f", e.SinkRate * units::kFeetPerMinutePerMetrePerSecond) +
           " ft/min (" + Format("%.2f", e.SinkRate) + " m/s)  荷重 " +
           Format("%.2f", e.VerticalLoad) + " G  対気 " +
           Format("%.0f", e.Airspeed * units::kKnotsPerMetrePerSecond) + " kt  対地 " +
           Format("%.0f", e.GroundSpeed * units::kKnotsPerMetrePerSecond) + " kt  ピッチ " +
           Format("%.1f", e.Pitch) + "  バンク " + Format("%.1f", e.Bank) + "  進入端から " +
           Format("%.0f", e.PastThreshold) + " m  目標点から " + Format("%+.0f", e.FromAimPoint) +
           " m  中心線 " + Format("%+.1f", e.CentreLine) + " m  バウンド " +
           std::to_string(e.Bounces);
  }
  const std::string train = "  制限超過 " +
                            Format("%.1f", e.OverLimit * units::kKmhPerMetrePerSecond) +
                            " km/h  ATS " + std::to_string(e.ProtectionBrakes) + " 回  発車から " +
                            Format("%.1f", e.SinceDeparture) + " s";
  if (e.Kind == "stop") {
    return "  停車 " + Format("%.1f", e.At) + " s  誤差 " + Format("%+.2f", e.StopError) + " m" +
           train;
  }
  if (e.Kind == "missed_stop") {
    return "  停止位置通過 " + Format("%.1f", e.At) + " s  停止位置で " +
           Format("%.0f", e.GroundSpeed * units::kKmhPerMetrePerSecond) + " km/h" + train;
  }
  return "  ゴール " + Format("%.1f", e.At) + " s  タイム " + Format("%.2f", e.RaceTime) + " s";
}

std::string EventSummary(const TEventRow& e) {
  if (e.Kind == "touchdown") {
    return Format("%.0f ft/min ", e.SinkRate * units::kFeetPerMinutePerMetrePerSecond) +
           app::GradeNameOfKey(e.Grade);
  }
  if (e.Kind == "stop") return Format("%+.2f m", e.StopError);
  if (e.Kind == "missed_stop") return "停止位置通過";
  return Format("%.2f s", e.RaceTime);
}

int RunTool(const std::vector<std::string>& args, const std::string& defaultPath, std::ostream& out,
            std::ostream& err, const TPlotter& plot) {
  net::TOptionReader line(args);
  if (line.Any({"--help", "-h"})) {
    out << kUsage;
    return 0;
  }
  if (line.Any({"--version"})) {
    out << version::VersionLine("velmora-logbook") << "\n";
    return 0;
  }
  std::string path = defaultPath;
  if (!line.AtEnd() && line.Peek() == "--file") {
    line.Take();
    const std::optional<std::string> file = line.Value();
    if (!file) {
      err << kUsage;
      return 2;
    }
    path = *file;
  }
  if (line.AtEnd()) {
    err << kUsage;
    return 2;
  }
  const std::string command = line.Take();
  if (command != "list" && command != "show" && command != "export" && command != "plot" &&
      command != "best") {
    err << kUsage;
    return 2;
  }
  if (path.empty()) {
    err << "velmora-logbook: 記録簿の場所がわかりません（XDG_DATA_HOME も HOME も未設定）\n";
    return 1;
  }
  if (!std::filesystem::exists(path)) {
    err << "velmora-logbook: 記録簿がまだありません: " << path << "\n";
    return 1;
  }
  TLogbookStore store(path, TAccess::Read);
  if (command == "plot") return Plot(store, path, line, out, err, plot);
  if (command == "best") return ListBests(store, line, out, err);

  if (command == "list" || command == "export") {
    TFilter filter;
    std::string csv;
    std::optional<int64_t> trace;
    while (!line.AtEnd()) {
      const std::string option = line.Take();
      const std::optional<std::string> value = line.Value();
      if (value && command == "list" && option == "--mission") {
        filter.Mission = *value;
      } else if (value && command == "list" && option == "--vehicle") {
        filter.Vehicle = *value;
      } else if (value && command == "export" && option == "--csv") {
        csv = *value;
      } else if (value && command == "export" && option == "--trace" && (trace = ReadId(*value))) {
      } else {
        err << kUsage;
        return 2;
      }
    }
    if (command == "export" && csv.empty()) {
      err << kUsage;
      return 2;
    }
    if (command == "export" && RefuseLogbook(path, csv, err)) return 2;
    if (trace) return ExportTrace(store, *trace, csv, out, err);
    std::vector<TRunRow> runs;
    if (auto failure = store.List(filter, runs)) {
      err << "velmora-logbook: " << *failure << "\n";
      return 1;
    }
    if (command == "list") {
      out << "ID\t開始\t時間\tミッション\t車両\t終わり方\t距離\t記録\n";
      for (const TRunRow& r : runs) {
        out << r.Id << "\t" << Column(r.Started) << "\t" << Format("%.0f", r.Duration) << " s\t"
            << Column(r.Mission) << "\t" << Column(r.Vehicle) << "\t"
            << Column(app::EndNameOfKey(r.Ending)) << "\t" << Format("%.0f", r.Distance)
            << " m\t" << (r.Replay.empty() ? "" : "録画あり") << "\n";
      }
      return 0;
    }
    for (TRunRow& r : runs) {
      bool found = false;
      if (auto failure = store.Find(r.Id, r, found)) {
        err << "velmora-logbook: " << *failure << "\n";
        return 1;
      }
    }
    std::ostringstream text;
    WriteCsv(text, runs);
    if (const int status = WriteOutput(csv, text.str(), out, err)) return status;
    if (csv != "-") out << runs.size() << " 件の記録を " << csv << " に書き出しました\n";
    return 0;
  }

  const std::string idText = line.AtEnd() ? "" : line.Take();
  const std::optional<int64_t> id = net::ReadWholeNumber(
      idText, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  if (id && line.AtEnd()) {
    TRunRow r;
    bool found = false;
    if (auto failure = store.Find(*id, r, found)) {
      err << "velmora-logbook: " << *failure << "\n";
      return 1;
    }
    if (!found) {
      err << "velmora-logbook: 記録 " << idText << " はありません\n";
      return 1;
    }
    out << "記録 " << r.Id << "\n"
        << "ミッション: " << r.Mission << "\n"
        << "車両: " << r.Vehicle << "（型 " << r.VehicleType << "）\n"
        << "ハンドル: " << r.Handle << "  サーバー: " << r.Server << "  ワールド: " << r.WorldNo
        << "\n"
        << "開始: " << r.Started << "  終了: " << r.Ended
        << "  時間: " << Format("%.1f", r.Duration) << " s\n"
        << "距離: " << Format("%.0f", r.Distance)
        << " m  最高速度: " << Format("%.0f", r.TopSpeed * units::kKmhPerMetrePerSecond)
        << " km/h (" << Format("%.0f", r.TopSpeed * units::kKnotsPerMetrePerSecond)
        << " kt)  最高高度: " << Format("%.0f", r.TopHeight) << " m\n"
        << "終わり方: " << app::EndNameOfKey(r.Ending)
        << (r.CrashMessage.empty() ? "" : "  " + r.CrashMessage) << "\n"
        << "録画: " << (r.Replay.empty() ? "なし" : r.Replay) << "\n";
    for (const TEventRow& e : r.Events) out << EventText(e) << "\n";
    return 0;
  }
  err << kUsage;
  return 2;
}

}  // namespace velmora::logbook
