// winmm: the clock and the sound functions, on the engine's sound player.
#include <cstring>
#include <ctime>

#include "lib/sound.h"
#include "lib/win32/standin.h"
#include "runtime/low_memory.h"

namespace tavrin::win32 {
namespace {

int64_t timeGetTime(Call&) {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u));
}

// A sound in memory: a RIFF file whose length its header gives, inside the program's memory.
bool playFromMemory(Call& c, uint32_t flags) {
  const uint8_t* header = c.memory(0, 8);
  uint32_t riffSize;
  std::memcpy(&riffSize, header + 4, 4);
  if (std::memcmp(header, "RIFF", 4) != 0 || riffSize > (1u << 30)) return false;
  const uint8_t* bytes = c.memory(0, size_t(riffSize) + 8);
  return soundPlayMemory(c.state(), std::span<const uint8_t>(bytes, size_t(riffSize) + 8), flags);
}

// Argument 0 is a block in memory when `memory` (the address 0 stops the sound), else a
// file or system sound name.
int64_t play(Call& c, uint32_t flags, bool memory) {
  if (memory) {
    if (c.arg(0).value == 0 && !c.arg(0).isText) {
      soundStop(c.state());
      return 1;
    }
    return playFromMemory(c, flags) ? 1 : 0;
  }
  const auto name = c.text(0);
  return soundPlayFile(c.state(), name ? *name : std::string_view(), flags) ? 1 : 0;
}

int64_t PlaySoundA(Call& c) {
  const uint32_t flags = c.u32(2);
  return play(c, flags, (flags & snd::kMemory) && (flags & snd::kResource) != snd::kResource);
}

// sndPlaySoundA's flags are PlaySound's low ones; the name is a file or a system sound.
int64_t sndPlaySoundA(Call& c) {
  const uint32_t flags = c.u32(1) & 0xFFFFu;
  return play(c, flags, (flags & snd::kMemory) != 0);
}

int64_t waveOutGetNumDevs(Call& c) { return soundDeviceCount(c.state()); }

constexpr Export kExports[] = {
    {"PlaySound", PlaySoundA},
    {"PlaySoundA", PlaySoundA},
    {"sndPlaySoundA", sndPlaySoundA},
    {"timeGetTime", timeGetTime},
    {"waveOutGetNumDevs", waveOutGetNumDevs},
};

}  // namespace

std::span<const Export> winmmExports() { return kExports; }

}  // namespace tavrin::win32
