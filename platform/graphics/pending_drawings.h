// The drawings of one JPEG that wait to be encoded. Private to platform/graphics.
//
// A photo is typically turned upright and fitted several times before any of the
// fitted pictures is encoded. Each fitted picture is a drawing that keeps its map
// rather than its pixels (DrawnSource), so the JPEG behind them is not decoded
// yet. This list lets the first encode of one of them render all of them from one
// decode (jpeg_representations.cc): a drawing made on a canvas joins the list of
// the JPEG it draws; it leaves when it is itself drawn on another canvas (an
// intermediate step, such as the upright picture the fitted ones are drawn from),
// when an encode takes it, or when it is gone. Pixels rendered for a drawing with
// another one's are kept here until its own encode takes them, or until the
// drawing is gone (noticed at the list's next use, or when the JPEG ends).
//
// Safe to use from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::graphics {

class PixelSource;
class JpegPlanes;
class JpegSource;

class PendingDrawings {
 public:
  PendingDrawings() = default;
  PendingDrawings(const PendingDrawings&) = delete;
  PendingDrawings& operator=(const PendingDrawings&) = delete;

  // `drawing` waits to be encoded.
  void add(const std::shared_ptr<const PixelSource>& drawing);
  // `drawing` waits no longer (its pixels, if kept, stay).
  void remove(const PixelSource* drawing);
  // Every waiting drawing that is still alive, `except` left out; afterwards none
  // waits, `except` included.
  std::vector<std::shared_ptr<const PixelSource>> takeAll(const PixelSource* except);

  // Keeps the pixels rendered for `drawing` until takeRendered() asks for them.
  void keepRendered(const std::shared_ptr<const PixelSource>& drawing,
                    std::shared_ptr<const JpegPlanes> pixels);
  // The pixels kept for `drawing`, handed over once; null when none are kept.
  std::shared_ptr<const JpegPlanes> takeRendered(const PixelSource* drawing);

 private:
  // Drops the entries of drawings that are gone. Called with the mutex held.
  void prune();

  std::mutex mutex_;
  std::vector<std::weak_ptr<const PixelSource>> waiting_;
  std::vector<std::pair<std::weak_ptr<const PixelSource>, std::shared_ptr<const JpegPlanes>>>
      rendered_;
};

// The JPEG that `source` comes down to as one axis-aligned draw (the JPEG itself,
// or a drawing of it turned, mirrored or scaled); null for anything else.
const JpegSource* jpegDrawnBy(const PixelSource& source);

// For canvases: `drawing`, just made, waits to be encoded with the other drawings
// of its JPEG; `source`, just drawn on a canvas, is an intermediate step and waits
// no longer. Both do nothing for what is not a drawing of a JPEG.
void noteNewDrawing(const std::shared_ptr<const PixelSource>& drawing);
void noteDrawnOnCanvas(const PixelSource& source);

}  // namespace platform::graphics
