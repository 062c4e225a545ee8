#include "platform/graphics/row_ring.h"

#include <algorithm>
#include <cstring>

namespace platform::graphics {

RowRing::RowRing(int width, int height, int slots)
    : height_(height),
      slots_(std::clamp(slots, 1, std::max(1, height))),
      rowBytes_(std::ptrdiff_t(width) * 3),
      storage_(zeroedArray<std::uint8_t>(std::size_t(rowBytes_) * std::size_t(slots_) + 1)) {}

bool RowRing::begin(int width, int height) {
  return std::ptrdiff_t(width) * 3 == rowBytes_ && height == height_;
}

std::uint8_t* RowRing::row(int y) {
  int released = released_.load(std::memory_order_acquire);
  // Rows published since the last wake would otherwise wait until the next one.
  if (y - released >= slots_) published_.notify_one();
  while (y - released >= slots_) {
    released_.wait(released, std::memory_order_acquire);
    released = released_.load(std::memory_order_acquire);
  }
  return storage_.get() + std::ptrdiff_t(y % slots_) * rowBytes_;
}

void RowRing::decoded(int rows) {
  const int before = published_.exchange(rows, std::memory_order_acq_rel);
  if (rows >= height_ || rows / kWakeRows != before / kWakeRows) published_.notify_one();
}

void RowRing::finish(int rows) {
  for (int y = std::max(rows, 0); y < height_; ++y) {
    std::memset(row(y), kMissingRowGrey, std::size_t(rowBytes_));
    if ((y + 1) % 8 == 0) decoded(y + 1);
  }
  decoded(height_);
}

SourceRows RowRing::rows() const { return {storage_.get(), rowBytes_, 3, slots_}; }

int RowRing::waitForRows(int seen) {
  int published = published_.load(std::memory_order_acquire);
  while (published <= seen && published < height_) {
    published_.wait(published, std::memory_order_acquire);
    published = published_.load(std::memory_order_acquire);
  }
  return published;
}

void RowRing::release(int row) {
  released_.store(row, std::memory_order_release);
  released_.notify_one();
}

void RowRing::abandon() {
  // Far enough ahead that no row waits for its slot, and every row counts as
  // published.
  released_.store(height_ + slots_, std::memory_order_release);
  released_.notify_one();
  published_.store(height_, std::memory_order_release);
  published_.notify_one();
}

}  // namespace platform::graphics
