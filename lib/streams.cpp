// File and memory streams: the stream classes and the members of otFileStream and
// otMemoryStream. Counts that run past a text, a buffer or a stream are cut to what is
// there; type codes above 8 are refused; raw memory transfers must lie in memory the
// engine handed out.
#include "lib/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "interp/evaluator.h"
#include "interp/stores.h"
#include "lib/paths.h"
#include "runtime/low_memory.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

Stream::~Stream() = default;

// --- FileStream -------------------------------------------------------------------------

FileStream::~FileStream() {
  if (m_fd >= 0) ::close(m_fd);
}

int64_t FileStream::read(void* out, int64_t n) {
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(out);
  while (done < n) {
    ssize_t r = ::read(m_fd, p + done, size_t(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0)  // a failing device or a stream opened for writing only; the end of file is r == 0
      raiseIo(ErrorNumber::DiskRead, "cannot read from " + m_name + ": " + std::strerror(errno) + " (" +
                                         std::to_string(done) + " of " + std::to_string(n) + " bytes read)");
    if (r == 0) break;
    done += r;
  }
  return done;
}

int64_t FileStream::write(const void* in, int64_t n) {
  int64_t done = 0;
  auto* p = static_cast<const uint8_t*>(in);
  while (done < n) {
    ssize_t r = ::write(m_fd, p + done, size_t(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      // The bytes before stay written (a full disk takes what fits, then refuses).
      const std::string cause = r < 0 ? std::strerror(errno) : "nothing was written";
      raiseIo(ErrorNumber::DiskWrite, "cannot write to " + m_name + ": " + cause + " (" + std::to_string(done) +
                                          " of " + std::to_string(n) + " bytes written)");
    }
    done += r;
  }
  return done;
}

int64_t FileStream::seek(int64_t offset, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return -1;
  off_t r = ::lseek(m_fd, off_t(offset), kWhence[origin]);
  return r < 0 ? -1 : int64_t(r);
}

int64_t FileStream::size() {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) return 0;
  return int64_t(st.st_size);
}

// --- MemoryStream -----------------------------------------------------------------------

int64_t MemoryStream::read(void* out, int64_t n) {
  const int64_t size = int64_t(m_data.size());
  if (n <= 0 || m_position < 0 || m_position >= size) return 0;
  if (n > size - m_position) n = size - m_position;
  std::memcpy(out, m_data.data() + m_position, size_t(n));
  m_position += n;
  return n;
}

int64_t MemoryStream::write(const void* in, int64_t n) {
  if (n <= 0 || m_position < 0) return 0;
  const int64_t end = m_position + n;
  m_data.ensure(size_t(end));
  std::memmove(m_data.data() + m_position, in, size_t(n));
  m_position = end;
  return n;
}

int64_t MemoryStream::seek(int64_t offset, int origin) {
  switch (origin) {
    case 0: m_position = offset; break;
    case 1: m_position += offset; break;
    case 2: m_position = int64_t(m_data.size()) + offset; break;
    default: break;
  }
  return m_position;
}

void MemoryStream::setSize(int64_t n) {
  if (n < 0) n = 0;
  m_data.resize(size_t(n));
  if (m_position > n) m_position = n;
}

void MemoryStream::clear() {
  m_data.resize(0);
  m_position = 0;
}

// --- Opening ----------------------------------------------------------------------------

namespace {

constexpr int32_t kCreateMode = 0xFF00;  // the create mode's bits (0xFFFF; share bits below)
constexpr int32_t kShareDenyNone = 0x40;

int errorNumberOf(int err, const std::string& path) {
  switch (err) {
    case ENOENT: {
      size_t slash = path.rfind('/');
      if (slash != std::string::npos && slash > 0 && ::access(path.substr(0, slash).c_str(), F_OK) != 0)
        return int(ErrorNumber::PathNotFound);
      return int(ErrorNumber::FileNotFound);
    }
    case ENOTDIR: return int(ErrorNumber::PathNotFound);
    case EMFILE:
    case ENFILE: return int(ErrorNumber::TooManyOpenFiles);
    default: return int(ErrorNumber::AccessDenied);
  }
}

std::vector<std::unique_ptr<Stream>>& fileSlots(State& s) { return objectState(s).fileStreams; }

std::unique_ptr<Stream>* fileSlot(State& s, int64_t instance, bool grow) {
  auto& slots = fileSlots(s);
  if (instance < 0) return nullptr;
  if (size_t(instance) >= slots.size()) {
    if (!grow) return nullptr;
    slots.resize(size_t(instance) + 1);
  }
  return &slots[size_t(instance)];
}

[[noreturn, gnu::cold]] void notOpen(int64_t instance) {
  raiseIo(ErrorNumber::FileNotOpen, "File not open: otFileStream " + std::to_string(instance) + " is not open");
}

Stream& fileStreamAt(State& s, int64_t instance) {
  std::unique_ptr<Stream>* slot = fileSlot(s, instance, false);
  if (!slot || !*slot) notOpen(instance);
  return **slot;
}

// The stream a member call works on.
Stream& target(MemberCall& c) {
  if (c.type == otFileStream) return fileStreamAt(c.s, c.instance);
  return *c.object().stream();
}

MemoryStream& memoryTarget(MemberCall& c) {
  return static_cast<MemoryStreamObject&>(c.object()).memory;
}

// Opens name in mode into the call's slot, closing a stream still open there first (so
// that its descriptor does not leak). Returns 0 or the error number.
int openInto(MemberCall& c, std::string& message) {
  std::unique_ptr<Stream>* slot = fileSlot(c.s, c.instance, true);
  if (!slot) {
    message = "otFileStream instance " + std::to_string(c.instance) + " does not exist";
    return int(ErrorNumber::IndexOutOfRange);
  }
  slot->reset();
  if (c.s.sandbox) {
    message = "files are refused in the sandbox";
    return int(ErrorNumber::AccessDenied);
  }
  const int32_t mode = c.num[1] | kShareDenyNone;
  int error = 0;
  auto stream = openFileStream(c.text[0], mode, error);
  if (!stream) {
    message = ((mode & kCreateMode) == kCreateMode ? "Cannot create file " : "Cannot open file ") + c.text[0];
    return error;
  }
  *slot = std::move(stream);
  return 0;
}

// Number type codes: bytes of each (7 and 0 take that many bytes of a Double).
constexpr int kTypeWidth[9] = {0, 1, 2, 2, 4, 4, 4, 7, 8};

[[noreturn, gnu::cold]] void badTypeCode(int64_t code) {
  raise(ErrorNumber::RangeCheck, "number type code " + std::to_string(code) + " is above 8");
}

// The byte form of a value under a type code 0..8; returns the byte count.
int encodeNumber(double v, int code, uint8_t out[8]) {
  switch (code) {
    case 1: out[0] = uint8_t(truncateToInt(v)); return 1;
    case 2:
    case 3: {
      uint16_t w = uint16_t(truncateToInt(v));
      std::memcpy(out, &w, 2);
      return 2;
    }
    case 4:
    case 5: {
      int32_t l = truncateToInt(v);
      std::memcpy(out, &l, 4);
      return 4;
    }
    case 6: {
      float f = float(v);
      if (std::isinf(f) && std::isfinite(v)) raise(ErrorNumber::FloatOverflow);
      std::memcpy(out, &f, 4);
      return 4;
    }
    default:
      std::memcpy(out, &v, 8);
      return kTypeWidth[code];
  }
}

double decodeNumber(const uint8_t in[8], int code) {
  switch (code) {
    case 1: return in[0];
    case 2: { int16_t v; std::memcpy(&v, in, 2); return v; }
    case 3: { uint16_t v; std::memcpy(&v, in, 2); return v; }
    case 4:
    case 5: { int32_t v; std::memcpy(&v, in, 4); return v; }
    case 6: { float v; std::memcpy(&v, in, 4); return v; }
    default: { double v; std::memcpy(&v, in, 8); return v; }
  }
}

// Bytes left after the position (0 when the position is at or past the end).
int64_t remaining(Stream& st) {
  int64_t left = st.size() - st.position();
  return left > 0 ? left : 0;
}

// Copies n bytes from a stream's position into another's, stopping at a short read.
void copyBytes(Stream& from, Stream& to, int64_t n) {
  uint8_t buffer[32768];
  while (n > 0) {
    int64_t want = n < int64_t(sizeof buffer) ? n : int64_t(sizeof buffer);
    int64_t got = from.read(buffer, want);
    if (got <= 0) break;
    to.write(buffer, got);
    if (got < want) break;
    n -= got;
  }
}

}  // namespace

std::unique_ptr<FileStream> openFileStream(const std::string& name, int32_t mode, int& error) {
  const std::string path = hostPath(name);
  int flags;
  if ((mode & kCreateMode) == kCreateMode) {
    flags = O_RDWR | O_CREAT | O_TRUNC;
  } else {
    static constexpr int kAccess[] = {O_RDONLY, O_WRONLY, O_RDWR};
    if ((mode & 3) == 3) {
      error = int(ErrorNumber::InvalidFileMode);
      return nullptr;
    }
    flags = kAccess[mode & 3];
  }
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errorNumberOf(errno, path);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = int(ErrorNumber::AccessDenied);
    return nullptr;
  }
  return std::make_unique<FileStream>(fd, name);
}

