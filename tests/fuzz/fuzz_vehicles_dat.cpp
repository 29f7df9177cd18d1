// Loads arbitrary bytes as vehicles.dat. Whatever the input, loading either
// succeeds (loading a shape for every line up to the last one with content)
// or names a line inside the file, and never touches a table entry outside
// 1..100.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/data_file.h"
#include "tests/support/fake_renderer.h"
#include "vehicle/vehicles_dat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velmora::net::DataFileLines lines = velmora::net::SplitDataFileLines(bytes, "vehicles.dat");
  if (lines.Error) {
    if (lines.Error->Line < 1 || lines.Error->Message().empty()) std::abort();
    return 0;
  }
  velmora::vehicle::TFormTable table;
  velmora::testing::FakeRenderer renderer;
  const auto result = velmora::vehicle::LoadVehicleLines(lines.Lines, "vehicles.dat", table, renderer);
  if (result.Error) {
    if (result.Error->Line < 1 || result.Error->Line > static_cast<int>(lines.Lines.size())) {
      std::abort();
    }
  } else if (renderer.FormCalls.size() != velmora::net::CountUpToLastContent(lines.Lines)) {
    // Every line up to the last one with content is a type; blank lines at
    // the end are none.
    std::abort();
  }
  for (const auto& call : renderer.FormCalls) {
    if (call.FormId < 1 || call.FormId > 100) std::abort();
  }
  return 0;
}
