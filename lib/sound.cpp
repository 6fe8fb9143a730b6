// The sound player: decoding through libsndfile, output to a WAV sink, to ALSA or to
// nowhere, on one playback thread. Both libraries are loaded with dlopen when first needed.
// Hazards: the interpreter thread never waits on the device: it hands sounds over under the
// mutex and waits only for a synchronous sound, bounded by the sound's length; the playback
// thread writes in chunks of 10 ms and checks for a new request between chunks.
#include "lib/sound.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace tavrin {

// ---- libsndfile, declared here and resolved with dlsym ----

namespace {

using sf_count_t = int64_t;
struct SNDFILE_tag;
using SNDFILE = SNDFILE_tag;

struct SfInfo {
  sf_count_t frames;
  int samplerate;
  int channels;
  int format;
  int sections;
  int seekable;
};

struct SfVirtualIo {
  sf_count_t (*getFileLen)(void*);
  sf_count_t (*seek)(sf_count_t, int, void*);
  sf_count_t (*read)(void*, sf_count_t, void*);
  sf_count_t (*write)(const void*, sf_count_t, void*);
  sf_count_t (*tell)(void*);
};

constexpr int kSfmRead = 0x10;
constexpr int kSfFormatTypeMask = 0x0FFF0000;
constexpr int kSfFormatWav = 0x010000;
constexpr int kSfFormatWavex = 0x130000;

struct SndfileApi {
  SNDFILE* (*open)(const char*, int, SfInfo*) = nullptr;
  SNDFILE* (*openVirtual)(SfVirtualIo*, int, SfInfo*, void*) = nullptr;
  sf_count_t (*readfShort)(SNDFILE*, short*, sf_count_t) = nullptr;
  sf_count_t (*seek)(SNDFILE*, sf_count_t, int) = nullptr;
  int (*close)(SNDFILE*) = nullptr;
  const char* (*strerror)(SNDFILE*) = nullptr;
  std::string error;  // why the library is not there
};

template <class F>
bool resolve(void* lib, const char* name, F& f, std::string& error) {
  f = reinterpret_cast<F>(dlsym(lib, name));
  if (!f) error = std::string("libsndfile lacks ") + name;
  return f != nullptr;
}

// Loaded once per process at the first WAV sound.
const SndfileApi& sndfile() {
  static const SndfileApi api = [] {
    SndfileApi a;
    void* lib = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      a.error = std::string("cannot load libsndfile.so.1 (Debian package libsndfile1): ") + dlerror();
      return a;
    }
    bool ok = resolve(lib, "sf_open", a.open, a.error) && resolve(lib, "sf_open_virtual", a.openVirtual, a.error) &&
              resolve(lib, "sf_readf_short", a.readfShort, a.error) && resolve(lib, "sf_seek", a.seek, a.error) &&
              resolve(lib, "sf_close", a.close, a.error) && resolve(lib, "sf_strerror", a.strerror, a.error);
    if (!ok) a.open = nullptr;
    return a;
  }();
  return api;
}

// ---- ALSA, the same way ----

struct snd_pcm_t;
using snd_pcm_sframes_t = long;
using snd_pcm_uframes_t = unsigned long;
constexpr int kPcmStreamPlayback = 0;
constexpr int kPcmNonblock = 1;
constexpr int kPcmFormatS16Le = 2;
constexpr int kPcmAccessRwInterleaved = 3;

struct AlsaApi {
  int (*open)(snd_pcm_t**, const char*, int, int) = nullptr;
  int (*setParams)(snd_pcm_t*, int, int, unsigned, unsigned, int, unsigned) = nullptr;
  snd_pcm_sframes_t (*writei)(snd_pcm_t*, const void*, snd_pcm_uframes_t) = nullptr;
  int (*recover)(snd_pcm_t*, int, int) = nullptr;
  int (*drop)(snd_pcm_t*) = nullptr;
  int (*close)(snd_pcm_t*) = nullptr;
  int (*wait)(snd_pcm_t*, int) = nullptr;
  int (*prepare)(snd_pcm_t*) = nullptr;
  int (*setErrorHandler)(void (*)(const char*, int, const char*, int, const char*, ...)) = nullptr;
  bool loaded = false;
};

