// Binds the renderer library's eight exports by name at start-up.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vehicle/renderer_api.h"

namespace velmora::ui {

inline constexpr const char* kRendererFileName = "libprismoth.so";

// The places the renderer library is looked for, in order: the path given on
// the command line alone when there is one; otherwise next to the program,
// in the installed tree beside the program (../lib/x86_64-linux-gnu/velmora
// from /usr/games), the build's own library, then the dynamic loader's
// search path.
std::vector<std::string> RendererCandidates(const std::string& givenPath,
                                            const std::string& programDir);

// An open renderer library and its bound exports. The library stays loaded
// while this object lives.
class TRendererLibrary {
 public:
  TRendererLibrary() = default;
  ~TRendererLibrary();
  TRendererLibrary(const TRendererLibrary&) = delete;
  TRendererLibrary& operator=(const TRendererLibrary&) = delete;

  // Opens the first candidate that loads and binds every export. On failure
  // says what is missing in error.
  bool Open(const std::vector<std::string>& candidates, std::string& error);

  const vehicle::TRendererTable& Table() const { return table_; }
  const std::string& Path() const { return path_; }

 private:
  void* handle_ = nullptr;
  vehicle::TRendererTable table_;
  std::string path_;
};

}  // namespace velmora::ui
