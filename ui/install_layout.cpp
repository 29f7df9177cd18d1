#include "ui/install_layout.h"

#include <filesystem>
#include <system_error>

#include "ui/renderer_binding.h"

// The build sets both from its install folders; these are the defaults for a
// /usr or /usr/local tree.
#ifndef VELMORA_INSTALLED_DATA
#define VELMORA_INSTALLED_DATA "../share/velmora"
#endif
#ifndef VELMORA_INSTALLED_RENDERER_DIR
#define VELMORA_INSTALLED_RENDERER_DIR "../lib/velmora"
#endif

namespace velmora::ui {

std::string InstalledDataDir(const std::string& programDir) {
  if (programDir.empty()) return {};
  const auto folder = (std::filesystem::path(programDir) / VELMORA_INSTALLED_DATA).lexically_normal();
  std::error_code error;
  if (!std::filesystem::is_regular_file(folder / "vehicles.dat", error)) return {};
  return folder.string();
}

std::string ChooseDataDir(const std::string& givenDir, const std::string& programDir) {
  if (!givenDir.empty()) return givenDir;
  return InstalledDataDir(programDir);
}

std::string InstalledRendererPath(const std::string& programDir) {
  if (programDir.empty()) return {};
  return (std::filesystem::path(programDir) / VELMORA_INSTALLED_RENDERER_DIR / kRendererFileName)
      .lexically_normal()
      .string();
}

}  // namespace velmora::ui