// ALSA's own messages (an unknown device, a lost server) would land on the program's
// stderr; the engine reports what matters itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

const AlsaApi& alsa() {
  static const AlsaApi api = [] {
    AlsaApi a;
    void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return a;
    std::string error;
    a.loaded = resolve(lib, "snd_pcm_open", a.open, error) && resolve(lib, "snd_pcm_set_params", a.setParams, error) &&
               resolve(lib, "snd_pcm_writei", a.writei, error) && resolve(lib, "snd_pcm_recover", a.recover, error) &&
               resolve(lib, "snd_pcm_drop", a.drop, error) && resolve(lib, "snd_pcm_close", a.close, error) &&
               resolve(lib, "snd_pcm_wait", a.wait, error) && resolve(lib, "snd_pcm_prepare", a.prepare, error) &&
               resolve(lib, "snd_lib_error_set_handler", a.setErrorHandler, error);
    if (a.loaded) a.setErrorHandler(quietAlsa);
    return a;
  }();
  return api;
}

// ---- sources ----

class PcmSource final : public SoundSource {
 public:
  PcmSource(SoundFormat f, std::vector<int16_t> samples) : m_format(f), m_samples(std::move(samples)) {}
  SoundFormat format() const override { return m_format; }
  size_t read(int16_t* out, size_t frames) override {
    size_t ch = size_t(m_format.channels);
    size_t left = (m_samples.size() - m_pos) / ch;
    size_t n = std::min(frames, left);
    std::memcpy(out, m_samples.data() + m_pos, n * ch * sizeof(int16_t));
    m_pos += n * ch;
    return n;
  }
  bool rewind() override {
    m_pos = 0;
    return true;
  }
  int64_t length() const override { return int64_t(m_samples.size() / size_t(m_format.channels)); }

 private:
  SoundFormat m_format;
  std::vector<int16_t> m_samples;
  size_t m_pos = 0;
};

// The bytes of an in-memory WAV, read by libsndfile through its virtual I/O.
struct MemoryCursor {
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  sf_count_t pos = 0;
};

sf_count_t memLength(void* u) { return sf_count_t(static_cast<MemoryCursor*>(u)->bytes->size()); }
sf_count_t memSeek(sf_count_t offset, int whence, void* u) {
  auto* c = static_cast<MemoryCursor*>(u);
  sf_count_t size = sf_count_t(c->bytes->size());
  sf_count_t base = whence == SEEK_CUR ? c->pos : whence == SEEK_END ? size : 0;
  sf_count_t to = base + offset;
  if (to < 0 || to > size) return -1;
  c->pos = to;
  return to;
}
sf_count_t memRead(void* out, sf_count_t count, void* u) {
  auto* c = static_cast<MemoryCursor*>(u);
  sf_count_t size = sf_count_t(c->bytes->size());
  sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - c->pos));
  if (n > 0) std::memcpy(out, c->bytes->data() + c->pos, size_t(n));
  c->pos += n;
  return n;
}
sf_count_t memWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t memTell(void* u) { return static_cast<MemoryCursor*>(u)->pos; }

class SndfileSource final : public SoundSource {
 public:
  SndfileSource(SNDFILE* f, SfInfo info, std::unique_ptr<MemoryCursor> memory)
      : m_file(f), m_info(info), m_memory(std::move(memory)) {}
  ~SndfileSource() override { sndfile().close(m_file); }
  SoundFormat format() const override { return {m_info.samplerate, m_info.channels}; }
  size_t read(int16_t* out, size_t frames) override {
    sf_count_t n = sndfile().readfShort(m_file, out, sf_count_t(frames));
    return n > 0 ? size_t(n) : 0;
  }
  bool rewind() override { return sndfile().seek(m_file, 0, SEEK_SET) == 0; }
  int64_t length() const override { return m_info.frames; }

 private:
  SNDFILE* m_file;
  SfInfo m_info;
  std::unique_ptr<MemoryCursor> m_memory;  // what a memory sound reads; outlives m_file
};

// Only WAV with a usable format plays, as on the platform.
bool acceptable(const SndfileApi& api, SNDFILE* f, const SfInfo& info, std::string& why) {
  int type = info.format & kSfFormatTypeMask;
  if (type != kSfFormatWav && type != kSfFormatWavex) {
    why = "not a WAV sound";
  } else if (info.channels < 1 || info.channels > 8 || info.samplerate < 1000 || info.samplerate > 384000) {
    why = "unsupported channels or sample rate";
  } else {
    return true;
  }
  api.close(f);
  return false;
}

}  // namespace

