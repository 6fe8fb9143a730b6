// The sound service's state and API (PlaySound's flags, tones, the speaker ports) and the
// statements and functions that reach it: StmtPlaySound, StmtPlayResource, StmtTone, the
// port output statements and the port input functions.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "interp/state.h"
#include "lib/console.h"
#include "lib/paths.h"
#include "lib/sound.h"
#include "runtime/time_limit.h"

namespace tavrin {

void destroyService(SoundState* p) { delete p; }

SoundState::SoundState(SoundConfig config) : player(std::make_unique<SoundPlayer>(std::move(config))) {}
SoundState::~SoundState() = default;

SoundState& soundState(State& s) {
  if (!s.sound) s.sound = std::make_unique<SoundState>(SoundConfig::fromEnvironment());
  return *s.sound;
}

namespace {

constexpr uint32_t kTimerClock = 1193181;  // the interval timer's input clock, Hz

int64_t lengthMs(const SoundSource& src) {
  int64_t frames = src.length();
  return frames < 0 ? 0 : frames * 1000 / src.format().rate;
}

// Hands a decoded sound to the player with the flags' timing: a loop is always
// asynchronous, as on the platform, so no flag combination can hang the program.
bool playSource(State& s, std::unique_ptr<SoundSource> src, uint32_t flags) {
  SoundPlayer& p = *soundState(s).player;
  if ((flags & snd::kNoStop) && p.playing()) return false;
  soundState(s).speakerSounding = false;
  const bool loop = flags & snd::kLoop;
  const int64_t ms = lengthMs(*src);
  uint64_t id = p.play(std::move(src), loop);
  if (id == 0) return false;
  if (!(flags & snd::kAsync) && !loop) {
    p.waitDone(id, ms, &g_timeUp);
    checkTimeLimit();
  }
  return true;
}

// The built-in system sounds: short tones, the default one for a sound not found.
struct SystemSound {
  const char* alias;
  uint32_t beepType;  // MessageBeep's type
  uint32_t frequency;
  uint32_t ms;
};
constexpr SystemSound kSystemSounds[] = {
    {"SystemDefault", 0x00, 880, 200},      {"SystemHand", 0x10, 440, 300},
    {"SystemQuestion", 0x20, 780, 150},     {"SystemExclamation", 0x30, 660, 250},
    {"SystemAsterisk", 0x40, 1000, 150},    {"SystemStart", 0xFFFF, 520, 300},
    {"SystemExit", 0xFFFF, 390, 300},
};

bool playSystem(State& s, const SystemSound& sound, uint32_t flags) {
  SoundFormat f = soundState(s).player->preferredFormat();
  return playSource(s, toneSource(f, sound.frequency, sound.ms), flags & ~snd::kLoop);
}

// A sound that cannot be played: the default beep, unless the flags say not to.
bool playDefault(State& s, uint32_t flags) {
  if (flags & snd::kNoDefault) return false;
  return playSystem(s, kSystemSounds[0], flags);
}

bool sameAlias(std::string_view a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; i++)
    if (std::tolower(uint8_t(a[i])) != std::tolower(uint8_t(b[i]))) return false;
  return true;
}

}  // namespace

bool soundPlayFile(State& s, std::string_view name, uint32_t flags) {
  if ((flags & snd::kPurge) || name.empty()) {
    soundStop(s);
    return true;
  }
  if ((flags & snd::kResource) == snd::kResource) {
    uint32_t n = 0;
    for (char c : name) {
      if (c < '0' || c > '9' || n > 100000) return playDefault(s, flags);
      n = n * 10 + uint32_t(c - '0');
    }
    return soundPlayResource(s, n, flags & ~snd::kResource) || playDefault(s, flags);
  }
  if ((flags & snd::kAlias) && !(flags & snd::kFilename)) {
    for (const SystemSound& sound : kSystemSounds)
      if (sameAlias(name, sound.alias)) return playSystem(s, sound, flags);
    return playDefault(s, flags);
  }
  std::string why;
  auto src = wavFileSource(hostPath(name), why);
  if (!src) return playDefault(s, flags);
  return playSource(s, std::move(src), flags);
}

bool soundPlayMemory(State& s, std::span<const uint8_t> bytes, uint32_t flags) {
  if (flags & snd::kPurge) {
    soundStop(s);
    return true;
  }
  // The sound keeps its own copy: the caller's buffer (the scratch stream of a resource, a
  // program's variable) may be overwritten while an asynchronous sound still plays.
  auto copy = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
  std::string why;
  auto src = wavMemorySource(std::move(copy), why);
  if (!src) return playDefault(s, flags);
  return playSource(s, std::move(src), flags);
}

bool soundPlayResource(State& s, uint32_t n, uint32_t flags) {
  if (n >= uint32_t(s.resourceCount)) return false;  // no such resource: nothing to play
  const uint32_t back = s.code.position();
  s.code.seek(s.resources[n]);
  uint32_t length = s.code.u32();
  const uint8_t* body = s.code.bytes(length);  // checked against the image
  s.code.seek(back);
  return soundPlayMemory(s, {body, length}, flags | snd::kMemory);
}

void soundStop(State& s) {
  if (!s.sound) return;  // nothing was ever played: nothing to load or stop
  s.sound->player->stop();
  s.sound->speakerSounding = false;
}

int soundDeviceCount(State& s) { return soundState(s).player->output() == SoundOutputKind::None ? 0 : 1; }

