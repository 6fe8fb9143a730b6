// File streams (otFileStream) and memory streams (otMemoryStream): byte streams with a
// position, typed number reads and writes, text lines, copies, variable transfers and the
// image's embedded data blocks.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "interp/byte_store.h"
#include "ui/object_model.h"

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

class MemoryStreamObject final : public Object {
public:
  MemoryStreamObject() : Object(otMemoryStream) {}
  Stream* stream() override { return &memory; }
  MemoryStream memory;
};

// Opens a file stream in the original's mode numbers: 0xFF00 and above create (with any
// share bits), else the low two bits are 0 read, 1 write, 2 both. Returns nullptr and sets
// `error` (a run-time error number) when the file cannot be opened.
std::unique_ptr<FileStream> openFileStream(const std::string& name, int32_t mode, int& error);

// The stream an object reference names: a file stream slot or a memory stream; run-time
// error 103 for a file stream instance that is not open.
Stream& streamOf(State& s, const ObjectRef& ref);

// Members of the two stream types (ui/props_file_stream.def, ui/props_memory_stream.def).
void fileOpen(MemberCall& c);
void fileOpenRead(MemberCall& c);
void fileClose(MemberCall& c);
void fileHandle(MemberCall& c);
void streamWriteNumber(MemberCall& c);
void streamWriteText(MemberCall& c);
void streamSeek(MemberCall& c);
void streamSetPosition(MemberCall& c);
void streamCopyFrom(MemberCall& c);
void streamWriteLine(MemberCall& c);
void streamWriteArray(MemberCall& c);
void streamReadArray(MemberCall& c);
void streamWriteWhole(MemberCall& c);
void streamReadWhole(MemberCall& c);
void streamWriteData(MemberCall& c);
void streamReadNumber(MemberCall& c);
void streamReadText(MemberCall& c);
void streamSize(MemberCall& c);
void streamPosition(MemberCall& c);
void streamReadLine(MemberCall& c);
void streamLineCount(MemberCall& c);
void streamEof(MemberCall& c);
void streamReadByte(MemberCall& c);
void memorySetSize(MemberCall& c);
void memoryClear(MemberCall& c);
void memoryWritePieces(MemberCall& c);
void memoryWriteRaw(MemberCall& c);
void memoryReadRaw(MemberCall& c);
void memoryAddress(MemberCall& c);

// Text lines of a stream, shared with the string lists: reads one line as the stream
// members do (LF ends it, a CR before the LF in the same 255-byte piece is dropped).
std::string readStreamLine(Stream& st);

}  // namespace tavrin
