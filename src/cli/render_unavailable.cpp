// The pictures where cairo is not built in (the Windows build): every request says so.
#include "cli/render.h"

namespace pimu::cli {
namespace {

[[noreturn]] void Unavailable() {
    throw RenderError("pictures (--svg, --png) are not available in this build of Pimu");
}

}  // namespace

bool PicturesAvailable() {
    return false;
}

void RenderDrawing(const cadlink::embedded::Drawing &, const std::filesystem::path &, PictureFormat,
                   const RenderOptions &) {
    Unavailable();
}

void RenderPreview(const geometry::PreviewPicture &, const std::filesystem::path &, PictureFormat,
                   int, const std::function<bool()> &) {
    Unavailable();
}

void ReleaseRenderCaches() {}

}  // namespace pimu::cli