std::unique_ptr<SoundSource> pcmSource(SoundFormat format, std::vector<int16_t> frames) {
  return std::make_unique<PcmSource>(format, std::move(frames));
}

std::unique_ptr<SoundSource> toneSource(SoundFormat format, uint32_t frequency, uint32_t ms) {
  size_t frames = size_t(uint64_t(format.rate) * ms / 1000);
  std::vector<int16_t> samples(frames * size_t(format.channels), 0);
  if (frequency > 18) {
    // The phase counts in units of 1/(2 * rate) periods, so each half period is exact on
    // average and the wave keeps the frequency over long tones.
    const uint64_t halfPeriods = 2ull * frequency;
    for (size_t i = 0; i < frames; i++) {
      bool high = ((uint64_t(i) * halfPeriods / uint64_t(format.rate)) & 1) == 0;
      int16_t v = high ? 8000 : -8000;
      for (int c = 0; c < format.channels; c++) samples[i * size_t(format.channels) + size_t(c)] = v;
    }
  }
  return std::make_unique<PcmSource>(format, std::move(samples));
}

std::unique_ptr<SoundSource> wavFileSource(const std::string& path, std::string& why) {
  const SndfileApi& api = sndfile();
  if (!api.open) {
    why = api.error;
    return nullptr;
  }
  SfInfo info{};
  SNDFILE* f = api.open(path.c_str(), kSfmRead, &info);
  if (!f) {
    why = api.strerror(nullptr);
    return nullptr;
  }
  if (!acceptable(api, f, info, why)) return nullptr;
  return std::make_unique<SndfileSource>(f, info, nullptr);
}

std::unique_ptr<SoundSource> wavMemorySource(std::shared_ptr<const std::vector<uint8_t>> bytes, std::string& why) {
  const SndfileApi& api = sndfile();
  if (!api.open) {
    why = api.error;
    return nullptr;
  }
  auto cursor = std::make_unique<MemoryCursor>();
  cursor->bytes = std::move(bytes);
  static SfVirtualIo io{memLength, memSeek, memRead, memWrite, memTell};
  SfInfo info{};
  SNDFILE* f = api.openVirtual(&io, kSfmRead, &info, cursor.get());
  if (!f) {
    why = api.strerror(nullptr);
    return nullptr;
  }
  if (!acceptable(api, f, info, why)) return nullptr;
  return std::make_unique<SndfileSource>(f, info, std::move(cursor));
}

SoundConfig SoundConfig::fromEnvironment() {
  SoundConfig c;
  if (const char* f = std::getenv("TAVRIN_SOUND_FILE"); f && *f) c.file = f;
  if (const char* d = std::getenv("TAVRIN_SOUND_DEVICE"); d && *d) c.device = d;
  return c;
}

// ---- outputs ----

namespace {

using Clock = std::chrono::steady_clock;

class Output {
 public:
  virtual ~Output() = default;
  // Takes frames of the given format; false when the output has gone (the player then
  // goes on in silence).
  virtual bool write(const int16_t* frames, size_t count, SoundFormat f) = 0;
  // The output is a device with its own buffer, which may be written ahead.
  virtual bool paced() const = 0;
  // Drops what the device still holds.
  virtual void cut() {}
};

// The WAV sink: 16-bit PCM, the file's format (an existing sink file's, else the first
// sound's). A sound of another format is converted: its channels are mixed or copied and
// its rate stepped to the file's. The header's sizes are rewritten after each write, so the
// file is whole at every moment.
class FileOutput final : public Output {
 public:
  static std::unique_ptr<FileOutput> open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    auto out = std::unique_ptr<FileOutput>(new FileOutput(fd));
    out->adopt();
    return out;
  }
  ~FileOutput() override { ::close(m_fd); }
  bool paced() const override { return false; }

