// The sound player where programs cannot reach: bad WAV bytes, the sink's appending and
// format conversion, and the bounds that keep the interpreter from waiting on playback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "interp/state.h"
#include "lib/sound.h"

namespace tavrin {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

// A 16-bit PCM WAV of the given samples.
Bytes wav(int rate, int channels, const std::vector<int16_t>& samples, uint32_t claimedData = 0) {
  Bytes b;
  uint32_t data = uint32_t(samples.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put32(b, 36 + data);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(b, 16);
  put16(b, 1);
  put16(b, uint16_t(channels));
  put32(b, uint32_t(rate));
  put32(b, uint32_t(rate * channels * 2));
  put16(b, uint16_t(channels * 2));
  put16(b, 16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put32(b, claimedData ? claimedData : data);
  for (int16_t s : samples) put16(b, uint16_t(s));
  return b;
}

std::vector<int16_t> ramp(size_t n) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = int16_t(i * 37 - 9000);
  return v;
}

std::shared_ptr<const Bytes> shared(Bytes b) { return std::make_shared<const Bytes>(std::move(b)); }

std::vector<int16_t> readAll(SoundSource& s) {
  std::vector<int16_t> out;
  std::vector<int16_t> chunk(256 * size_t(s.format().channels));
  while (size_t n = s.read(chunk.data(), 256)) out.insert(out.end(), chunk.begin(), chunk.begin() + long(n) * s.format().channels);
  return out;
}

// The sink file's samples after its 44-byte header, and its format fields.
struct Sink {
  int rate = 0, channels = 0;
  uint32_t dataSize = 0;
  std::vector<int16_t> samples;
};
Sink readSink(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(f)), {});
  Sink s;
  if (b.size() < 44) return s;
  auto le32 = [&](size_t o) { return uint32_t(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24); };
  s.channels = b[22] | b[23] << 8;
  s.rate = int(le32(24));
  s.dataSize = le32(40);
  for (size_t i = 44; i + 1 < b.size(); i += 2) s.samples.push_back(int16_t(b[i] | b[i + 1] << 8));
  return s;
}

std::string tempPath(const char* name) {
  std::string p = ::testing::TempDir() + "tavrin_sound_" + std::to_string(getpid()) + "_" + name;
  std::remove(p.c_str());
  return p;
}

