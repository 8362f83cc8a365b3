#include "decoders/board_message.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The block-wise checksum against a plain byte-by-byte sum, over lengths that
// cover short messages and every tail length after the blocks and words,
// random and all-0xFF bytes.
TEST(BoardMessage, ChecksumIsTheLowByteOfTheSumOfBytesTwoOnward) {
  std::mt19937 rng(7);
  for (uint32_t length = 0; length < 2600; length += (length < 40 ? 1 : 37)) {
    for (bool saturated : {false, true}) {
      std::vector<uint8_t> bytes(length);
      for (uint8_t& b : bytes) b = saturated ? 0xFF : static_cast<uint8_t>(rng());
      uint8_t expected = 0;
      for (uint32_t i = 2; i < length; ++i) expected = static_cast<uint8_t>(expected + bytes[i]);
      EXPECT_EQ(board_message::checksum(bytes.data(), length), expected) << length;
    }
  }
}

TEST(BoardMessage, MarkerAndBounds) {
  const uint8_t marked[] = {0x23, 0x7C};
  EXPECT_TRUE(board_message::hasMarker(marked, 2));
  EXPECT_FALSE(board_message::hasMarker(marked, 1));
  EXPECT_FALSE(board_message::hasMarker(marked, 0));
  // The checksum byte at offset L must be inside the payload.
  EXPECT_TRUE(board_message::fitsInPayload(7, 8));
  EXPECT_FALSE(board_message::fitsInPayload(7, 7));
}

}  // namespace
