// Orientation normalisation (the fixOrientation category of UIImage).
//
// The send request decodes the attached photo and, before fitting and encoding it,
// makes its stored pixels upright with this operation. Any thread may call it; it
// keeps no state and its drawing canvas is private to the call.
#pragma once

#include <memory>

#include "platform/graphics/ui_image.h"

namespace tweak {

// Answers `image` itself when its orientation is up (0). Otherwise draws it upright
// into a new bitmap canvas of the logical size (each side truncated to whole pixels,
// one pixel per point, the bitmap format copied from the image) and answers the new
// up-oriented image at scale 1. An orientation outside 0 to 7 redraws the picture as
// stored. Answers nullptr when no canvas can be made (a side below one pixel, or a
// bitmap format that canvases refuse) or `image` is null. Never raises.
std::shared_ptr<platform::graphics::UIImage> fixOrientation(
    const std::shared_ptr<platform::graphics::UIImage>& image);

}  // namespace tweak
