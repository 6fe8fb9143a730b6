// terminfo key capabilities through libtinfo, opened with dlopen: bound programs need no
// terminfo library to start, and a failure to find one or the entry changes nothing.
#include "lib/terminfo_keys.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lib/keys.h"

namespace tavrin {

namespace {

// capability, scan code, control-key state (the keys' records as the built-in table has them)
struct KeyCapability {
  const char* name;
  uint8_t scan;
  uint8_t ch;
  uint16_t state;
};
constexpr KeyCapability kCapabilities[] = {
    {"kcuu1", 72, 0, kEnhancedKey}, {"kcud1", 80, 0, kEnhancedKey}, {"kcuf1", 77, 0, kEnhancedKey},
    {"kcub1", 75, 0, kEnhancedKey}, {"khome", 71, 0, kEnhancedKey}, {"kend", 79, 0, kEnhancedKey},
    {"kich1", 82, 0, kEnhancedKey}, {"kdch1", 83, 0, kEnhancedKey}, {"kpp", 73, 0, kEnhancedKey},
    {"knp", 81, 0, kEnhancedKey},   {"kb2", 76, 0, 0},             {"kent", 28, 13, 0},
    {"kcbt", 15, 9, kShiftPressed},
    {"kLFT", 75, 0, kEnhancedKey | kShiftPressed}, {"kRIT", 77, 0, kEnhancedKey | kShiftPressed},
    {"kHOM", 71, 0, kEnhancedKey | kShiftPressed}, {"kEND", 79, 0, kEnhancedKey | kShiftPressed},
    {"kIC", 82, 0, kEnhancedKey | kShiftPressed},  {"kDC", 83, 0, kEnhancedKey | kShiftPressed},
    {"kf1", 59, 0, 0},  {"kf2", 60, 0, 0},  {"kf3", 61, 0, 0},  {"kf4", 62, 0, 0},
    {"kf5", 63, 0, 0},  {"kf6", 64, 0, 0},  {"kf7", 65, 0, 0},  {"kf8", 66, 0, 0},
    {"kf9", 67, 0, 0},  {"kf10", 68, 0, 0}, {"kf11", 87, 0, 0}, {"kf12", 88, 0, 0},
};

using SetupTerm = int (*)(const char*, int, int*);
using GetString = char* (*)(const char*);

}  // namespace

int loadTerminfoKeys() {
  static const int added = [] {
    const char* term = std::getenv("TERM");
    if (!term || !*term) return 0;
    void* lib = dlopen("libtinfo.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen("libncurses.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 0;
    auto setup = reinterpret_cast<SetupTerm>(dlsym(lib, "setupterm"));
    auto get = reinterpret_cast<GetString>(dlsym(lib, "tigetstr"));
    int error = 0;
    // fd -1: read the entry only, without touching a terminal
    if (!setup || !get || setup(term, -1, &error) != 0) return 0;
    int n = 0;
    for (const KeyCapability& k : kCapabilities) {
      char* value = get(k.name);
      // absent: nullptr; cancelled or not a string: (char*)-1 or 0
      if (!value || value == reinterpret_cast<char*>(-1) || value[0] != '\x1b' || !value[1]) continue;
      InputEvent e{InputEvent::Kind::Key, true, k.ch, k.scan, k.state};
      if (addKeySequence(std::string_view(value + 1), e)) ++n;
    }
    return n;  // the library stays loaded: its entry is small, and unloading gains nothing
  }();
  return added;
}

}  // namespace tavrin