Stream& streamOf(State& s, const ObjectRef& ref) {
  if (ref.type == otFileStream) return fileStreamAt(s, ref.instance);
  Object& o = ObjectAt(s, ref.type, ref.instance);
  Stream* st = o.stream();
  if (!st) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[ref.type].name) + " is not a stream");
  return *st;
}

std::string readStreamLine(Stream& st) {
  std::string line;
  char piece[255];
  for (;;) {
    const int64_t got = st.read(piece, sizeof piece);
    if (got <= 0) break;
    const void* lf = std::memchr(piece, '\n', size_t(got));
    if (lf) {
      const int64_t p = static_cast<const char*>(lf) - piece;  // bytes before the LF
      st.seek(p + 1 - got, 1);                                 // right after the LF
      int64_t keep = p;
      if (keep > 0 && piece[keep - 1] == '\r') --keep;  // only a CR in the same piece
      roomToGrow(line, int64_t(line.size()) + keep);
      line.append(piece, size_t(keep));
      return line;
    }
    roomToGrow(line, int64_t(line.size()) + got);
    line.append(piece, size_t(got));
    if (st.position() >= st.size()) break;
  }
  return line;
}

// --- Members ----------------------------------------------------------------------------

void fileOpen(MemberCall& c) {
  std::string message;
  if (int error = openInto(c, message)) raiseIo(ErrorNumber(error), message);
}

