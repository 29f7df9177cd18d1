#include "ui/logbook_tool.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ui/logbook.h"
#include "vehicle/units.h"

namespace velmora::ui::logbook {

namespace {

constexpr const char* kUsage =
    "使い方: velmora-logbook [--file PATH] list [--mission TEXT] [--vehicle TEXT]\n"
    "        velmora-logbook [--file PATH] show ID\n"
    "        velmora-logbook [--file PATH] export --csv FILE\n";

std::string Format(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

}  // namespace

std::string EventText(const TEventRow& e) {
  if (e.Kind == "touchdown") {
    return "  接地 " + Format("%.1f", e.At) + " s  " +
           (e.Runway.empty() ? "（滑走路外）" : e.Runway) + "  " + e.Grade + "  降下率 " +
           Format("%.0f", e.SinkRate * units::kFeetPerMinutePerMetrePerSecond) + " ft/min (" +
           Format("%.2f", e.SinkRate) + " m/s)  荷重 " + Format("%.2f", e.VerticalLoad) +
           " G  対気 " + Format("%.0f", e.Airspeed * units::kKnotsPerMetrePerSecond) +
           " kt  対地 " + Format("%.0f", e.GroundSpeed * units::kKnotsPerMetrePerSecond) +
           " kt  ピッチ " + Format("%.1f", e.Pitch) + "  バンク " + Format("%.1f", e.Bank) +
           "  進入端から " + Format("%.0f", e.PastThreshold) + " m  目標点から " +
           Format("%+.0f", e.FromAimPoint) + " m  中心線 " + Format("%+.1f", e.CentreLine) +
           " m  バウンド " + std::to_string(e.Bounces);
  }
  if (e.Kind == "stop") {
    return "  停車 " + Format("%.1f", e.At) + " s  誤差 " + Format("%+.2f", e.StopError) +
           " m  制限超過 " + Format("%.1f", e.OverLimit * units::kKmhPerMetrePerSecond) +
           " km/h  ATS " + std::to_string(e.ProtectionBrakes) + " 回  発車から " +
           Format("%.1f", e.SinceDeparture) + " s";
  }
  return "  ゴール " + Format("%.1f", e.At) + " s  タイム " + Format("%.2f", e.RaceTime) + " s";
}

int RunTool(const std::vector<std::string>& args, const std::string& defaultPath, std::ostream& out,
            std::ostream& err) {
  std::string path = defaultPath;
  std::size_t i = 0;
  if (i + 1 < args.size() && args[i] == "--file") {
    path = args[i + 1];
    i += 2;
  }
  if (i >= args.size()) {
    err << kUsage;
    return 2;
  }
  const std::string command = args[i++];
  if (path.empty()) {
    err << "velmora-logbook: 記録簿の場所がわかりません（XDG_DATA_HOME も HOME も未設定）\n";
    return 1;
  }
  if (!std::filesystem::exists(path)) {
    err << "velmora-logbook: 記録簿がまだありません: " << path << "\n";
    return 1;
  }
  TLogbookStore store(path);

  if (command == "list" || command == "export") {
    TFilter filter;
    std::string csv;
    for (; i < args.size(); ++i) {
      const bool hasValue = i + 1 < args.size();
      if (command == "list" && args[i] == "--mission" && hasValue) {
        filter.Mission = args[++i];
      } else if (command == "list" && args[i] == "--vehicle" && hasValue) {
        filter.Vehicle = args[++i];
      } else if (command == "export" && args[i] == "--csv" && hasValue) {
        csv = args[++i];
      } else {
        err << kUsage;
        return 2;
      }
    }
    if (command == "export" && csv.empty()) {
      err << kUsage;
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
        out << r.Id << "\t" << r.Started << "\t" << Format("%.0f", r.Duration) << " s\t"
            << r.Mission << "\t" << r.Vehicle << "\t" << r.Ending << "\t"
            << Format("%.0f", r.Distance) << " m\t" << (r.Replay.empty() ? "" : "録画あり") << "\n";
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
    if (csv == "-") {
      WriteCsv(out, runs);
      return 0;
    }
    std::ofstream file(csv, std::ios::binary | std::ios::trunc);
    if (file) WriteCsv(file, runs);
    file.close();
    if (!file) {
      err << "velmora-logbook: " << csv << " に書き込めません\n";
      return 1;
    }
    out << runs.size() << " 件の記録を " << csv << " に書き出しました\n";
    return 0;
  }

  if (command == "show" && i + 1 == args.size()) {
    char* end = nullptr;
    const long long id = std::strtoll(args[i].c_str(), &end, 10);
    if (end == args[i].c_str() || *end != '\0') {
      err << kUsage;
      return 2;
    }
    TRunRow r;
    bool found = false;
    if (auto failure = store.Find(id, r, found)) {
      err << "velmora-logbook: " << *failure << "\n";
      return 1;
    }
    if (!found) {
      err << "velmora-logbook: 記録 " << args[i] << " はありません\n";
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
        << "終わり方: " << r.Ending << (r.CrashMessage.empty() ? "" : "  " + r.CrashMessage) << "\n"
        << "録画: " << (r.Replay.empty() ? "なし" : r.Replay) << "\n";
    for (const TEventRow& e : r.Events) out << EventText(e) << "\n";
    return 0;
  }
  err << kUsage;
  return 2;
}

}  // namespace velmora::ui::logbook