bool soundTone(State& s, uint32_t frequency, uint32_t ms) {
  SoundPlayer& p = *soundState(s).player;
  if (p.output() == SoundOutputKind::None) {
    // No device: an audible tone rings the terminal's bell; the wait is the tone's.
    if (frequency > 18) {
      ConsoleState& c = console(s);
      if (c.terminal) c.terminal->bell();
      consoleFlush(s);
    }
    // The wait goes in slices so that the run's time limit can end it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(50)));
      checkTimeLimit();
    }
    return true;
  }
  return playSource(s, toneSource(p.preferredFormat(), frequency, ms), snd::kSync);
}

bool soundMessageBeep(State& s, uint32_t type) {
  for (const SystemSound& sound : kSystemSounds)
    if (sound.beepType == type) return playSystem(s, sound, snd::kAsync);
  return playSystem(s, kSystemSounds[0], snd::kAsync);  // 0xFFFFFFFF and the rest: the simple beep
}

// The speaker: port 0x43 takes the timer's control word, 0x42 the divisor (low byte, then
// high byte), and bits 0 and 1 of port 0x61 open the gate. While the gate is open and a
// divisor is set, a square wave of 1193181 / divisor Hz sounds.
void speakerPortWrite(State& s, uint16_t port, uint8_t value) {
  if (port != 0x42 && port != 0x43 && port != 0x61) return;
  SoundState& st = soundState(s);
  if (port == 0x43) {
    st.divisorHigh = false;
    return;
  }
  if (port == 0x42) {
    st.divisor = st.divisorHigh ? uint16_t((st.divisor & 0xFF) | value << 8) : uint16_t((st.divisor & 0xFF00) | value);
    st.divisorHigh = !st.divisorHigh;
    if (st.divisorHigh) return;  // the low byte alone changes nothing heard yet
  } else {
    st.port61 = value;
  }
  const bool gate = (st.port61 & 3) == 3;
  // Divisor 0 counts as 65536, the timer's longest period.
  const uint32_t frequency = kTimerClock / (st.divisor ? st.divisor : 65536u);
  if (!gate) {
    if (st.speakerSounding) st.player->stop();
    st.speakerSounding = false;
    return;
  }
  if (port == 0x61 && st.speakerSounding) return;  // already sounding at this divisor
  // One second holds a whole number of periods, so the loop joins without a click.
  SoundFormat f = st.player->preferredFormat();
  st.player->play(toneSource(f, frequency, 1000), true);
  st.speakerSounding = true;
}

uint8_t speakerPortRead(State& s, uint16_t port) {
  if (port != 0x61 || !s.sound) return 0;
  return s.sound->port61;
}

void soundEnd(State& s) {
  if (s.sound) s.sound->player->shutdown();
}

// ---- statements ----

void execStmtPlaySound(State& s) {
  std::string name;
  argText(s, name);
  uint32_t flags = uint32_t(evaluateInt(s));
  if (name.empty()) {
    soundStop(s);  // stopping needs no device and loads nothing
    return;
  }
  soundPlayFile(s, name, flags | snd::kFilename);
}

void execStmtPlayResource(State& s) {
  uint16_t n = s.code.u16();
  // The resource's bytes are checked before the flags are read, as the body was copied
  // before; a number without a resource plays nothing.
  if (n < s.resourceCount) {
    const uint32_t back = s.code.position();
    s.code.seek(s.resources[n]);
    s.code.bytes(s.code.u32());
    s.code.seek(back);
  }
  uint16_t flags = uint16_t(evaluateInt(s));
  soundPlayResource(s, n, flags | snd::kMemory);
}

// A tone of duration ticks of 1/18 second; 18 Hz and below is silence of that length.
void execStmtTone(State& s) {
  uint16_t frequency = uint16_t(evaluateInt(s));
  int32_t duration = evaluateInt(s);
  double ms = std::trunc(double(duration) * (1.0 / 18.0) * 1000.0);
  if (ms <= 0) return;
  // A tone of more than a day is bounded there, as the platform's 32-bit wait would be.
  soundTone(s, frequency, uint32_t(std::min(ms, 86400000.0)));
  // The tone leaves the speaker as SpeakerOff does: gate bits cleared.
  SoundState& st = soundState(s);
  if (frequency > 18) st.port61 &= uint8_t(~3);
}

// Port output: the speaker's ports reach the emulated speaker; the others, which an
// unprivileged process cannot reach, are ignored (the operands are still read).
void execStmtPortOutWord(State& s) {
  uint16_t port = uint16_t(evaluateInt(s));
  uint16_t value = uint16_t(evaluateInt(s));
  speakerPortWrite(s, port, uint8_t(value));
  if (port != 0xFFFF) speakerPortWrite(s, uint16_t(port + 1), uint8_t(value >> 8));
}

void execStmtPortOutByte(State& s) {
  uint16_t port = uint16_t(evaluateInt(s));
  uint8_t value = uint8_t(evaluateInt(s));
  speakerPortWrite(s, port, value);
}

// Port input: port 0x61 reads back the speaker's gate; the others read 0.
void fnPortWord(State& s, EvalStack& e) {
  uint16_t port = uint16_t(argRound(s));
  e.pushNumber(speakerPortRead(s, port) | (port != 0xFFFF ? speakerPortRead(s, uint16_t(port + 1)) << 8 : 0));
}

void fnPortByte(State& s, EvalStack& e) {
  uint16_t port = uint16_t(argRound(s));
  e.pushNumber(speakerPortRead(s, port));
}

}  // namespace tavrin