void fileOpenRead(MemberCall& c) {
  std::string message;
  c.pushNumber(openInto(c, message) == 0 ? -1.0 : 0.0);
}

void fileClose(MemberCall& c) {
  if (std::unique_ptr<Stream>* slot = fileSlot(c.s, c.instance, false)) slot->reset();
}

void fileHandle(MemberCall& c) {
  c.pushNumber(static_cast<FileStream&>(fileStreamAt(c.s, c.instance)).fd());
}

void streamWriteNumber(MemberCall& c) {
  const int32_t code = c.num[1];
  if (code > 8) badTypeCode(code);
  if (code <= 0) return;  // no bytes
  uint8_t bytes[8];
  const int n = encodeNumber(c.real[0], code, bytes);
  target(c).write(bytes, n);
}

void streamReadNumber(MemberCall& c) {
  const int64_t code = std::llabs(int64_t(c.num[0]));
  if (code > 8) badTypeCode(code);
  uint8_t bytes[8] = {};  // a partial read leaves the rest 0
  target(c).read(bytes, kTypeWidth[code]);
  c.pushNumber(decodeNumber(bytes, int(code)));
}

void streamWriteText(MemberCall& c) {
  const std::string& t = c.text[0];
  int64_t n = c.num[1];
  if (n > int64_t(t.size())) n = int64_t(t.size());
  if (n > 0) target(c).write(t.data(), n);
}

void streamReadText(MemberCall& c) {
  Stream& st = target(c);
  int64_t n = c.num[0];
  if (n < 0) n = 0;
  const int64_t left = remaining(st);
  if (n > left) n = left;
  roomForText(n);
  std::string& out = c.e->pushTextSlot();
  out.resize(size_t(n));
  out.resize(size_t(st.read(out.data(), n)));
}

void streamSeek(MemberCall& c) { target(c).seek(c.num[0], c.num[1]); }
void streamSetPosition(MemberCall& c) { target(c).seek(c.num[0], 0); }

void streamCopyFrom(MemberCall& c) {
  Stream& to = target(c);
  Stream& from = streamOf(c.s, c.obj[0]);
  int64_t n = c.num[1];
  if (n == 0) {
    from.seek(0, 0);
    n = from.size();
  }
  copyBytes(from, to, n);
}

