// The buffered file stream against the plain memory stream: the same bytes in, the same
// reads, lines and positions out, across the buffer's edges; and the file holding what was
// written whenever it is looked at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "lib/streams.h"
#include "runtime/run_error.h"

namespace tavrin {
namespace {

class FileStreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrin-fs.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::string path(const std::string& name) const { return m_dir + "/" + name; }
  std::unique_ptr<FileStream> open(const std::string& name, int mode) {
    int error = 0;
    auto st = openFileStream(path(name), mode, error);
    EXPECT_TRUE(st) << "error " << error;
    return st;
  }
  std::string onDisk(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::string m_dir;
};

// Lines of every length around the 255-byte pieces and the buffer, with a CR before the LF
// (kept when the LF starts a piece), lone CRs, and a last line without an LF.
std::string awkwardLines() {
  std::mt19937 random(7);
  std::string text;
  for (int i = 0; i < 600; ++i) {
    size_t length = (i % 3 == 0) ? 255 * size_t(1 + i % 4) - 1 + size_t(i % 3) : random() % 700;
    if (i == 100) length = size_t(kFileBufferSize) + 17;  // a line longer than the buffer
    for (size_t k = 0; k < length; ++k) text += char('a' + random() % 26);
    if (i % 2 == 0) text += '\r';
    if (i % 5 == 0) text += "\rx";
    text += '\n';
  }
  text += "tail\r";
  return text;
}

TEST_F(FileStreamTest, LinesAreReadAsFromAnUnbufferedStream) {
  const std::string text = awkwardLines();
  {
    auto w = open("lines.txt", kCreateMode);
    w->write(text.data(), int64_t(text.size()));
  }
  ASSERT_EQ(onDisk("lines.txt"), text);
  MemoryStream reference;
  reference.write(text.data(), int64_t(text.size()));
  reference.seek(0, 0);
  auto f = open("lines.txt", 0);
  int lines = 0;
  while (!reference.atEnd()) {
    ASSERT_FALSE(f->atEnd()) << "line " << lines;
    ASSERT_EQ(f->readLine(), readStreamLine(reference)) << "line " << lines;
    ASSERT_EQ(f->position(), reference.position()) << "line " << lines;
    ++lines;
  }
  EXPECT_TRUE(f->atEnd());
  EXPECT_EQ(f->readLine(), "");
  EXPECT_EQ(lines, 601);
}

TEST_F(FileStreamTest, MixedReadsWritesAndSeeksMatchAMemoryStream) {
  auto f = open("mixed.bin", kCreateMode);
  MemoryStream m;
  std::mt19937 random(11);
  std::string bytes(3 * kFileBufferSize, '\0');
  for (char& c : bytes) c = char(random());
  for (int step = 0; step < 4000; ++step) {
    const int what = int(random() % 6);
    const int64_t n = (random() % 8 == 0) ? int64_t(random() % (2 * kFileBufferSize)) : int64_t(random() % 300);
    if (what <= 1) {
      const int64_t from = int64_t(random() % kFileBufferSize);
      ASSERT_EQ(f->write(bytes.data() + from, n), m.write(bytes.data() + from, n)) << step;
    } else if (what <= 3) {
      std::string a(size_t(n), '\0'), b(size_t(n), '\0');
      const int64_t got = f->read(a.data(), n);
      ASSERT_EQ(got, m.read(b.data(), n)) << step;
      ASSERT_EQ(a.substr(0, size_t(got)), b.substr(0, size_t(got))) << step;
    } else if (what == 4) {
      const int64_t size = m.size();
      const int64_t to = size ? int64_t(random() % uint64_t(size)) : 0;
      ASSERT_EQ(f->seek(to, 0), m.seek(to, 0)) << step;
    } else {
      const int64_t back = -int64_t(random() % 100);
      if (m.position() + back >= 0) {
        ASSERT_EQ(f->seek(back, 1), m.seek(back, 1)) << step;
      }
    }
    ASSERT_EQ(f->position(), m.position()) << step;
    if (step % 97 == 0) {
      ASSERT_EQ(f->size(), m.size()) << step;
      ASSERT_EQ(f->atEnd(), m.atEnd()) << step;
    }
  }
  f->flush();
  EXPECT_EQ(onDisk("mixed.bin"), std::string(reinterpret_cast<const char*>(m.data()), size_t(m.size())));
}

TEST_F(FileStreamTest, WritesWaitUntilAFlushPointOrTheEnd) {
  auto f = open("wait.txt", kCreateMode);
  f->write("abc", 3);
  EXPECT_EQ(onDisk("wait.txt"), "") << "a small write waits in the buffer";
  flushFileWrites();
  EXPECT_EQ(onDisk("wait.txt"), "abc");
  f->write("def", 3);
  EXPECT_EQ(f->size(), 6) << "a size query sees the bytes";
  EXPECT_EQ(onDisk("wait.txt"), "abcdef");
  f->write("g", 1);
  f.reset();
  EXPECT_EQ(onDisk("wait.txt"), "abcdefg") << "closing the stream sends what waits";
}

TEST_F(FileStreamTest, AWriteOnlyStreamRefusesReadsWithTheFileNamed) {
  auto f = open("w.txt", kCreateMode | 1);
  f->write("xyz", 3);
  auto r = open("w.txt", 1);  // write-only
  char b[4];
  try {
    r->read(b, 4);
    FAIL() << "a read of a write-only stream succeeded";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number, int(ErrorNumber::DiskRead));
    EXPECT_NE(e.message.find("w.txt"), std::string::npos) << e.message;
    EXPECT_NE(e.message.find("(0 of 4 bytes read)"), std::string::npos) << e.message;
  }
}

}  // namespace
}  // namespace tavrin