  bool write(const int16_t* frames, size_t count, SoundFormat f) override {
    if (!m_format) return false;
    const SoundFormat to = *m_format;
    m_buffer.clear();
    if (f == to) {
      m_buffer.assign(frames, frames + count * size_t(f.channels));
    } else {
      // Output frame j takes input frame j * f.rate / to.rate of this chunk, counted across
      // chunks so a long sound keeps its length.
      uint64_t begin = m_convertedIn, end = m_convertedIn + count;
      while (true) {
        uint64_t src = m_convertedOut * uint64_t(f.rate) / uint64_t(to.rate);
        if (src >= end) break;
        const int16_t* in = frames + (src - begin) * uint64_t(f.channels);
        for (int c = 0; c < to.channels; c++) {
          int v;
          if (f.channels == to.channels) v = in[c];
          else if (to.channels == 1) {
            int sum = 0;
            for (int k = 0; k < f.channels; k++) sum += in[k];
            v = sum / f.channels;
          } else v = in[c % f.channels];
          m_buffer.push_back(int16_t(v));
        }
        m_convertedOut++;
      }
      m_convertedIn = end;
    }
    if (!m_buffer.empty()) {
      size_t bytes = m_buffer.size() * sizeof(int16_t);
      if (::pwrite(m_fd, m_buffer.data(), bytes, off_t(44 + m_dataBytes)) != ssize_t(bytes)) return false;
      m_dataBytes += bytes;
      writeSizes();
    }
    return true;
  }

  // A new sound starts its own rate conversion; the first sound of a new sink sets its
  // format. The player calls this under its lock, where the interpreter reads format().
  void newSound(SoundFormat f) {
    m_convertedIn = m_convertedOut = 0;
    if (!m_format) start(f);
  }
  const std::optional<SoundFormat>& format() const { return m_format; }

 private:
  explicit FileOutput(int fd) : m_fd(fd) {}

  static uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
  static uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
  static void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
  }
  static void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
  }

  // An existing sink file of the canonical 16-bit PCM layout is appended to; anything else
  // is replaced.
  void adopt() {
    uint8_t h[44];
    if (::pread(m_fd, h, 44, 0) != 44) return;
    if (std::memcmp(h, "RIFF", 4) || std::memcmp(h + 8, "WAVEfmt ", 8) || le32(h + 16) != 16 || le16(h + 20) != 1 ||
        le16(h + 34) != 16 || std::memcmp(h + 36, "data", 4))
      return;
    SoundFormat f{int(le32(h + 24)), int(le16(h + 22))};
    if (f.channels < 1 || f.rate < 1) return;
    m_format = f;
    m_dataBytes = le32(h + 40);
    off_t size = ::lseek(m_fd, 0, SEEK_END);
    if (size >= 44 && uint64_t(size - 44) < m_dataBytes) m_dataBytes = uint64_t(size - 44);
    m_dataBytes -= m_dataBytes % (2u * uint32_t(f.channels));
  }

  void start(SoundFormat f) {
    m_format = f;
    m_dataBytes = 0;
    if (::ftruncate(m_fd, 0) != 0) return;
    uint8_t h[44] = {};
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, uint16_t(f.channels));
    put32(h + 24, uint32_t(f.rate));
    put32(h + 28, uint32_t(f.rate * f.channels * 2));
    put16(h + 32, uint16_t(f.channels * 2));
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    if (::pwrite(m_fd, h, 44, 0) != 44) return;
    writeSizes();
  }

  void writeSizes() {
    uint8_t v[4];
    put32(v, uint32_t(36 + m_dataBytes));
    (void)!::pwrite(m_fd, v, 4, 4);
    put32(v, uint32_t(m_dataBytes));
    (void)!::pwrite(m_fd, v, 4, 40);
  }

  int m_fd;
  std::optional<SoundFormat> m_format;
  uint64_t m_dataBytes = 0;
  uint64_t m_convertedIn = 0, m_convertedOut = 0;
  std::vector<int16_t> m_buffer;
};

// The ALSA device, non-blocking: a write that cannot proceed waits at most 250 ms for the
// device, and a device that stays stuck or reports it has gone is given up.
class AlsaOutput final : public Output {
 public:
  static std::unique_ptr<AlsaOutput> open(const std::string& device) {
    const AlsaApi& a = alsa();
    if (!a.loaded) return nullptr;
    snd_pcm_t* pcm = nullptr;
    if (a.open(&pcm, device.c_str(), kPcmStreamPlayback, kPcmNonblock) < 0 || !pcm) return nullptr;
    return std::unique_ptr<AlsaOutput>(new AlsaOutput(pcm));
  }
  ~AlsaOutput() override {
    alsa().drop(m_pcm);
    alsa().close(m_pcm);
  }
  bool paced() const override { return true; }

