// File and memory streams: the stream classes, opening a file in the program's mode
// numbers, and reading a text line. The object side is ui/types/streams.cpp.
#include "lib/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "lib/paths.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

Stream::~Stream() = default;

// --- The list of file streams and the flush timer ------------------------------------------
//
// The exit signals and the flush timer run on the interpreter's thread (the timer is aimed
// at it, and runtime/shutdown.cpp hands an exit signal caught on another thread over to it),
// so they interrupt the interpreter between two of its instructions. What they do to a
// stream, sending the bytes committed to its buffer, is safe at any moment but one: while the
// interpreter takes a stream out of writing (a flush) or changes the list. Those moments hold
// the signals back. Appending to the buffer commits the bytes only after they are copied.

struct FileStreamList {
  static inline FileStream* head = nullptr;
  static inline volatile int writing = 0;  // streams in Mode::Writing
};

namespace {

volatile std::sig_atomic_t g_timerArmed = 0;
bool g_timerMade = false;
timer_t g_timer{};

int flushSignal() { return SIGRTMIN + 4; }

int flushDelayMs() {
  static const int delay = [] {
    const char* v = std::getenv("TAVRIN_FILE_FLUSH_MS");
    long ms = v && *v ? std::strtol(v, nullptr, 10) : 0;
    return ms > 0 && ms < 86400000 ? int(ms) : kFlushDelayMs;
  }();
  return delay;
}

// Holds back the flush timer and the exit signals while a stream leaves writing or the
// list changes.
class SignalsHeld {
public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {flushSignal(), SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &m_old);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
  sigset_t m_old;
};

void onFlushTimer(int) {
  const int saved = errno;
  g_timerArmed = 0;
  fileWritesFromSignal();
  errno = saved;
}

void setTimer(long ms) {
  itimerspec t{};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_nsec = (ms % 1000) * 1000000L;
  timer_settime(g_timer, 0, &t, nullptr);
}

// Bytes wait: the timer sends them at the latest after the delay.
void armFlushTimer() {
  if (g_timerArmed) return;
  if (!g_timerMade) {
    struct sigaction sa {};
    sa.sa_handler = onFlushTimer;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(flushSignal(), &sa, nullptr);
    sigevent ev{};
    ev.sigev_notify = SIGEV_THREAD_ID;
    ev.sigev_signo = flushSignal();
    ev._sigev_un._tid = gettid();  // glibc 2.36 names no field for SIGEV_THREAD_ID
    if (timer_create(CLOCK_MONOTONIC, &ev, &g_timer) != 0) return;  // then the flush points alone
    g_timerMade = true;
  }
  g_timerArmed = 1;
  setTimer(flushDelayMs());
}

void disarmFlushTimer() {
  if (!g_timerArmed || FileStreamList::writing > 0) return;
  g_timerArmed = 0;
  setTimer(0);
}

void advance(int64_t& position, int64_t by) {
  if (position >= 0) position += by;
}

// Appends to a line being read; the bound on texts counts a long line in the 255-byte
// pieces it was always read in, so its report names the same length.
void growLine(std::string& line, const uint8_t* from, int64_t take) {
  const int64_t end = int64_t(line.size()) + take;
  if (end >= kLongText) [[unlikely]]
    for (int64_t at = (int64_t(line.size()) / 255 + 1) * 255; at < end; at += 255) roomToGrow(line, at);
  roomToGrow(line, end);
  line.append(reinterpret_cast<const char*>(from), size_t(take));
}

[[noreturn]] void raiseWriteFailure(const std::string& name, int err, int64_t done, int64_t n) {
  const std::string cause = err ? std::strerror(err) : "nothing was written";
  raiseIo(ErrorNumber::DiskWrite, "cannot write to " + name + ": " + cause + " (" + std::to_string(done) + " of " +
                                      std::to_string(n) + " bytes written)");
}

}  // namespace

void fileWritesFromSignal() {
  for (FileStream* f = FileStreamList::head; f; f = f->m_next) f->flushCommitted();
}

void flushFileWrites() {
  if (FileStreamList::writing == 0) [[likely]]
    return;
  for (FileStream* f = FileStreamList::head; f; f = f->m_next)
    if (f->m_mode == FileStream::Mode::Writing) f->flush();
}

void fileWritesPump(State&) { flushFileWrites(); }
void fileWritesClose(State&) { flushFileWrites(); }

