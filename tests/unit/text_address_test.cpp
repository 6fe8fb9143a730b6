// Pinned texts: the address a foreign function would get, what it may write there and
// what comes back into the variable.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interp/text_address.h"
#include "runtime/low_memory.h"

namespace tavrin {
namespace {

char* at(uint32_t address) { return reinterpret_cast<char*>(uintptr_t(address)); }

TEST(TextPins, PinsLiveInTheArenaAndComeBack) {
  const size_t before = lowBytesInUse();
  {
    TextPins pins;
    std::string text = "abc", other = "abc";
    const TextPinKey key{TextPinKey::Global, 8, 0, 3}, otherKey{TextPinKey::Element, 8, 0, 3};
    const TextPinKey local{TextPinKey::Local, 8, 2, 3};
    const uint32_t a = pins.pin(key, text);
    ASSERT_NE(a, 0u);
    EXPECT_LT(a, 0x80000000u);
    EXPECT_TRUE(lowContains(a, 4));
    EXPECT_STREQ(at(a), "abc");
    EXPECT_EQ(pins.pin(key, text), a) << "an unchanged text keeps its address";
    EXPECT_NE(pins.pin(otherKey, other), a) << "each variable has its own copy";

    // A foreign function fills the buffer: the variable keeps its length, a NUL it wrote
    // ends the text early.
    std::memcpy(at(a), "xyzw", 4);
    std::string back = text;
    ASSERT_TRUE(pins.copyBack(key, back));
    EXPECT_EQ(back, "xyz");
    std::memcpy(at(a), "q\0z", 3);
    ASSERT_TRUE(pins.copyBack(key, back));
    EXPECT_EQ(back, "q");
    std::string none;
    EXPECT_FALSE(pins.copyBack(local, none)) << "a local of level 2 is another variable";

    // The block changed under the pin: the next AddressOf copies the text again.
    EXPECT_EQ(pins.pin(key, text), a);
    EXPECT_STREQ(at(a), "abc");
    text = "a text longer than the sixteen bytes of the first block";
    const uint32_t b = pins.pin(key, text);
    EXPECT_STREQ(at(b), text.c_str());
    text = "ab";
    EXPECT_EQ(pins.pin(key, text), b) << "a shorter text stays in its block";
    EXPECT_STREQ(at(b), "ab");
    EXPECT_EQ(pins.count(), 2u);
  }
  EXPECT_EQ(lowBytesInUse(), before) << "the pins' blocks go back to the arena";
}

}  // namespace
}  // namespace tavrin