  bool write(const int16_t* frames, size_t count, SoundFormat f) override {
    const AlsaApi& a = alsa();
    if (!m_format || !(*m_format == f)) {
      if (m_format) a.drop(m_pcm);
      // 200 ms of latency in the device: enough against underruns, short enough to stop.
      if (a.setParams(m_pcm, kPcmFormatS16Le, kPcmAccessRwInterleaved, unsigned(f.channels), unsigned(f.rate), 1,
                      200000) < 0)
        return false;
      m_format = f;
    }
    int stuck = 0;
    while (count > 0) {
      snd_pcm_sframes_t n = a.writei(m_pcm, frames, count);
      if (n == -EAGAIN) {
        if (a.wait(m_pcm, 250) == 0 && ++stuck >= 4) return false;  // a second with no room
        continue;
      }
      if (n < 0) {
        if (a.recover(m_pcm, int(n), 1) < 0) return false;  // an underrun recovers; a lost device does not
        continue;
      }
      stuck = 0;
      frames += size_t(n) * size_t(f.channels);
      count -= size_t(n);
    }
    return true;
  }

  void cut() override {
    alsa().drop(m_pcm);
    alsa().prepare(m_pcm);
  }

 private:
  explicit AlsaOutput(snd_pcm_t* pcm) : m_pcm(pcm) {}
  snd_pcm_t* m_pcm;
  std::optional<SoundFormat> m_format;
};

}  // namespace

// ---- the player ----

struct SoundPlayer::Impl {
  SoundConfig config;
  std::mutex mutex;
  std::condition_variable wake;  // the thread: a request or the end
  std::condition_variable done;  // the interpreter: a sound ended
  std::unique_ptr<SoundSource> request;
  bool requestLoop = false;
  bool stopRequest = false;
  bool quit = false;
  uint64_t nextId = 0;
  uint64_t requestId = 0;
  uint64_t playingId = 0;   // 0: nothing playing
  uint64_t finishedId = 0;  // the last sound that ended or was replaced
  bool opened = false;
  SoundOutputKind kind = SoundOutputKind::None;
  std::unique_ptr<Output> out;
  FileOutput* file = nullptr;
  std::thread thread;

  void openOutput() {
    if (opened) return;
    opened = true;
    if (!config.file.empty()) {
      auto f = FileOutput::open(config.file);
      if (f) {
        file = f.get();
        out = std::move(f);
        kind = SoundOutputKind::File;
      }
      return;  // a sink that cannot be opened is silence, never the device
    }
    if (!config.tryDevice) return;
    if (auto a = AlsaOutput::open(config.device)) {
      out = std::move(a);
      kind = SoundOutputKind::Device;
    }
  }

  void run();
};

void SoundPlayer::Impl::run() {
  std::unique_lock lock(mutex);
  std::unique_ptr<SoundSource> current;
  bool loop = false;
  uint64_t id = 0;
  std::vector<int16_t> chunk;
  Clock::time_point due{};
  auto finish = [&] {
    finishedId = std::max(finishedId, id);
    playingId = 0;
    done.notify_all();
  };
  while (true) {
    if (quit) break;
    if (request || stopRequest) {
      if (current) {
        if (out) out->cut();
        finish();
      }
      current = std::move(request);
      stopRequest = false;
      loop = requestLoop;
      id = requestId;
      if (current) {
        playingId = id;
        due = Clock::now();
        if (file) file->newSound(current->format());
      }
    }
    if (!current) {
      wake.wait(lock);
      continue;
    }
    const SoundFormat f = current->format();
    const size_t frames = size_t(std::max(1, f.rate / 100));  // 10 ms
    chunk.resize(frames * size_t(f.channels));
    Output* o = out.get();
    lock.unlock();
    size_t n = current->read(chunk.data(), frames);
    if (n == 0 && loop && current->length() != 0 && current->rewind()) n = current->read(chunk.data(), frames);
    bool paced = o && o->paced();
    if (n > 0 && o && !o->write(chunk.data(), n, f)) paced = false;  // gone: the rest is silence
    lock.lock();
    if (n > 0 && o && !paced && o == out.get() && kind == SoundOutputKind::Device) {
      out.reset();  // the device has gone: from now on silence with the same timing
      kind = SoundOutputKind::None;
    }
    if (n == 0) {
      // The end is heard once the last chunk's time has passed (for a device, what it
      // still holds); a request comes first.
      wake.wait_until(lock, due, [&] { return quit || request || stopRequest; });
      if (quit || request || stopRequest) continue;
      current.reset();
      finish();
      continue;
    }
    // Every output keeps the sound's own time: the sink and silence wait until this chunk
    // has been heard, a device is kept at most 100 ms ahead (it holds 200 ms, so it never
    // runs dry, and a device that takes frames faster than it plays them, such as ALSA's
    // null device, still gives the sound its length). The first chunk goes out at once.
    due += std::chrono::microseconds(int64_t(n) * 1000000 / f.rate);
    const auto lead = paced ? std::chrono::milliseconds(100) : std::chrono::milliseconds(0);
    wake.wait_until(lock, due - lead, [&] { return quit || request || stopRequest; });
  }
  if (current) finish();
}

