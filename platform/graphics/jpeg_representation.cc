// The drawings of one JPEG rendered from one streamed decode, on two threads.
//
// The photo path of a reply is one JPEG turned upright and fitted twice, each
// fitted picture then encoded. Decoding the photo's entropy-coded data is most of
// its cost and cannot be split, so the first encode decodes once for every
// drawing of the JPEG that waits to be encoded, alone on the calling thread, and
// moves the drawing off it: a second thread draws each decoded band of rows into
// every drawing as soon as it is published. What is left after the decode is
// drawing the last band, then the encodes.
#include "platform/graphics/jpeg_representation.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_planes.h"
#include "platform/graphics/jpeg_source.h"
#include "platform/graphics/pending_drawings.h"
#include "platform/graphics/resampler.h"
#include "platform/graphics/row_ring.h"

namespace platform::graphics {
namespace {

// Row slots beyond what one destination line reads: room for the decoder to run a
// wake's worth of rows ahead of the drawing, and 128 more. The drawing falls
// behind at the start, when its first lines fault in the outputs' pages: a turned
// photo's first line is a column, which touches every page of the luma plane.
constexpr int kSpareSlots = RowRing::kWakeRows + 128;

// One drawing of the shared JPEG, and its pixels.
struct Output {
  std::shared_ptr<const PixelSource> drawing;
  LeafDraw draw;
  std::optional<AxisResampler> plan;   // over the decode at the group's scale
  std::shared_ptr<JpegPlanes> pixels;  // black where nothing is drawn
};

struct Group {
  const JpegSource* jpeg = nullptr;
  int num = 1;  // the decode's scale, num/8
  std::vector<Output> outputs;

  int decodedWidth() const { return jpeg->scaledWidth(num); }
  int decodedHeight() const { return jpeg->scaledHeight(num); }
};

// The drawings of `jpeg` among `drawings` (the first one first) as one group.
Group planGroup(const JpegSource& jpeg, std::vector<std::shared_ptr<const PixelSource>> drawings) {
  Group group{&jpeg, 1, {}};
  for (auto& drawing : drawings) {
    const auto draw = drawing->rowsAsLeafDraw();
    if (!draw || draw->leaf != &jpeg) continue;
    group.num = std::max(group.num, jpeg.numeratorFor(resolutionFor(draw->map)));
    group.outputs.push_back(Output{std::move(drawing), *draw, std::nullopt, nullptr});
  }
  const int w = group.decodedWidth(), h = group.decodedHeight();
  for (Output& out : group.outputs) {
    const double width = out.drawing->width(), height = out.drawing->height();
    out.plan.emplace(w, h, rasterMap(out.draw.map, jpeg.width(), jpeg.height(), w, h),
                     out.draw.clip, ClipRect{0, 0, width, height});
  }
  return group;
}

// On the drawing thread: makes the outputs (black), then draws every output line as
// soon as its rows are published, releasing the rows no output reads again, until
// every line is drawn. The outputs are held as the encoder takes them (JpegPlanes),
// two bytes a pixel, and their memory is first touched by the drawing.
void drawAll(Group& group, RowRing& ring) {
  for (Output& out : group.outputs) {
    out.pixels = std::make_shared<JpegPlanes>(out.drawing->width(), out.drawing->height(),
                                              out.plan->linesAreColumns());
  }
  const SourceRows rows = ring.rows();
  int published = 0;
  for (;;) {
    published = ring.waitForRows(published);
    int needed = ring.height();
    for (Output& out : group.outputs) {
      needed = std::min(needed, out.plan->run(rows, published, *out.pixels));
    }
    ring.release(needed);
    if (needed >= ring.height() || published >= ring.height()) return;
  }
}

// Decodes on this thread while a second one draws. False when no second thread
// could be started (nothing was done).
bool renderGroup(Group& group) {
  int taps = 1;
  for (const Output& out : group.outputs) taps = std::max(taps, out.plan->maxRowsPerLine());
  RowRing ring(group.decodedWidth(), group.decodedHeight(), taps + kSpareSlots);
  std::exception_ptr drawFailure, decodeFailure;
  std::thread drawer;
  try {
    drawer = std::thread([&] {
      try {
        drawAll(group, ring);
      } catch (...) {
        drawFailure = std::current_exception();
        ring.abandon();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  try {
    ring.finish(group.jpeg->decode(group.num, ring));
  } catch (...) {
    decodeFailure = std::current_exception();
    ring.abandon();
  }
  drawer.join();
  if (decodeFailure) std::rethrow_exception(decodeFailure);
  if (drawFailure) std::rethrow_exception(drawFailure);
  return true;
}

}  // namespace

std::vector<std::uint8_t> encodeJpegRepresentation(const std::shared_ptr<const PixelSource>& source,
                                                   int quality, int exifOrientation) {
  const JpegSource* jpeg = jpegDrawnBy(*source);
  if (!jpeg) return encodeJpeg(*source, quality, exifOrientation);
  PendingDrawings& pending = jpeg->pendingDrawings();
  if (auto pixels = pending.takeRendered(source.get())) {
    return encodeJpeg(*pixels, quality, exifOrientation);
  }
  auto drawings = pending.takeAll(source.get());
  // Alone, a drawing reads its pixels as any image does.
  if (drawings.empty()) return encodeJpeg(*source, quality, exifOrientation);
  drawings.insert(drawings.begin(), source);
  Group group = planGroup(*jpeg, std::move(drawings));
  if (!renderGroup(group)) {
    for (std::size_t i = 1; i < group.outputs.size(); ++i) pending.add(group.outputs[i].drawing);
    return encodeJpeg(*source, quality, exifOrientation);
  }
  for (std::size_t i = 1; i < group.outputs.size(); ++i) {
    pending.keepRendered(group.outputs[i].drawing, std::move(group.outputs[i].pixels));
  }
  return encodeJpeg(*group.outputs[0].pixels, quality, exifOrientation);
}

}  // namespace platform::graphics
