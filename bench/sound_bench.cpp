// The sound player's speed: how soon an asynchronous sound reaches the WAV sink, and what
// share of one core playback takes (to the sink and in silence). Built with
// `cmake --build build --target tavrin-sound-bench`; run as build/tavrin-sound-bench.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "lib/sound.h"

using namespace tavrin;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::vector<int16_t> noise(size_t frames, int channels) {
  std::vector<int16_t> v(frames * size_t(channels));
  uint32_t x = 1;
  for (auto& s : v) s = int16_t((x = x * 1103515245 + 12345) >> 16);
  return v;
}

off_t sizeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

}  // namespace

int main() {
  std::string dir = "/tmp/tavrin-sound-bench-" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);

  // Latency: from play() to the first frames in the sink, 20 times, each a new sound.
  std::vector<double> latencies;
  {
    std::string path = dir + "/latency.wav";
    SoundConfig c;
    c.file = path;
    c.tryDevice = false;
    SoundPlayer p(c);
    p.output();
    for (int i = 0; i < 20; i++) {
      off_t before = sizeOf(path);
      auto t0 = Clock::now();
      p.play(pcmSource({44100, 2}, noise(44100, 2)), false);
      while (sizeOf(path) <= before && Clock::now() - t0 < std::chrono::seconds(1)) std::this_thread::yield();
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    p.stop();
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("async sound to the sink: median %.2f ms, worst %.2f ms (goal: within 50 ms)\n",
              latencies[latencies.size() / 2], latencies.back());

  // CPU share: 3 s of 44.1 kHz stereo played synchronously, to the sink and to nowhere.
  for (bool sink : {true, false}) {
    SoundConfig c;
    c.file = sink ? dir + "/cpu.wav" : "";
    c.tryDevice = false;
    SoundPlayer p(c);
    p.output();
    auto frames = noise(3 * 44100, 2);
    double cpu0 = cpuSeconds();
    auto t0 = Clock::now();
    p.waitDone(p.play(pcmSource({44100, 2}, std::move(frames)), false), 3000);
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    double cpu = cpuSeconds() - cpu0;
    std::printf("%s: %.2f s of sound took %.2f s, CPU %.1f ms = %.2f %% of one core (goal: at most 5 %%)\n",
                sink ? "to the sink" : "in silence", 3.0, wall, cpu * 1000, 100 * cpu / wall);
  }
  std::remove((dir + "/latency.wav").c_str());
  std::remove((dir + "/cpu.wav").c_str());
  rmdir(dir.c_str());
}
