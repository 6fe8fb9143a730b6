// What programs cannot reach in the stores: the local frames kept per call level (also
// for a level that fell below 0), the element number the object layer computes from a
// descriptor with untruncated subscripts, and the address of record bytes below 2^31.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "interp/stores.h"
#include "runtime/low_memory.h"
#include "interp/state.h"

namespace tavrin {
namespace {

// Constant operands: tag 2, type Double, the value, then the end byte 11.
void appendConstant(std::vector<uint8_t>& code, double v) {
  code.push_back(2);
  code.push_back(7);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&v);
  code.insert(code.end(), bytes, bytes + 8);
  code.push_back(11);
}

TEST(LocalFrames, CreatedUpToTheLevelAndKeptWithTheirValues) {
  State s;
  s.calls.level = 3;
  prepareLocalFrames(s.stores, s.calls.level);
  ASSERT_EQ(s.stores.frames.size(), 3u);
  LocalFrame* second = s.stores.frames[1].get();
  s.calls.level = 2;
  storeNumber(s, false, ValueType::Long, 4, -7.9);
  s.calls.level = 1;
  prepareLocalFrames(s.stores, s.calls.level);
  s.calls.level = 2;
  prepareLocalFrames(s.stores, s.calls.level);
  EXPECT_EQ(s.stores.frames.size(), 3u);
  EXPECT_EQ(s.stores.frames[1].get(), second);
  EXPECT_EQ(readNumber(s, false, ValueType::Long, 4), -7.0);
  EXPECT_EQ(readNumber(s, true, ValueType::Long, 4), 0.0);  // the global is another variable
  s.calls.level = -1;  // a StmtEndBody too many
  prepareLocalFrames(s.stores, s.calls.level);
  EXPECT_EQ(s.stores.frames.size(), 3u);
}

TEST(ElementNumbers, UntruncatedSubscriptsInDoublePrecision) {
  State s;
  ArrayDescriptor d;
  d.base = 10;
  d.bias = {-1, 0, 0, 0, 0};
  d.span = {12, 4, 1, 1, 1};
  std::vector<uint8_t> code{2};  // two subscripts
  appendConstant(code, 2.5);     // (2.5 - 1) * 4 = 6
  appendConstant(code, 1.75);
  s.code.reset(code.data(), code.size());
  EXPECT_DOUBLE_EQ(elementNumberFromCode(s, d), 10 + 6 + 1.75);
  s.code.reset(code.data(), code.size());
  EXPECT_EQ(elementOffsetFromCode(s, d), (2 - 1) * 4 + 1);  // truncated subscripts
}

TEST(Records, BytesLiveBelowTwoGiB) {
  State s;
  const std::vector<uint8_t> fields{3, 7, 11};  // Long, Double
  s.code.reset(fields.data(), fields.size());
  declareRecord(s, 2);
  ASSERT_EQ(s.stores.records.size(), 3u);
  const TStructs& r = recordAt(s, 2);
  EXPECT_EQ(r.size, 12);
  EXPECT_EQ(r.fieldSizes, (std::vector<int32_t>{4, 8}));
  ASSERT_NE(r.bytes.data(), nullptr);
  EXPECT_LT(reinterpret_cast<uintptr_t>(r.bytes.data()) + r.bytes.size(), uintptr_t(1) << 31);
  EXPECT_EQ(recordAt(s, 0).size, 0);  // filled in before it, empty
}

// A harness that runs many programs in one process gives the arena back between them:
// only once nothing is in use, and what it hands out next reads as zero again.
TEST(Arena, ReleasedOnlyWhenEmptyAndFreshAfterwards) {
  {
    State s;
    const std::vector<uint8_t> fields{3, 11};
    s.code.reset(fields.data(), fields.size());
    declareRecord(s, 0);
    EXPECT_FALSE(lowReleaseAll());  // the record's bytes are in use
  }
  ASSERT_EQ(lowBytesInUse(), 0u);
  auto* block = static_cast<uint8_t*>(lowAlloc(4096));
  std::memset(block, 0xAB, 4096);
  lowFree(block, 4096);
  EXPECT_TRUE(lowReleaseAll());
  EXPECT_FALSE(lowContains(reinterpret_cast<uintptr_t>(block), 1));  // nothing handed out
  auto* again = static_cast<uint8_t*>(lowAlloc(4096));
  EXPECT_TRUE(std::all_of(again, again + 4096, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(lowContains(reinterpret_cast<uintptr_t>(again), 4096));
  lowFree(again, 4096);
}

}  // namespace
}  // namespace tavrin
