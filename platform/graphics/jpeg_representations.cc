// UIImageJPEGRepresentations: the drawings of one JPEG made from one streamed
// decode, drawn and encoded on two threads.
//
// The photo path of a reply is one JPEG turned upright and fitted twice. Decoding
// the photo's entropy-coded data is most of its cost and cannot be split, so the
// decode runs alone on the calling thread and everything else moves off it: a
// second thread draws each decoded band of rows into every output as soon as it is
// published, and when the last band is drawn the two threads encode the outputs
// side by side. What is left after the decode is drawing the last band and one
// encode. That holds only while the two threads run on two processors at once, so
// for the batch they are kept apart (ProcessorSplit).
#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/foundation/processor_split.h"
#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_planes.h"
#include "platform/graphics/jpeg_source.h"
#include "platform/graphics/resampler.h"
#include "platform/graphics/row_ring.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {
namespace {

// Row slots beyond what one destination line reads: room for the decoder to run a
// wake's worth of rows ahead of the drawing, and 128 more (2 to 3 ms of decoding a
// 12-megapixel photo). The drawing falls that far behind at the start, when its
// first lines fault in the outputs' pages: a turned photo's first line is a column,
// which touches every page of the luma plane.
constexpr int kSpareSlots = RowRing::kWakeRows + 128;

// One request's image as a draw of the shared JPEG, and what becomes of it.
struct Output {
  std::size_t request = 0;
  LeafDraw draw;
  int width = 0;
  int height = 0;
  int quality = 0;
  int exif = 1;
  std::optional<AxisResampler> plan;  // over the decode at the batch's scale
  std::optional<JpegPlanes> pixels;   // black where nothing is drawn
  std::vector<std::uint8_t> jpeg;
};

struct Batch {
  const JpegSource* jpeg = nullptr;
  int num = 1;  // the decode's scale, num/8
  std::vector<Output> outputs;

  int decodedWidth() const { return jpeg->scaledWidth(num); }
  int decodedHeight() const { return jpeg->scaledHeight(num); }
};

// The batch when every image is one axis-aligned draw of the same JPEG; nothing
// otherwise.
std::optional<Batch> planBatch(std::span<const JPEGRepresentationRequest> requests) {
  Batch batch;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (!requests[i].image) continue;
    const auto& source = requests[i].image->CGImage()->source();
    const auto draw = source->rowsAsLeafDraw();
    const auto* jpeg = draw ? dynamic_cast<const JpegSource*>(draw->leaf) : nullptr;
    if (!jpeg || (batch.jpeg && jpeg != batch.jpeg)) return std::nullopt;
    batch.jpeg = jpeg;
    batch.num = std::max(batch.num, jpeg->numeratorFor(resolutionFor(draw->map)));
    Output out;
    out.request = i;
    out.draw = *draw;
    out.width = source->width();
    out.height = source->height();
    out.quality = libjpegQuality(requests[i].quality);
    out.exif = exifOrientationOf(requests[i].image->imageOrientation());
    batch.outputs.push_back(std::move(out));
  }
  if (!batch.jpeg) return std::nullopt;
  const int w = batch.decodedWidth(), h = batch.decodedHeight();
  for (Output& out : batch.outputs) {
    const CGAffineTransform map =
        rasterMap(out.draw.map, batch.jpeg->width(), batch.jpeg->height(), w, h);
    out.plan.emplace(w, h, map, out.draw.clip,
                     ClipRect{0, 0, double(out.width), double(out.height)});
  }
  return batch;
}

// On the drawing thread: makes the outputs (black), then draws every output line as
// soon as its rows are published, releasing the rows no output reads again, until
// every line is drawn. The outputs are held as the encoder takes them (JpegPlanes),
// two bytes a pixel, and their memory is first touched by the drawing.
void drawAll(Batch& batch, RowRing& ring) {
  for (Output& out : batch.outputs) {
    out.pixels.emplace(out.width, out.height, out.plan->linesAreColumns());
  }
  const SourceRows rows = ring.rows();
  int published = 0;
  for (;;) {
    published = ring.waitForRows(published);
    int needed = ring.height();
    for (Output& out : batch.outputs) {
      needed = std::min(needed, out.plan->run(rows, published, *out.pixels));
    }
    ring.release(needed);
    if (needed >= ring.height() || published >= ring.height()) return;
  }
}

// Encodes outputs first, first + 2, ...
void encodeEveryOther(Batch& batch, std::size_t first) {
  for (std::size_t i = first; i < batch.outputs.size(); i += 2) {
    Output& out = batch.outputs[i];
    out.jpeg = encodeJpeg(*out.pixels, out.quality, out.exif);
  }
}

// Decodes on this thread while a second one draws; then both encode. False when no
// second thread could be started (nothing was done).
bool runBatch(Batch& batch) {
  int taps = 1;
  for (const Output& out : batch.outputs) taps = std::max(taps, out.plan->maxRowsPerLine());
  RowRing ring(batch.decodedWidth(), batch.decodedHeight(), taps + kSpareSlots);
  std::atomic<bool> drawn{false};
  std::exception_ptr drawFailure, decodeFailure;
  std::thread drawer;
  try {
    drawer = std::thread([&] {
      try {
        drawAll(batch, ring);
      } catch (...) {
        drawFailure = std::current_exception();
        ring.abandon();
      }
      drawn.store(true, std::memory_order_release);
      drawn.notify_one();
      try {
        if (!drawFailure) encodeEveryOther(batch, 0);
      } catch (...) {
        drawFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  const foundation::ProcessorSplit apart(drawer);
  try {
    ring.finish(batch.jpeg->decode(batch.num, ring));
    drawn.wait(false, std::memory_order_acquire);
    encodeEveryOther(batch, 1);
  } catch (...) {
    decodeFailure = std::current_exception();
    ring.abandon();
  }
  drawer.join();
  if (decodeFailure) std::rethrow_exception(decodeFailure);
  if (drawFailure) std::rethrow_exception(drawFailure);
  return true;
}

std::vector<std::optional<foundation::Bytes>> oneByOne(
    std::span<const JPEGRepresentationRequest> requests) {
  std::vector<std::optional<foundation::Bytes>> out;
  for (const auto& r : requests) out.push_back(UIImageJPEGRepresentation(r.image, r.quality));
  return out;
}

}  // namespace

std::vector<std::optional<foundation::Bytes>> UIImageJPEGRepresentations(
    std::span<const JPEGRepresentationRequest> requests) {
  auto batch = planBatch(requests);
  if (!batch || !runBatch(*batch)) return oneByOne(requests);
  std::vector<std::optional<foundation::Bytes>> results(requests.size());
  for (Output& out : batch->outputs) {
    if (!out.jpeg.empty()) results[out.request] = std::move(out.jpeg);
  }
  return results;
}

}  // namespace platform::graphics
