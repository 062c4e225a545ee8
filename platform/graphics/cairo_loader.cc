// drawWithCairo: the Cairo module, loaded the first time it is needed.
//
// Cairo and the libraries it brings (pixman, fontconfig, freetype, the X client
// libraries) take longer to load and relocate than a process takes to start
// without them. They draw only the transforms that are not quarter
// turns, which no photo reply uses, so they stay out of a process until a drawing
// asks for them.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "platform/foundation/log.h"
#include "platform/graphics/pixel_source.h"

namespace platform::graphics {
namespace {

constexpr const char* kModule = "libpx_graphics_cairo.so";

using DrawFunction = void (*)(const Raster*, const CGAffineTransform*, const Surface*,
                              const ClipRect*);

// The module beside this library (where the build and an install put it), else
// wherever the loader's search finds it.
DrawFunction loadModule() {
  void* handle = nullptr;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&drawWithCairo), &self) && self.dli_fname) {
    const auto beside = std::filesystem::path(self.dli_fname).parent_path() / kModule;
    handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle) handle = dlopen(kModule, RTLD_NOW | RTLD_LOCAL);
  void* entry = handle ? dlsym(handle, "pxGraphicsDrawWithCairo") : nullptr;
  if (!entry) {
    const char* why = dlerror();
    foundation::NSLog("graphics: no drawing of turned images without {}: {}", kModule,
                      why ? why : "not found");
    return nullptr;
  }
  return reinterpret_cast<DrawFunction>(entry);
}

}  // namespace

void drawWithCairo(const Raster& src, const CGAffineTransform& map, const Surface& dest,
                   const ClipRect& clip) {
  // Loaded once per process, by whichever thread draws first.
  static const DrawFunction draw = loadModule();
  if (draw) draw(&src, &map, &dest, &clip);
}

}  // namespace platform::graphics
