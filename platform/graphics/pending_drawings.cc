#include "platform/graphics/pending_drawings.h"

#include <algorithm>

#include "platform/graphics/jpeg_planes.h"
#include "platform/graphics/jpeg_source.h"

namespace platform::graphics {
namespace {

// A weak entry names `p` only while its drawing is alive: a gone drawing's
// address may be taken by a new object.
bool names(const std::weak_ptr<const PixelSource>& entry, const PixelSource* p) {
  return entry.lock().get() == p;
}

}  // namespace

void PendingDrawings::prune() {
  std::erase_if(waiting_, [](const auto& w) { return w.expired(); });
  std::erase_if(rendered_, [](const auto& r) { return r.first.expired(); });
}

void PendingDrawings::add(const std::shared_ptr<const PixelSource>& drawing) {
  std::lock_guard lock(mutex_);
  prune();
  waiting_.push_back(drawing);
}

void PendingDrawings::remove(const PixelSource* drawing) {
  std::lock_guard lock(mutex_);
  std::erase_if(waiting_, [&](const auto& w) { return w.expired() || names(w, drawing); });
}

std::vector<std::shared_ptr<const PixelSource>> PendingDrawings::takeAll(
    const PixelSource* except) {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<const PixelSource>> out;
  for (const auto& w : waiting_) {
    auto drawing = w.lock();
    if (drawing && drawing.get() != except) out.push_back(std::move(drawing));
  }
  waiting_.clear();
  prune();
  return out;
}

void PendingDrawings::keepRendered(const std::shared_ptr<const PixelSource>& drawing,
                                   std::shared_ptr<const JpegPlanes> pixels) {
  std::lock_guard lock(mutex_);
  prune();
  rendered_.emplace_back(drawing, std::move(pixels));
}

std::shared_ptr<const JpegPlanes> PendingDrawings::takeRendered(const PixelSource* drawing) {
  std::lock_guard lock(mutex_);
  prune();
  const auto it = std::find_if(rendered_.begin(), rendered_.end(),
                               [&](const auto& r) { return names(r.first, drawing); });
  if (it == rendered_.end()) return nullptr;
  auto pixels = std::move(it->second);
  rendered_.erase(it);
  return pixels;
}

const JpegSource* jpegDrawnBy(const PixelSource& source) {
  const auto draw = source.rowsAsLeafDraw();
  return draw ? dynamic_cast<const JpegSource*>(draw->leaf) : nullptr;
}

void noteNewDrawing(const std::shared_ptr<const PixelSource>& drawing) {
  if (const auto* jpeg = drawing ? jpegDrawnBy(*drawing) : nullptr) {
    jpeg->pendingDrawings().add(drawing);
  }
}

void noteDrawnOnCanvas(const PixelSource& source) {
  if (const auto* jpeg = jpegDrawnBy(source)) jpeg->pendingDrawings().remove(&source);
}

}  // namespace platform::graphics
