// Resizing (the ResizeCategory of UIImage).
//
// The send request stores each photo fitted into two bounding sizes without
// enlarging it. Both operations run on the calling thread and keep no state; the
// image canvas they open is the calling thread's current canvas only during the
// call. All sizes are in terms of the stored bitmap, before the orientation applies.
#pragma once

#include <memory>

#include "platform/graphics/geometry.h"
#include "platform/graphics/ui_image.h"

namespace tweak {

// resizedImageToSize: answers `image` itself when its bitmap is exactly
// newSize.width × newSize.height pixels (the orientation is not read). Otherwise
// draws the picture upright, scaled by newSize.width / bitmap width in both
// directions and anchored at the top-left corner, into a transparent image canvas of
// newSize points (exchanged for the quarter-turn orientations) at the image's scale,
// and answers that canvas as an up-oriented image. Answers nullptr when no canvas
// opens (a side of no whole pixel) or `image` is null.
// Throws platform::foundation::NSException named NSInternalInconsistencyException
// with reason "Invalid image orientation" for an orientation outside 0 to 7, before
// any canvas is opened.
std::shared_ptr<platform::graphics::UIImage> resizedImageToSize(
    const std::shared_ptr<platform::graphics::UIImage>& image, platform::graphics::CGSize newSize);

// resizedImageToFitInSize:scaleIfSmaller: the largest size with the bitmap's aspect
// ratio inside `boundingSize` (exchanged for the quarter-turn orientations), the
// dependent side rounded down after rounding to single precision; with
// `scaleIfSmaller` false, a bitmap smaller than the bound in both directions keeps
// its size (and the image itself is answered). Then resizedImageToSize with that
// size, so it throws as that does.
std::shared_ptr<platform::graphics::UIImage> resizedImageToFitInSize(
    const std::shared_ptr<platform::graphics::UIImage>& image,
    platform::graphics::CGSize boundingSize, bool scaleIfSmaller);

}  // namespace tweak