void fileWritesEnd(State& s) {
  for (FileStream* f = FileStreamList::head; f; f = f->m_next) {
    try {
      f->flush();
    } catch (RunError& e) {
      // The file took what it could; the run reports the rest as lost.
      e.position = s.statementPosition;
      if (!s.endFailure) s.endFailure = std::move(e);
    }
  }
}

// --- FileStream -------------------------------------------------------------------------

FileStream::FileStream(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    m_device = uint64_t(st.st_dev);
    m_inode = uint64_t(st.st_ino);
  }
  SignalsHeld held;
  m_next = FileStreamList::head;
  if (m_next) m_next->m_previous = this;
  FileStreamList::head = this;
}

FileStream::~FileStream() {
  flushCommitted();  // a failure was raised by the close that named the stream, if any
  {
    SignalsHeld held;
    if (m_mode == Mode::Writing) FileStreamList::writing = FileStreamList::writing - 1;
    m_mode = Mode::Idle;
    (m_previous ? m_previous->m_next : FileStreamList::head) = m_next;
    if (m_next) m_next->m_previous = m_previous;
  }
  disarmFlushTimer();
  if (m_fd >= 0) ::close(m_fd);
}

int FileStream::fd() {
  flush();
  stopReading();
  return m_fd;
}

// Writes p[done, n) where the descriptor is; returns 0 or the errno of the failure.
int64_t FileStream::writeOut(const uint8_t* p, int64_t n, int64_t& done) noexcept {
  while (done < n) {
    ssize_t r = ::write(m_fd, p + done, size_t(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return r < 0 ? errno : ENOSPC;
    done += r;
  }
  return 0;
}

void FileStream::flushCommitted() noexcept {
  if (m_mode != Mode::Writing) return;
  int64_t done = m_written;
  const int err = int(writeOut(m_buffer.get(), m_length, done));
  m_written = done;
  if (err) m_lostErrno = err;
}

void FileStream::flush() {
  if (m_mode != Mode::Writing) return;
  int64_t done, total;
  int err;
  {
    SignalsHeld held;
    done = m_written;
    total = m_length;
    err = int(writeOut(m_buffer.get(), total, done));
    if (!err && m_lostErrno) err = m_lostErrno;
    advance(m_start, done);
    m_length = 0;
    m_written = 0;
    m_lostErrno = 0;
    m_mode = Mode::Idle;
    FileStreamList::writing = FileStreamList::writing - 1;
  }
  disarmFlushTimer();
  dropOthersReadAhead();
  // Bytes the file refused are gone: the error says how many of them reached it.
  if (err) raiseWriteFailure(m_name, err, done, total);
}

void FileStream::stopReading() {
  if (m_mode != Mode::Reading) return;
  if (m_start >= 0) ::lseek(m_fd, off_t(m_start + m_cursor), SEEK_SET);
  m_mode = Mode::Idle;
  m_length = 0;
  m_cursor = 0;
}

void FileStream::startWriting() {
  stopReading();
  if (!m_buffer) m_buffer = std::make_unique<uint8_t[]>(size_t(kFileBufferSize));
  const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
  m_start = at < 0 ? -1 : int64_t(at);
  m_length = 0;
  m_written = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  FileStreamList::writing = FileStreamList::writing + 1;
  m_mode = Mode::Writing;
}

// Another stream on the same file writes: what this one read ahead may be stale.
void FileStream::dropOthersReadAhead() {
  for (FileStream* f = FileStreamList::head; f; f = f->m_next)
    if (f != this && f->m_mode == Mode::Reading && f->m_inode == m_inode && f->m_device == m_device) f->stopReading();
}

// Before this stream reads or writes, what other streams on its file wrote goes to the file.
void FileStream::flushOthersOnFile() {
  if (FileStreamList::writing == 0) return;
  for (FileStream* f = FileStreamList::head; f; f = f->m_next)
    if (f != this && f->m_mode == Mode::Writing && f->m_inode == m_inode && f->m_device == m_device) f->flush();
}

int64_t FileStream::write(const void* in, int64_t n) {
  if (n <= 0) return 0;
  auto* p = static_cast<const uint8_t*>(in);
  if (m_mode != Mode::Writing || FileStreamList::writing > 1) flushOthersOnFile();
  dropOthersReadAhead();
  if (m_mode == Mode::Writing && m_length + n > kFileBufferSize) flush();
  if (n >= kFileBufferSize) {  // a block as big as the buffer goes straight to the file
    stopReading();
    int64_t done = 0;
    const int err = int(writeOut(p, n, done));
    if (err) raiseWriteFailure(m_name, err, done, n);
    return n;
  }
  if (m_mode != Mode::Writing) startWriting();
  std::memcpy(m_buffer.get() + m_length, p, size_t(n));
  std::atomic_signal_fence(std::memory_order_seq_cst);
  m_length = m_length + n;  // committed: a signal may send the bytes from here on
  armFlushTimer();
  return n;
}

// Reading after writing: the bytes written go to the file first.
void FileStream::startReading() {
  flush();
  if (m_mode == Mode::Reading) return;
  if (!m_buffer) m_buffer = std::make_unique<uint8_t[]>(size_t(kFileBufferSize));
  const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
  m_start = at < 0 ? -1 : int64_t(at);
  m_length = 0;
  m_cursor = 0;
  m_mode = Mode::Reading;
}

// Reads the next piece of the file into the buffer; false at the end of the file.
bool FileStream::refill(int64_t done, int64_t wanted) {
  flushOthersOnFile();
  advance(m_start, m_length);
  m_length = 0;
  m_cursor = 0;
  for (;;) {
    ssize_t r = ::read(m_fd, m_buffer.get(), size_t(kFileBufferSize));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0)  // a failing device or a stream opened for writing only
      raiseIo(ErrorNumber::DiskRead, "cannot read from " + m_name + ": " + std::strerror(errno) +
                                         (wanted > 0 ? " (" + std::to_string(done) + " of " + std::to_string(wanted) +
                                                           " bytes read)"
                                                     : std::string()));
    m_length = r;
    return r > 0;
  }
}

int64_t FileStream::read(void* out, int64_t n) {
  if (n <= 0) return 0;
  startReading();
  auto* p = static_cast<uint8_t*>(out);
  int64_t done = 0;
  while (done < n) {
    if (m_cursor == m_length) {
      if (n - done >= kFileBufferSize) {  // a big read goes straight into the program's bytes
        flushOthersOnFile();
        advance(m_start, m_length);
        m_length = 0;
        m_cursor = 0;
        while (done < n) {
          ssize_t r = ::read(m_fd, p + done, size_t(n - done));
          if (r < 0 && errno == EINTR) continue;
          if (r < 0)
            raiseIo(ErrorNumber::DiskRead, "cannot read from " + m_name + ": " + std::strerror(errno) + " (" +
                                               std::to_string(done) + " of " + std::to_string(n) + " bytes read)");
          if (r == 0) break;
          done += r;
          advance(m_start, r);
        }
        return done;
      }
      if (!refill(done, n)) break;
    }
    const int64_t take = std::min(n - done, m_length - m_cursor);
    std::memcpy(p + done, m_buffer.get() + m_cursor, size_t(take));
    m_cursor += take;
    done += take;
  }
  return done;
}

std::string FileStream::readLine() {
  std::string line;
  startReading();
  for (;;) {
    if (m_cursor == m_length && !refill(0, 0)) break;
    const uint8_t* from = m_buffer.get() + m_cursor;
    const int64_t available = m_length - m_cursor;
    const void* lf = std::memchr(from, '\n', size_t(available));
    const int64_t take = lf ? static_cast<const uint8_t*>(lf) - from : available;
    growLine(line, from, take);
    m_cursor += take;
    if (lf) {
      ++m_cursor;
      // A CR before the LF is dropped when both lie in one 255-byte piece of the line
      // (pieces counted from the line's start), as lines were always read.
      const size_t p = line.size();
      if (p > 0 && p % 255 != 0 && line[p - 1] == '\r') line.pop_back();
      return line;
    }
  }
  return line;
}

int64_t FileStream::seek(int64_t offset, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return -1;
  flushFileWrites();
  if (m_mode == Mode::Reading) {
    const int64_t here = m_start < 0 ? -1 : m_start + m_cursor;
    if (origin == 1 && offset == 0) return here;
    if (origin != 2 && here >= 0) {
      const int64_t target = origin == 0 ? offset : here + offset;
      if (target >= m_start && target <= m_start + m_length) {
        m_cursor = target - m_start;
        return target;
      }
    }
    stopReading();
  }
  off_t r = ::lseek(m_fd, off_t(offset), kWhence[origin]);
  return r < 0 ? -1 : int64_t(r);
}

int64_t FileStream::size() {
  flushFileWrites();
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) return 0;
  return int64_t(st.st_size);
}

bool FileStream::atEnd() {
  flushFileWrites();
  if (m_mode == Mode::Reading && m_cursor < m_length) return false;
  return position() >= size();
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

std::string Stream::readLine() {
  Stream& st = *this;
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


std::string readStreamLine(Stream& st) { return st.readLine(); }

}  // namespace tavrin
