// File and memory streams: the stream classes, opening a file in the program's mode
// numbers, and reading a text line. The object side is ui/types/streams.cpp.
#include "lib/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib/paths.h"
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

}  // namespace tavrin
