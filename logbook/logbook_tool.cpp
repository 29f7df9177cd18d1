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
#include "net/option_reader.h"
#include "vehicle/units.h"
#include "version/version.h"

namespace velmora::logbook {

namespace {

constexpr const char* kUsage =
    "usage: velmora-logbook [--file PATH] list [--mission TEXT] [--vehicle TEXT]\n"
    "       velmora-logbook [--file PATH] show ID\n"
    "       velmora-logbook [--file PATH] export --csv FILE   (FILE - writes to standard "
    "output)\n"
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

}  // namespace

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
            std::ostream& err) {
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
  if (command != "list" && command != "show" && command != "export") {
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

  if (command == "list" || command == "export") {
    TFilter filter;
    std::string csv;
    while (!line.AtEnd()) {
      const std::string option = line.Take();
      const std::optional<std::string> value = line.Value();
      if (value && command == "list" && option == "--mission") {
        filter.Mission = *value;
      } else if (value && command == "list" && option == "--vehicle") {
        filter.Vehicle = *value;
      } else if (value && command == "export" && option == "--csv") {
        csv = *value;
      } else {
        err << kUsage;
        return 2;
      }
    }
    if (command == "export" && csv.empty()) {
      err << kUsage;
      return 2;
    }
    if (command == "export" && csv != "-" && IsTheLogbook(path, csv)) {
      err << "velmora-logbook: " << csv << " は記録簿 " << path
          << " そのものです。別の出力ファイルを指定してください\n";
      return 2;
    }
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
    if (csv == "-") {
      out << text.str();
      return 0;
    }
    if (const int error = app::WriteWholeFile(csv, text.str())) {
      err << "velmora-logbook: " << csv << " に書き込めません: " << app::FileFaultJapanese(error)
          << "\n";
      return 1;
    }
    out << runs.size() << " 件の記録を " << csv << " に書き出しました\n";
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
