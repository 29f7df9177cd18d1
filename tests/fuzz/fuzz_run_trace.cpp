// Feeds arbitrary bytes to the trace reader, as a logbook's file may hold
// them. A trace it accepts packs back to the same bytes and draws its charts
// for each kind of vehicle; a refusal names its byte offset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/run_charts.h"
#include "app/run_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  velmora::app::TRunTrace trace;
  if (const std::optional<std::string> fault = velmora::app::DecodeTrace(bytes, trace)) {
    if (fault->find(" バイト目") == std::string::npos) std::abort();
    return 0;
  }
  for (const int32_t kind : {1, 2, 3}) {
    trace.Kind = kind;
    velmora::app::RunCharts(trace, &trace, "fuzz");
  }
  return 0;
}