SoundPlayer::SoundPlayer(SoundConfig config) : m_impl(std::make_unique<Impl>()) {
  m_impl->config = std::move(config);
}

SoundPlayer::~SoundPlayer() { shutdown(); }

void SoundPlayer::shutdown() {
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->quit = true;
    m_impl->request.reset();
  }
  m_impl->wake.notify_all();
  if (m_impl->thread.joinable()) m_impl->thread.join();
}

SoundOutputKind SoundPlayer::output() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->openOutput();
  return m_impl->kind;
}

SoundFormat SoundPlayer::preferredFormat() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->openOutput();
  if (m_impl->file && m_impl->file->format()) return *m_impl->file->format();
  return {};
}

uint64_t SoundPlayer::play(std::unique_ptr<SoundSource> source, bool loop) {
  std::lock_guard lock(m_impl->mutex);
  if (m_impl->quit) return 0;
  m_impl->openOutput();
  if (!m_impl->thread.joinable()) m_impl->thread = std::thread([impl = m_impl.get()] { impl->run(); });
  if (m_impl->request) m_impl->finishedId = std::max(m_impl->finishedId, m_impl->requestId);  // never started
  m_impl->request = std::move(source);
  m_impl->requestLoop = loop;
  m_impl->requestId = ++m_impl->nextId;
  m_impl->wake.notify_all();
  return m_impl->requestId;
}

void SoundPlayer::waitDone(uint64_t id, int64_t lengthMs, const volatile std::sig_atomic_t* cancel) {
  std::unique_lock lock(m_impl->mutex);
  // A device that stops taking frames is given up after about a second, so the length and
  // two seconds bound the wait; past it the sound is stopped and the program goes on.
  const auto limit = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(0, lengthMs) + 2000);
  const auto finished = [&] { return m_impl->finishedId >= id || m_impl->quit; };
  bool ended = false;
  for (;;) {
    const auto next = cancel ? std::min(limit, Clock::now() + std::chrono::milliseconds(50)) : limit;
    ended = m_impl->done.wait_until(lock, next, finished);
    if (ended || Clock::now() >= limit || (cancel && *cancel)) break;
  }
  if (!ended && m_impl->playingId == id) {
    m_impl->stopRequest = true;
    m_impl->wake.notify_all();
  }
}

void SoundPlayer::stop() {
  std::unique_lock lock(m_impl->mutex);
  if (m_impl->request) m_impl->finishedId = std::max(m_impl->finishedId, m_impl->requestId);
  m_impl->request.reset();
  if (m_impl->playingId == 0) return;
  m_impl->stopRequest = true;
  m_impl->wake.notify_all();
  // The stop is heard when this returns: the thread finishes the chunk in hand (10 ms, or
  // a device write bounded at about a second) and then takes the request.
  m_impl->done.wait_for(lock, std::chrono::milliseconds(1500),
                        [&] { return m_impl->playingId == 0 || m_impl->quit; });
}

bool SoundPlayer::playing() {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->request != nullptr || m_impl->playingId != 0;
}

}  // namespace tavrin