void streamWriteLine(MemberCall& c) {
  Stream& st = target(c);
  st.write(c.text[0].data(), int64_t(c.text[0].size()));
  st.write("\r\n", 2);
}

void streamSize(MemberCall& c) { c.pushNumber(double(target(c).size())); }
void streamPosition(MemberCall& c) { c.pushNumber(double(target(c).position())); }

void streamEof(MemberCall& c) {
  Stream& st = target(c);
  c.pushNumber(st.position() >= st.size() ? -1.0 : 0.0);
}

void streamReadByte(MemberCall& c) {
  uint8_t b = 0;
  target(c).read(&b, 1);
  c.pushNumber(b);
}

void streamReadLine(MemberCall& c) {
  std::string line = readStreamLine(target(c));
  c.e->pushTextSlot().swap(line);
}

void streamLineCount(MemberCall& c) {
  Stream& st = target(c);
  const int64_t at = st.position();
  st.seek(0, 0);
  static char piece[32000];
  int64_t lines = 0;
  for (;;) {
    const int64_t got = st.read(piece, sizeof piece);
    for (int64_t i = 0; i < got; ++i) lines += piece[i] == '\n';
    if (got < int64_t(sizeof piece)) break;
  }
  st.seek(at, 0);
  c.pushNumber(double(lines));
}

void streamWriteData(MemberCall& c) {
  const std::vector<uint8_t>& image = c.s.image;
  const uint64_t at = c.word[0];
  uint32_t length = 0;
  if (at + 4 > image.size()) raiseByteCode("data block at " + std::to_string(at) + " lies outside the image");
  std::memcpy(&length, image.data() + at, 4);
  if (at + 4 + length > image.size())
    raiseByteCode("data block at " + std::to_string(at) + " runs past the end of the image");
  target(c).write(image.data() + at + 4, length);
}

void memorySetSize(MemberCall& c) { memoryTarget(c).setSize(c.num[0]); }
void memoryClear(MemberCall& c) { memoryTarget(c).clear(); }

void memoryWritePieces(MemberCall& c) {
  constexpr int64_t kPiece = 32000;
  MemoryStream& st = memoryTarget(c);
  const std::string& t = c.text[0];
  int64_t n = c.num[1];
  if (n > int64_t(t.size())) n = int64_t(t.size());
  try {
    for (int64_t at = 0; at < n; at += kPiece) st.write(t.data() + at, n - at < kPiece ? n - at : kPiece);
  } catch (const RunError& error) {
    // A write the memory cannot take ends quietly; the user's --max-memory bound does not.
    if (error.number != int(ErrorNumber::HeapOverflow) || error.kind == ErrorKind::Limit) throw;
  }
}

void memoryWriteRaw(MemberCall& c) {
  const int64_t address = c.num[0], n = c.num[1];
  if (n <= 0) return;
  if (address <= 0 || !lowContains(uintptr_t(address), size_t(n)))
    raise(ErrorNumber::AccessViolation, "raw memory write from an address outside the program's memory");
  // Copied first: the source may lie in the stream's own block, which may move.
  std::string bytes(reinterpret_cast<const char*>(uintptr_t(address)), size_t(n));
  memoryTarget(c).write(bytes.data(), n);
}

void memoryReadRaw(MemberCall& c) {
  MemoryStream& st = memoryTarget(c);
  const int64_t address = c.num[0], n = c.num[1];
  if (n <= 0) return;
  // A position before the start has no stream bytes under it.
  int64_t count = st.position() < 0 ? 0 : remaining(st);
  if (count > n) count = n;
  if (count > 0) {
    if (address <= 0 || !lowContains(uintptr_t(address), size_t(count)))
      raise(ErrorNumber::AccessViolation, "raw memory read into an address outside the program's memory");
    std::memmove(reinterpret_cast<void*>(uintptr_t(address)), st.data() + st.position(), size_t(count));
  }
  st.seek(n, 1);
}

void memoryAddress(MemberCall& c) {
  MemoryStream& st = memoryTarget(c);
  c.pushNumber(st.size() ? double(reinterpret_cast<uintptr_t>(st.data())) : 0.0);
}

// --- Array and whole-variable transfers -------------------------------------------------

