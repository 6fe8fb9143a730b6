// The sound service: WAV sounds from files and from memory, tones and the speaker ports, on
// one playback thread. Decoding goes through libsndfile and output through ALSA, both loaded
// with dlopen at the first sound that needs them; a program that plays nothing maps neither.
//
// Where the frames go, chosen once per run at the first sound:
// - TAVRIN_SOUND_FILE=path: every frame that would have been played is appended to the WAV
//   file at path (16-bit PCM, the format of the file when it exists, else that of the first
//   sound); it is paced in real time, so timing is as with a device.
// - else the ALSA device TAVRIN_SOUND_DEVICE (default "default");
// - else, when no device opens, nowhere: silence that takes the same time.
//
// The functions below are the API the sound statements use and the one the winmm, kernel32
// and user32 stand-ins (PlaySoundA, sndPlaySoundA, Beep, MessageBeep, waveOutGetNumDevs,
// mciSendStringA's WAV commands) are to call: they take the platform's PlaySound flags and
// answer as the platform's functions do (true for TRUE).
#pragma once
#include <csignal>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

struct State;

// The platform's PlaySound flags.
namespace snd {
constexpr uint32_t kSync = 0x0;            // return when the sound has played
constexpr uint32_t kAsync = 0x1;           // return at once
constexpr uint32_t kNoDefault = 0x2;       // a sound that cannot be found plays nothing
constexpr uint32_t kMemory = 0x4;          // the sound's bytes are given
constexpr uint32_t kLoop = 0x8;            // repeat until stopped (always asynchronous)
constexpr uint32_t kNoStop = 0x10;         // do not interrupt a playing sound: fail instead
constexpr uint32_t kPurge = 0x40;          // stop the playing sound
constexpr uint32_t kAlias = 0x10000;       // the name is a system sound
constexpr uint32_t kFilename = 0x20000;    // the name is a file
constexpr uint32_t kResource = 0x40004;    // the name is a resource of the program
}  // namespace snd

// Decoded frames are 16-bit signed, interleaved.
struct SoundFormat {
  int rate = 44100;
  int channels = 1;
  bool operator==(const SoundFormat&) const = default;
};

// Where the player's frames go, chosen at its first sound.
enum class SoundOutputKind { None, File, Device };

struct SoundConfig {
  std::string file;                // the WAV sink's path; empty: no sink
  std::string device = "default";  // the ALSA device when there is no sink
  bool tryDevice = true;           // false: no ALSA at all (silence when there is no sink)
  static SoundConfig fromEnvironment();
};

class SoundPlayer;

// One run's sound service (created at the first sound, ended by the service's end step).
struct SoundState {
  explicit SoundState(SoundConfig config);
  ~SoundState();
  std::unique_ptr<SoundPlayer> player;
  // The emulated speaker: the interval timer's channel 2 and the gate port 0x61.
  uint8_t port61 = 0;
  uint16_t divisor = 0;
  bool divisorHigh = false;  // the next byte to port 0x42 is the divisor's high byte
  bool speakerSounding = false;
};

SoundState& soundState(State& s);

// PlaySound: name is a file (kFilename, or no kind flag), a system sound (kAlias) or, with
// kResource, the decimal number of one of the program's resources. An empty name, or
// kPurge, stops the playing sound. A sound that cannot be found or decoded plays the default
// beep unless kNoDefault is given. With kLoop the sound repeats until stopped.
bool soundPlayFile(State& s, std::string_view name, uint32_t flags);
// PlaySound with kMemory: the bytes of a WAV file. An asynchronous sound keeps its own copy,
// so the caller's buffer may change at once.
bool soundPlayMemory(State& s, std::span<const uint8_t> bytes, uint32_t flags);
// The program's resource n (its body) as an in-memory sound; a number without a resource
// plays nothing.
bool soundPlayResource(State& s, uint32_t n, uint32_t flags);
// Stops the playing sound, if any.
void soundStop(State& s);
// waveOutGetNumDevs: 1 when frames go to a sink or a device, 0 otherwise.
int soundDeviceCount(State& s);
// Beep: a square wave of frequency Hz for ms milliseconds, synchronous; 18 Hz and below are
// silence of the same length. Without a device the terminal's bell rings instead (for an
// audible tone) and the wait is the same.
bool soundTone(State& s, uint32_t frequency, uint32_t ms);
// MessageBeep: the system sound of the type (0, 0x10, 0x20, 0x30, 0x40, 0xFFFFFFFF),
// asynchronous.
bool soundMessageBeep(State& s, uint32_t type);
// The speaker's ports 0x42, 0x43 and 0x61: a program that programs the timer and opens
// the gate hears a continuous square wave until it closes the gate.
void speakerPortWrite(State& s, uint16_t port, uint8_t value);
uint8_t speakerPortRead(State& s, uint16_t port);

// The service's end step: stops playback and joins the playback thread.
void soundEnd(State& s);

// ---- the player, for the service and its tests ----

// A sound's frames, read by the playback thread.
class SoundSource {
 public:
  virtual ~SoundSource() = default;
  virtual SoundFormat format() const = 0;
  // Up to frames frames into out (format().channels samples each); 0 at the end.
  virtual size_t read(int16_t* out, size_t frames) = 0;
  // Back to the first frame (for a loop); false when the source cannot.
  virtual bool rewind() = 0;
  // The number of frames, or -1 when unknown.
  virtual int64_t length() const = 0;
};

// Generated frames (tones, beeps, silence).
std::unique_ptr<SoundSource> pcmSource(SoundFormat format, std::vector<int16_t> frames);
// A square wave of frequency Hz (silence at 18 Hz and below) lasting ms milliseconds.
std::unique_ptr<SoundSource> toneSource(SoundFormat format, uint32_t frequency, uint32_t ms);
// A WAV file or WAV bytes through libsndfile; null with a reason when it cannot be decoded
// (missing, not WAV, libsndfile not installed).
std::unique_ptr<SoundSource> wavFileSource(const std::string& path, std::string& why);
std::unique_ptr<SoundSource> wavMemorySource(std::shared_ptr<const std::vector<uint8_t>> bytes,
                                             std::string& why);

// One playback thread and its output. Every call returns without waiting on the device;
// playUntilDone waits at most the sound's length and a margin.
class SoundPlayer {
 public:
  explicit SoundPlayer(SoundConfig config);
  ~SoundPlayer();  // stops and joins
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Replaces the playing sound; returns its number.
  uint64_t play(std::unique_ptr<SoundSource> source, bool loop);
  // Waits until sound number id has ended or was replaced (bounded as above).
  // `cancel`, when given, is looked at every 50 ms: once it is set the sound is stopped and
  // the wait ends (the run's time limit breaks a synchronous sound this way).
  void waitDone(uint64_t id, int64_t lengthMs, const volatile std::sig_atomic_t* cancel = nullptr);
  void stop();
  bool playing();
  // The output, opened at the first call of any of these.
  SoundOutputKind output();
  // The format generated sounds take (the sink's format, else 44100 Hz mono).
  SoundFormat preferredFormat();
  // Ends the thread (the destructor does it too).
  void shutdown();

  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace tavrin
