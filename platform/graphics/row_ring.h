// Rows of a JPEG decode handed from the thread that decodes to the thread that draws
// them, through a ring of row slots. Private to platform/graphics.
//
// The decoding thread writes row y into slot y % slots once every row that shares
// the slot has been released by the drawing thread, and publishes how many rows are
// decoded; the drawing thread reads the rows published and releases those it will
// not read again. Only the two counters are shared: each slot is written before its
// row is published and read before it is released, so a slot is never read and
// written at once.
//
// Waking a sleeping thread can cost as much as decoding several rows (on a virtual
// machine especially), so the drawing thread is woken once per kWakeRows rows
// published (and at the end), and whenever the decoding thread is about to wait for
// a slot: it never sleeps on rows it could have drawn.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/graphics/jpeg_source.h"
#include "platform/graphics/pixel_source.h"
#include "platform/graphics/resampler.h"
#include "platform/graphics/zeroed_array.h"

namespace platform::graphics {

class RowRing final : public RowSink {
 public:
  static constexpr int kWakeRows = 64;

  // A ring for a decode of width × height pixels with `slots` row slots (at most
  // the height). A line that reads k rows at once needs slots ≥ k + 8.
  RowRing(int width, int height, int slots);

  // RowSink, for the decoding thread. begin() accepts only the expected size; row()
  // waits until the slot is free.
  bool begin(int width, int height) override;
  std::uint8_t* row(int y) override;
  void decoded(int rows) override;
  // After the decode delivered `rows` rows: the rest are published grey.
  void finish(int rows);

  // For the drawing thread: the rows, the count published (waiting until it is
  // above `seen`, unless every row is published), and releasing rows below `row`.
  SourceRows rows() const;
  int waitForRows(int seen);
  void release(int row);

  // Stops both sides from waiting on the other (after a failure on either side).
  void abandon();

  int height() const { return height_; }

 private:
  int height_;
  int slots_;
  std::ptrdiff_t rowBytes_;
  // `slots` rows of B, G, R bytes and one more byte, so that every pixel can be read
  // as four. Zeroed rather than filled: each slot is written by the decode (or
  // finish()) before it is read, and its pages are faulted in by that writing.
  ZeroedArray<std::uint8_t> storage_;
  alignas(64) std::atomic<int> published_{0};
  alignas(64) std::atomic<int> released_{0};
};

}  // namespace platform::graphics
