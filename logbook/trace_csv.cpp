// A run's trace as CSV: one line per sample, and one per event at its time.
#include <cmath>
#include <cstdio>

#include "logbook/logbook.h"

namespace velmora::logbook {

namespace {

const char* EventKey(app::TTraceEventKind kind) {
  switch (kind) {
    case app::TTraceEventKind::Touchdown:
      return "touchdown";
    case app::TTraceEventKind::Bounce:
      return "bounce";
    case app::TTraceEventKind::Protection:
      return "protection";
    case app::TTraceEventKind::Stop:
      return "stop";
    case app::TTraceEventKind::MissedStop:
      return "missed_stop";
    case app::TTraceEventKind::StartLine:
      return "start_line";
    case app::TTraceEventKind::Finish:
      return "finish";
  }
  return "";
}

// A number with this format; an empty cell for a value the sample lacks.
std::string Cell(const char* format, double v) {
  if (std::isnan(v)) return "";
  char text[48];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

}  // namespace

void WriteTraceCsv(std::ostream& out, const app::TRunTrace& trace) {
  out << "time_s,event,x_m,y_m,height_m,airspeed_ms,ground_speed_ms,sink_rate_ms,pitch_deg,"
         "bank_deg,power,brake,flaps_deg,gear,speed_limit_ms,stop_distance_m\r\n";
  std::size_t e = 0;
  const auto event = [&](const app::TTraceEvent& ev) {
    out << Cell("%.3f", ev.Time / 1000.0) << "," << EventKey(ev.Kind) << "," << Cell("%.2f", ev.X)
        << "," << Cell("%.2f", ev.Y) << ",,," << Cell("%.2f", ev.Speed) << ",,,,,,,,,\r\n";
  };
  for (const app::TTraceSample& x : trace.Samples) {
    for (; e < trace.Events.size() && trace.Events[e].Time <= x.Time; ++e) event(trace.Events[e]);
    out << Cell("%.3f", x.Time / 1000.0) << ",," << Cell("%.2f", x.X) << ","
        << Cell("%.2f", x.Y) << "," << Cell("%.2f", x.Height) << "," << Cell("%.2f", x.Airspeed)
        << "," << Cell("%.2f", x.GroundSpeed) << "," << Cell("%.2f", x.SinkRate) << ","
        << Cell("%.2f", x.Pitch) << "," << Cell("%.2f", x.Bank) << "," << Cell("%.2f", x.Power)
        << "," << x.Brake << "," << Cell("%.2f", x.Flaps) << "," << Cell("%.3f", x.Gear) << ","
        << Cell("%.2f", x.SpeedLimit) << "," << Cell("%.1f", x.StopDistance) << "\r\n";
  }
  for (; e < trace.Events.size(); ++e) event(trace.Events[e]);
}

}  // namespace velmora::logbook
