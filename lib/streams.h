// File and memory streams: byte streams with a position, and text lines read from them.
// The object types that use them are bound in ui/types/.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "interp/byte_store.h"

namespace tavrin {

class Stream {
public:
  virtual ~Stream();
  // Both return the bytes moved; a read past the end gives what there is.
  virtual int64_t read(void* out, int64_t n) = 0;
  virtual int64_t write(const void* in, int64_t n) = 0;
  // Origin 0 the start, 1 the position, 2 the end; returns the new position (-1 refused).
  virtual int64_t seek(int64_t offset, int origin) = 0;
  virtual int64_t size() = 0;
  int64_t position() { return seek(0, 1); }
};

// A stream over an open file descriptor, unbuffered: every byte written is in the file
// when the statement ends. A write the file cannot take whole (a full disk, the file size
// limit, an I/O error) is run-time error 101 naming the file and the cause, raised after
// the bytes that fit have been written; so a write that returns has moved every byte.
class FileStream final : public Stream {
public:
  FileStream(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}
  ~FileStream() override;
  int fd() const { return m_fd; }
  int64_t read(void* out, int64_t n) override;
  int64_t write(const void* in, int64_t n) override;
  int64_t seek(int64_t offset, int origin) override;
  int64_t size() override;

private:
  int m_fd;
  std::string m_name;  // as the program named it, for the error report
};

// A growable block of program-visible memory (addresses fit in 31 bits).
class MemoryStream final : public Stream {
public:
  int64_t read(void* out, int64_t n) override;
  int64_t write(const void* in, int64_t n) override;
  int64_t seek(int64_t offset, int origin) override;
  int64_t size() override { return int64_t(m_data.size()); }
  void setSize(int64_t n);
  void clear();
  uint8_t* data() { return m_data.data(); }

private:
  ByteStore m_data;
  int64_t m_position = 0;
};

// The mode bits of a file open: 0xFF00 and above create; share-deny-none.
inline constexpr int32_t kCreateMode = 0xFF00;
inline constexpr int32_t kShareDenyNone = 0x40;

// Opens a file stream in the program's mode numbers: 0xFF00 and above create (with any
// share bits), else the low two bits are 0 read, 1 write, 2 both. Returns nullptr and sets
// `error` (a run-time error number) when the file cannot be opened.
std::unique_ptr<FileStream> openFileStream(const std::string& name, int32_t mode, int& error);

// Reads one text line: LF ends it, a CR before the LF in the same 255-byte piece is
// dropped.
std::string readStreamLine(Stream& st);

}  // namespace tavrin
