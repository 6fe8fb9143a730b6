// The code reader's bounds and the loader's record walk on well-formed and malformed
// images: every malformed image ends in a byte-code error, never a read out of bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/code_reader.h"
#include "runtime/loader.h"
#include "interp/state.h"

namespace tavrin {
namespace {

std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

struct ImageBuilder {
  std::vector<uint8_t> bytes;
  ImageBuilder& byte(uint8_t b) { bytes.push_back(b); return *this; }
  ImageBuilder& word32(uint32_t v) { auto w = le32(v); bytes.insert(bytes.end(), w.begin(), w.end()); return *this; }
  ImageBuilder& fill(size_t n, uint8_t b = 0) { bytes.insert(bytes.end(), n, b); return *this; }
};

TEST(CodeReader, ReadsLittleEndianAndRefusesToReadPastTheEnd) {
  const uint8_t data[] = {1, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 9};
  CodeReader r(data, sizeof data);
  EXPECT_EQ(r.u8(), 1);
  EXPECT_EQ(r.u16(), 0x1234);
  EXPECT_EQ(r.u32(), 0x12345678u);
  EXPECT_THROW(r.u16(), RunError);  // one byte left
  EXPECT_EQ(r.position(), 7u);       // a failed read consumes nothing
  EXPECT_EQ(r.u8(), 9);
  EXPECT_TRUE(r.atEnd());
  EXPECT_THROW(r.u8(), RunError);
  r.seek(1000);  // past the end: clamped, nothing readable
  EXPECT_TRUE(r.atEnd());
  EXPECT_THROW(r.seek(-1), RunError);
  try {
    r.u32();
    FAIL();
  } catch (const RunError& e) {
    EXPECT_EQ(e.kind, ErrorKind::ByteCode);
    EXPECT_NE(e.message.find("ends inside a statement"), std::string::npos);
  }
}

TEST(Loader, WalksProceduresResourcesAndTheDataBlock) {
  ImageBuilder b;
  b.byte(10).word32(6).fill(2, 0xEE);       // a procedure of two body bytes at offset 1
  b.byte(18).word32(3).fill(3, 'r');        // a resource at offset 8
  b.byte(18).word32(0);                     // an empty resource at offset 16
  b.byte(30).word32(4);                     // an empty data block
  const size_t main = b.bytes.size();
  b.fill(5, 0);
  State s;
  EXPECT_TRUE(loadImage(s, b.bytes));
  EXPECT_EQ(s.resourceCount, 2);
  EXPECT_EQ(s.resources[0], 8u);
  EXPECT_EQ(s.resources[1], 16u);
  EXPECT_EQ(s.dataBase, main);  // an empty block: dataBase is the main program's offset
  EXPECT_EQ(s.mainStart, main);
  EXPECT_EQ(s.code.position(), main);
}

TEST(Loader, AnyTagOpensTheDataBlockAndShortMainProgramsDoNotRun) {
  ImageBuilder b;
  b.byte(77).word32(6).fill(2);  // data block with any tag
  b.fill(4);                     // four bytes of main program: not run
  State s;
  EXPECT_FALSE(loadImage(s, b.bytes));
  EXPECT_EQ(s.dataBase, 5u);
  b.fill(1);
  State t;
  EXPECT_TRUE(loadImage(t, b.bytes));
}

TEST(Loader, MalformedImagesEndInByteCodeErrors) {
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
  } cases[] = {
      {"empty image", {}},
      {"only procedure records", ImageBuilder().byte(10).word32(4).byte(10).word32(4).bytes},
      {"procedure length below its own field", ImageBuilder().byte(10).word32(2).fill(8).bytes},
      {"procedure length past the end", ImageBuilder().byte(10).word32(100).fill(8).bytes},
      {"resource length past the end", ImageBuilder().byte(18).word32(0xFFFFFFF0u).fill(8).bytes},
      {"truncated length field", ImageBuilder().byte(10).byte(5).bytes},
      {"data block length below 4", ImageBuilder().byte(30).word32(3).fill(8).bytes},
      {"data block past the end", ImageBuilder().byte(30).word32(50).fill(8).bytes},
  };
  for (const auto& c : cases) {
    State s;
    try {
      loadImage(s, c.image);
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const RunError& e) {
      EXPECT_EQ(e.kind, ErrorKind::ByteCode) << c.what;
    }
  }
}

TEST(Loader, MoreThan201ResourcesAreRefused) {
  ImageBuilder b;
  for (int i = 0; i < 201; ++i) b.byte(18).word32(0);
  b.byte(30).word32(4).fill(6);
  State ok;
  EXPECT_TRUE(loadImage(ok, b.bytes));
  EXPECT_EQ(ok.resourceCount, 201);
  ImageBuilder c;
  for (int i = 0; i < 202; ++i) c.byte(18).word32(0);
  c.byte(30).word32(4).fill(6);
  State s;
  EXPECT_THROW(loadImage(s, c.bytes), RunError);
}

}  // namespace
}  // namespace tavrin
