#include "cli/chart_renderer.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace tavik::cli {

std::unique_ptr<ChartRenderer> load_chart_renderer(std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::path program_dir = fs::read_symlink("/proc/self/exe", ignored).parent_path();
  error.clear();
  for (const fs::path& dir : {program_dir, program_dir / TAVIK_MODULE_DIR_FROM_PROGRAM}) {
    const fs::path module = dir / TAVIK_CHART_MODULE;
    if (!fs::exists(module, ignored)) continue;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      error = dlerror();
      continue;
    }
    if (auto create = reinterpret_cast<CreateChartRenderer>(dlsym(handle, kChartRendererEntry))) {
      return std::unique_ptr<ChartRenderer>(create());
    }
    error = module.string() + " has no " + kChartRendererEntry;
  }
  if (error.empty()) error = std::string(TAVIK_CHART_MODULE) + " is not installed";
  error = "cannot load the chart renderer: " + error;
  return nullptr;
}

}  // namespace tavik::cli
