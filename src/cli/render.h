// A picture of a drawing's model space: SVG or PNG through cairo. It paints the drawing's scene
// (view/scene.h: lines, polylines with bulges, circles, arcs, ellipses, points, block references
// expanded, colours resolved through BYLAYER and BYBLOCK) fitted to the scene's extents with a
// margin; texts with their height, rotation, width factor and alignment, Japanese through the IPA
// Gothic font; dashed linetypes dashed.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "cadlink/embedded/drawing.h"
#include "geometry/wireframe.h"
#include "view/colors.h"

namespace pimu::cli {

enum class PictureFormat { Svg, Png };
using view::AciColor;
using view::Background;
using view::Rgb;

struct RenderOptions {
    int widthPixels = 1600;  // the longer side of the picture
    Background background = Background::White;
};

class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The picture was given up because keepRunning said no; nothing was written.
class RenderStopped : public RenderError {
public:
    RenderStopped() : RenderError("stopped") {}
};

// False in a build without cairo (Windows): the functions below then throw RenderError.
bool PicturesAvailable();

// Throws RenderError when the file cannot be written or the drawing has nothing visible.
void RenderDrawing(const cadlink::embedded::Drawing &drawing, const std::filesystem::path &path,
                   PictureFormat format, const RenderOptions &options = {});

// The window's wireframe preview as it shows it (coloured lines on black), enlarged `zoom` times.
// Throws RenderError as RenderDrawing does, also for an empty preview; asks keepRunning (when
// given) every few thousand segments and throws RenderStopped when it says no.
void RenderPreview(const geometry::PreviewPicture &picture, const std::filesystem::path &path,
                   PictureFormat format, int zoom = 4,
                   const std::function<bool()> &keepRunning = {});

// Frees what cairo and fontconfig keep for the life of the process, so a leak checker sees only
// real leaks. Call once at exit, after every picture is done.
void ReleaseRenderCaches();

}  // namespace pimu::cli
