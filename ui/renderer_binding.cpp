#include "ui/renderer_binding.h"

#include <dlfcn.h>

#include <filesystem>

#include "ui/install_layout.h"

namespace velmora::ui {
namespace {

template <typename Fn>
bool Bind(void* handle, const char* name, Fn& slot, std::string& missing) {
  slot = reinterpret_cast<Fn>(dlsym(handle, name));
  if (slot == nullptr) {
    if (!missing.empty()) missing += ", ";
    missing += name;
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> RendererCandidates(const std::string& givenPath,
                                            const std::string& programDir) {
  if (!givenPath.empty()) return {givenPath};
  std::vector<std::string> candidates;
  if (!programDir.empty()) {
    candidates.push_back((std::filesystem::path(programDir) / kRendererFileName).string());
    candidates.push_back(InstalledRendererPath(programDir));
  }
#ifdef VELMORA_BUILD_RENDERER
  candidates.push_back(VELMORA_BUILD_RENDERER);
#endif
  candidates.push_back(kRendererFileName);
  return candidates;
}

TRendererLibrary::~TRendererLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool TRendererLibrary::Open(const std::vector<std::string>& candidates, std::string& error) {
  std::string tried;
  for (const std::string& candidate : candidates) {
    // A bare file name goes to the loader's search path; a path with a slash
    // is opened only when it exists, so the message names what was missing.
    const bool bare = candidate.find('/') == std::string::npos;
    if (!bare && !std::filesystem::exists(candidate)) {
      tried += "\n  " + candidate + ": no such file";
      continue;
    }
    // The library stays mapped after dlclose: its own state (a device, a
    // store it keeps to the end of the process) must never outlive its code.
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
      const char* why = dlerror();
      tried += "\n  " + candidate + ": " + (why != nullptr ? why : "cannot be loaded");
      continue;
    }
    vehicle::TRendererTable table;
    std::string missing;
    Bind(handle, "DXInitialize", table.Initialize, missing);
    Bind(handle, "DXTerminate", table.Terminate, missing);
    Bind(handle, "DXLoadVehicleForm", table.LoadVehicleForm, missing);
    Bind(handle, "DXLoadTexture", table.LoadTexture, missing);
    Bind(handle, "DXAddSurface", table.AddSurface, missing);
    Bind(handle, "DXRemoveSurface", table.RemoveSurface, missing);
    Bind(handle, "DXGetNumOfVertexBufs", table.GetNumOfVertexBufs, missing);
    Bind(handle, "DXDraw", table.Draw, missing);
    if (!missing.empty()) {
      dlclose(handle);
      error = "the renderer library " + candidate + " lacks the export(s) " + missing;
      return false;
    }
    handle_ = handle;
    table_ = table;
    path_ = candidate;
    return true;
  }
  error = std::string("cannot load the renderer library ") + kRendererFileName + ":" + tried;
  return false;
}

}  // namespace velmora::ui
