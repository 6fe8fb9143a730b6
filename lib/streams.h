// File and memory streams: byte streams with a position, and text lines read from them.
// The object types that use them are bound in ui/types/.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "interp/byte_store.h"
#include "lib/file_writes.h"

namespace tavrin {

struct State;

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
  // Whether the position is at or past the end.
  virtual bool atEnd() { return position() >= size(); }
  // Reads one text line (see readStreamLine).
  virtual std::string readLine();
  // Sends what waits in a buffer to the file (raises error 101 when the file refuses).
  virtual void flush() {}
};

// A stream over an open file descriptor, buffered both ways. What the program writes waits
// in the buffer until the buffer is full or the program could see the file another way:
// any open or file operation naming a path, a size, position, seek or end-of-file query,
// running a process, sleeping, waiting for input, processing messages, an external call,
// the end of the run (every way out, SIGINT, SIGTERM and SIGHUP included), and at the
// latest kFlushDelayMs after the first byte waiting was written (TAVRIN_FILE_FLUSH_MS
// changes it). A write the file cannot take whole (a full disk, the file size limit, an I/O
// error) is run-time error 101 naming the file and the cause, raised by the statement that
// sends the bytes to the file. Several streams on one file see each other's writes.
class FileStream final : public Stream {
public:
  FileStream(int fd, std::string name);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  // The descriptor, with nothing waiting in the buffers: code outside the engine may use it.
  int fd();
  int64_t read(void* out, int64_t n) override;
  int64_t write(const void* in, int64_t n) override;
  int64_t seek(int64_t offset, int origin) override;
  int64_t size() override;
  bool atEnd() override;
  std::string readLine() override;

  void flush() override;

private:
  friend struct FileStreamList;
  friend void flushFileWrites();
  friend void fileWritesEnd(State& s);
  friend void fileWritesFromSignal();
  enum class Mode : uint8_t { Idle, Reading, Writing };
  void startWriting();
  void startReading();
  void stopReading();
  bool refill(int64_t done, int64_t wanted);  // the counts name a failing read
  void flushOthersOnFile();
  void dropOthersReadAhead();
  int64_t writeOut(const uint8_t* p, int64_t n, int64_t& done) noexcept;
  void flushCommitted() noexcept;  // the timer's and the exit signals' flush

  int m_fd;
  std::string m_name;  // as the program named it, for the error report
  uint64_t m_device = 0, m_inode = 0;
  std::unique_ptr<uint8_t[]> m_buffer;
  // Reading: m_buffer[0, m_length) holds the file's bytes from m_start, m_cursor is the
  // position. Writing: m_buffer[0, m_length) waits to go to the file at m_start (where the
  // descriptor is), of which m_written have gone already (sent by a signal).
  volatile Mode m_mode = Mode::Idle;
  int64_t m_start = 0;
  volatile int64_t m_length = 0;
  int64_t m_cursor = 0;
  volatile int64_t m_written = 0;
  volatile int m_lostErrno = 0;  // a write from a signal that failed, reported later
  FileStream* m_previous = nullptr;
  FileStream* m_next = nullptr;
};

inline constexpr int kFlushDelayMs = 100;
inline constexpr int64_t kFileBufferSize = 64 * 1024;

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