namespace {

constexpr int kValueWidth[10] = {0, 1, 2, 4, 2, 4, 4, 8, 0, 0};

// Writes (or reads) `count` elements of an array from flat element `first` on.
void transferElements(MemberCall& c, const VariableRef& v, int64_t first, int64_t count, bool toStream) {
  if (count <= 0 || first < 0) return;
  State& s = c.s;
  Stream& st = target(c);
  Stores& stores = s.stores;
  const ValueType type = v.type;
  if (type == ValueType::Variant) {
    const ArrayDescriptor& d = variantArrayDescriptor(s, v.number);
    for (int64_t i = 0; i < count; ++i) {
      const int64_t cell = int64_t(d.base) + first + i;
      if (cell < 0 || cell >= int64_t(stores.cells.size())) break;
      if (toStream) {
        const VariantCell& vc = stores.cells[size_t(cell)];
        if (vc.kind == VariantKind::Text) {
          st.write(vc.text.data(), int64_t(vc.text.size()));
        } else {
          double x = vc.kind == VariantKind::Integer ? double(vc.integer) : vc.real;
          st.write(&x, 8);
        }
      } else {
        double x = 0.0;
        if (st.read(&x, 8) < 8) break;
        storeVariantCell(s, uint32_t(cell), false, x, std::string());
      }
    }
    return;
  }
  const ArrayDescriptor& d = arrayDescriptor(s, type, v.number);
  if (type == ValueType::String || type == ValueType::FixedString) {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t item = int64_t(d.base) + first + i;
      if (type == ValueType::String) {
        if (item < 0 || item >= int64_t(stores.arrayStrings.size())) break;
        std::string& text = stores.arrayStrings[size_t(item)];
        if (toStream) st.write(text.data(), int64_t(text.size()));
        else text.resize(size_t(st.read(text.data(), int64_t(text.size()))));
      } else {
        if (item < 0 || item >= int64_t(stores.arrayFixed.size())) break;
        TFixString& f = stores.arrayFixed[size_t(item)];
        if (toStream) {
          std::string padded = f.text;
          if (int64_t(padded.size()) < f.length) padded.resize(size_t(f.length), ' ');
          st.write(padded.data(), int64_t(padded.size()));
        } else {
          std::string text(size_t(f.length > 0 ? f.length : 0), '\0');
          text.resize(size_t(st.read(text.data(), int64_t(text.size()))));
          f.text = std::move(text);
        }
      }
    }
    return;
  }
  const int width = kValueWidth[size_t(type)];
  ByteStore& bytes = stores.arrayBytes[size_t(type)];
  const int64_t at = int64_t(d.base) + first * width;
  int64_t n = count * width;
  if (toStream) {
    if (at < 0 || at >= int64_t(bytes.size())) return;
    if (n > int64_t(bytes.size()) - at) n = int64_t(bytes.size()) - at;
    st.write(bytes.data() + at, n);
  } else {
    if (at < 0) return;
    const int64_t left = remaining(st);
    if (n > left) n = left;
    if (n <= 0) return;
    bytes.ensure(size_t(at + n));
    st.read(bytes.data() + at, n);
  }
}

void transferWhole(MemberCall& c, bool toStream) {
  const VariableRef& v = c.var[0];
  if (v.record) {
    TStructs& r = recordAt(c.s, v.number);
    Stream& st = target(c);
    int64_t n = r.size;
    if (n > int64_t(r.bytes.size())) n = int64_t(r.bytes.size());
    if (n <= 0) return;
    if (toStream) st.write(r.bytes.data(), n);
    else st.read(r.bytes.data(), n);
    return;
  }
  const ArrayDescriptor& d =
      v.type == ValueType::Variant ? variantArrayDescriptor(c.s, v.number) : arrayDescriptor(c.s, v.type, v.number);
  transferElements(c, v, 0, d.span[0], toStream);
}

}  // namespace

void streamWriteArray(MemberCall& c) { transferElements(c, c.var[0], c.num[1], c.num[2], true); }
void streamReadArray(MemberCall& c) { transferElements(c, c.var[0], c.num[1], c.num[2], false); }
void streamWriteWhole(MemberCall& c) { transferWhole(c, true); }
void streamReadWhole(MemberCall& c) { transferWhole(c, false); }

}  // namespace tavrin
