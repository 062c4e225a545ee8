#include "platform/graphics/row_ring.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace platform::graphics {
namespace {

// The decoding side: row y filled with the byte y % 251, published every `band` rows.
void decodeInto(RowRing& ring, int band) {
  for (int y = 0; y < ring.height(); ++y) {
    std::uint8_t* row = ring.row(y);
    std::fill(row, row + 3 * 16, std::uint8_t(y % 251));
    if ((y + 1) % band == 0 || y + 1 == ring.height()) ring.decoded(y + 1);
  }
}

// The drawing side: every row read once, in order, released as soon as it is read.
// Answers how many rows held what was written into them.
int drawFrom(RowRing& ring) {
  const SourceRows rows = ring.rows();
  int published = 0, read = 0, good = 0;
  while (read < ring.height()) {
    published = ring.waitForRows(published);
    for (; read < published; ++read) good += rows.row(read)[47] == std::uint8_t(read % 251);
    ring.release(read);
  }
  return good;
}

// A ring with fewer slots than the rows between two wakes of the drawing thread (but
// at least a band, as the decoder asks for a band's rows before it decodes them): the
// decoder fills every slot long before a wake is due, and must wake the drawer
// itself before it waits for a slot, or both sides wait on each other.
TEST(RowRing, ARingSmallerThanAWakesRowsHandsOverEveryRow) {
  for (int slots : {8, 13, RowRing::kWakeRows - 1, RowRing::kWakeRows + 5}) {
    RowRing ring(16, 1000, slots);
    auto drawn = std::async(std::launch::async, [&] { return drawFrom(ring); });
    std::thread decoder([&] { decodeInto(ring, 8); });
    // A hang is the fault under test: after a minute, free both sides and fail.
    const bool finished = drawn.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
    if (!finished) ring.abandon();
    decoder.join();
    ASSERT_TRUE(finished) << "the two sides waited on each other with " << slots << " slots";
    EXPECT_EQ(drawn.get(), 1000) << slots << " slots";
  }
}

}  // namespace
}  // namespace platform::graphics