TEST(SoundSources, MemoryWavDecodesAndBadBytesAreRefused) {
  std::string why;
  auto good = wavMemorySource(shared(wav(22050, 2, ramp(200))), why);
  ASSERT_TRUE(good) << why;
  EXPECT_EQ(good->format(), (SoundFormat{22050, 2}));
  EXPECT_EQ(good->length(), 100);
  EXPECT_EQ(readAll(*good), ramp(200));
  ASSERT_TRUE(good->rewind());
  EXPECT_EQ(readAll(*good).size(), 200u);

  // A data chunk that promises more than there is plays what is there.
  auto cut = wavMemorySource(shared(wav(8000, 1, ramp(50), 1000000)), why);
  ASSERT_TRUE(cut) << why;
  EXPECT_EQ(readAll(*cut), ramp(50));

  // Nothing, a header alone cut short, text, noise, and a header of impossible fields:
  // refused with a reason, never a crash or a read outside the bytes.
  Bytes header = wav(8000, 1, {});
  Bytes badRate = wav(0, 1, ramp(10));
  Bytes badChannels = wav(8000, 0, ramp(10));
  std::mt19937 random(7);
  Bytes noise(4000);
  for (auto& b : noise) b = uint8_t(random());
  Bytes noisyWav = wav(8000, 1, ramp(10));
  for (size_t i = 12; i < 44; i++) noisyWav[i] = uint8_t(random());
  for (Bytes bad : {Bytes{}, Bytes(header.begin(), header.begin() + 20), Bytes{'h', 'e', 'l', 'l', 'o'}, noise, badRate,
                    badChannels, noisyWav}) {
    why.clear();
    auto src = wavMemorySource(shared(bad), why);
    if (src) {
      readAll(*src);  // whatever libsndfile made of it must read safely
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
  EXPECT_FALSE(wavMemorySource(shared(Bytes{}), why));
  EXPECT_FALSE(wavMemorySource(shared(badRate), why));

  EXPECT_FALSE(wavFileSource("/nonexistent/tavrin.wav", why));
  EXPECT_FALSE(why.empty());
}

TEST(SoundSources, ToneIsASquareWaveOfExactLength) {
  auto tone = toneSource({8000, 2}, 1000, 250);
  auto s = readAll(*tone);
  ASSERT_EQ(s.size(), 2u * 2000);
  // 1000 Hz at 8000 Hz: four frames high, four low, both channels alike.
  for (size_t i = 0; i < 2000; i++) {
    EXPECT_EQ(s[2 * i], (i % 8) < 4 ? 8000 : -8000) << i;
    EXPECT_EQ(s[2 * i + 1], s[2 * i]);
  }
  auto low = readAll(*toneSource({8000, 1}, 18, 100));
  EXPECT_EQ(low, std::vector<int16_t>(800, 0));
}

SoundConfig sinkConfig(const std::string& path) {
  SoundConfig c;
  c.file = path;
  c.tryDevice = false;
  return c;
}

TEST(SoundSink, AppendsToAnExistingSinkAndConvertsOtherFormats) {
  std::string path = tempPath("append.wav");
  {
    SoundPlayer p(sinkConfig(path));
    EXPECT_EQ(p.output(), SoundOutputKind::File);
    p.waitDone(p.play(pcmSource({8000, 1}, ramp(400)), false), 50);
  }
  Sink first = readSink(path);
  EXPECT_EQ(first.rate, 8000);
  EXPECT_EQ(first.channels, 1);
  EXPECT_EQ(first.samples, ramp(400));
  EXPECT_EQ(first.dataSize, 800u);
  {
    // A second run appends at the file's format: 16000 Hz stereo becomes 8000 Hz mono,
    // every other frame with its two channels averaged.
    SoundPlayer p(sinkConfig(path));
    EXPECT_EQ(p.preferredFormat(), (SoundFormat{8000, 1}));
    std::vector<int16_t> stereo;
    for (int16_t v : ramp(800)) {
      stereo.push_back(v);
      stereo.push_back(int16_t(v + 100));
    }
    p.waitDone(p.play(pcmSource({16000, 2}, stereo), false), 50);
  }
  Sink both = readSink(path);
  ASSERT_EQ(both.samples.size(), 800u);
  EXPECT_EQ(both.dataSize, 1600u);
  EXPECT_TRUE(std::equal(both.samples.begin(), both.samples.begin() + 400, ramp(400).begin()));
  auto r = ramp(800);
  for (size_t j = 0; j < 400; j++) EXPECT_EQ(both.samples[400 + j], r[2 * j] + 50) << j;
  std::remove(path.c_str());
}

// A source that never ends although it claims 10 ms: the sound a vanished or lying device
// would leave behind.
class EndlessSource final : public SoundSource {
 public:
  SoundFormat format() const override { return {8000, 1}; }
  size_t read(int16_t* out, size_t frames) override {
    std::memset(out, 0, frames * sizeof(int16_t));
    return frames;
  }
  bool rewind() override { return true; }
  int64_t length() const override { return 80; }
};

TEST(SoundPlayer, WaitsAreBoundedAndTheEndJoinsAtOnce) {
  using Clock = std::chrono::steady_clock;
  SoundPlayer p(SoundConfig{"", "", false});
  EXPECT_EQ(p.output(), SoundOutputKind::None);

  // A synchronous wait gives up after the claimed length and its margin, and stops the sound.
  auto t0 = Clock::now();
  p.waitDone(p.play(std::make_unique<EndlessSource>(), false), 10);
  auto waited = Clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::seconds(10));  // only proves it did not hang
  for (int i = 0; i < 100 && p.playing(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(p.playing());

  // A loop plays until stopped; the stop is done when it returns.
  p.play(pcmSource({8000, 1}, ramp(80)), true);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(p.playing());
  p.stop();
  EXPECT_FALSE(p.playing());
  p.stop();  // nothing playing: returns at once

  // The end stops a playing loop and joins; nothing plays after it.
  p.play(std::make_unique<EndlessSource>(), true);
  t0 = Clock::now();
  p.shutdown();
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));  // only proves it did not hang
  EXPECT_EQ(p.play(pcmSource({8000, 1}, ramp(8)), false), 0u);
}

// The API the platform's sound functions are to call, on a run's state with the sink.
TEST(SoundApi, FlagsAnswersAndTheCopyOfMemorySounds) {
  std::string path = tempPath("api.wav");
  State s;
  s.sound = std::make_unique<SoundState>(sinkConfig(path));
  EXPECT_EQ(soundDeviceCount(s), 1);

  // An in-memory sound played asynchronously keeps its own copy of the bytes.
  Bytes bytes = wav(44100, 1, ramp(441));
  ASSERT_TRUE(soundPlayMemory(s, bytes, snd::kMemory | snd::kAsync));
  std::fill(bytes.begin() + 44, bytes.end(), 0x55);
  // No-stop refuses while it plays; a synchronous system sound then replaces it.
  EXPECT_FALSE(soundPlayFile(s, "SystemHand", snd::kAlias | snd::kNoStop));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  Sink first = readSink(path);
  EXPECT_EQ(first.samples, ramp(441));

  EXPECT_TRUE(soundPlayFile(s, "systemasterisk", snd::kAlias));  // 1000 Hz, 150 ms, case ignored
  EXPECT_EQ(readSink(path).samples.size(), 441u + 6615u);
  // Unknown names: the default beep, or nothing and FALSE with no-default.
  EXPECT_FALSE(soundPlayFile(s, "SystemNoSuch", snd::kAlias | snd::kNoDefault | snd::kAsync));
  EXPECT_FALSE(soundPlayFile(s, "3", snd::kResource | snd::kNoDefault));  // the program has no resources
  EXPECT_FALSE(soundPlayMemory(s, Bytes{1, 2, 3}, snd::kMemory | snd::kNoDefault));
  EXPECT_EQ(readSink(path).samples.size(), 441u + 6615u);

  // A loop stops with kPurge and with an empty name.
  ASSERT_TRUE(soundPlayMemory(s, wav(44100, 1, ramp(441)), snd::kMemory | snd::kLoop));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_TRUE(soundPlayFile(s, "", snd::kPurge));
  size_t stopped = readSink(path).samples.size();
  EXPECT_GT(stopped, 441u + 6615u + 441u);
  EXPECT_TRUE(soundMessageBeep(s, 0x30));
  EXPECT_TRUE(soundPlayFile(s, "", snd::kFilename));
  soundEnd(s);
  EXPECT_LT(readSink(path).samples.size(), stopped + 11025u);  // the beep was cut short
  std::remove(path.c_str());

  State quiet;
  quiet.sound = std::make_unique<SoundState>(SoundConfig{"", "", false});
  EXPECT_EQ(soundDeviceCount(quiet), 0);
}

}  // namespace
}  // namespace tavrin
