// user32 without windows of its own: message boxes and beeps, fixed screen metrics, the
// key and cursor state of a console run, wsprintfA, and messages to the engine's window
// handles (the message queue).
#include <cstring>
#include <string>

#include "interp/message_queue.h"
#include "interp/state.h"
#include "lib/callbacks.h"
#include "lib/external.h"
#include "lib/message_box.h"
#include "lib/sound.h"
#include "lib/win32/standin.h"

namespace tavrin::win32 {
namespace {

int64_t MessageBoxA(Call& c) {
  const std::string text = c.textOr(1, "");
  const auto caption = c.text(2);
  const std::string title = caption ? std::string(*caption) : std::string("Error");
  return showMessageBox(c.state(), text, title, c.u32(3));
}

int64_t MessageBeep(Call& c) { return soundMessageBeep(c.state(), c.u32(0)) ? 1 : 0; }

// The metrics of a 1024 x 768 screen with the classic window style.
int64_t GetSystemMetrics(Call& c) {
  switch (c.i32(0)) {
    case 0: return 1024;   // SM_CXSCREEN
    case 1: return 768;    // SM_CYSCREEN
    case 2: return 16;     // SM_CXVSCROLL
    case 3: return 16;     // SM_CYHSCROLL
    case 4: return 19;     // SM_CYCAPTION
    case 5:
    case 6: return 1;      // SM_CXBORDER, SM_CYBORDER
    case 7:
    case 8: return 3;      // SM_CXDLGFRAME, SM_CYDLGFRAME
    case 11:
    case 12: return 32;    // SM_CXICON, SM_CYICON
    case 13:
    case 14: return 32;    // SM_CXCURSOR, SM_CYCURSOR
    case 15: return 19;    // SM_CYMENU
    case 16: return 1024;  // SM_CXFULLSCREEN
    case 17: return 768 - 19 - 30;  // SM_CYFULLSCREEN: less the caption and a task bar
    case 19: return 1;     // SM_MOUSEPRESENT
    case 20:
    case 21: return 16;    // SM_CYVSCROLL, SM_CXHSCROLL
    case 28:
    case 29: return 112;   // SM_CXMIN, SM_CYMIN (about)
    case 32:
    case 33: return 4;     // SM_CXFRAME, SM_CYFRAME
    case 43: return 3;     // SM_CMOUSEBUTTONS
    case 49:
    case 50: return 16;    // SM_CXSMICON, SM_CYSMICON
    case 76:
    case 77: return 0;     // SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN
    case 78: return 1024;  // SM_CXVIRTUALSCREEN
    case 79: return 768;   // SM_CYVIRTUALSCREEN
    case 80: return 1;     // SM_CMONITORS
    default: return 0;
  }
}

// A console run sees no key go down through these: the console's own statements read keys.
int64_t GetAsyncKeyState(Call&) { return 0; }
int64_t GetKeyState(Call&) { return 0; }

int64_t GetCursorPos(Call& c) {
  const ExternalState& ext = externalState(c.state());
  const int32_t point[2] = {ext.cursorX, ext.cursorY};
  std::memcpy(c.memory(0, 8), point, 8);
  return 1;
}

int64_t SetCursorPos(Call& c) {
  ExternalState& ext = externalState(c.state());
  ext.cursorX = c.i32(0);
  ext.cursorY = c.i32(1);
  return 1;
}

// wsprintfA(buffer, format, ...): %[-][#][0][width][.precision][l|h]type with the types
// c, d, i, u, x, X, s and %%; at most 1024 characters, as the platform writes.
int64_t wsprintfA(Call& c) {
  const std::string format = c.textOr(1, "");
  std::string out;
  int next = 2;
  for (size_t i = 0; i < format.size() && out.size() < 1024; ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (++i >= format.size()) break;
    bool left = false, alternate = false, zero = false;
    for (; i < format.size(); ++i) {
      if (format[i] == '-') left = true;
      else if (format[i] == '#') alternate = true;
      else if (format[i] == '0') zero = true;
      else break;
    }
    size_t width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9' && width < 1024) width = width * 10 + size_t(format[i++] - '0');
    size_t precision = SIZE_MAX;
    if (i < format.size() && format[i] == '.') {
      precision = 0;
      ++i;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9' && precision < 1024)
        precision = precision * 10 + size_t(format[i++] - '0');
    }
    while (i < format.size() && (format[i] == 'l' || format[i] == 'h')) ++i;
    if (i >= format.size()) break;
    const char type = format[i];
    std::string field;
    bool numeric = true;
    switch (type) {
      case 'd':
      case 'i': field = std::to_string(c.i32(next++)); break;
      case 'u': field = std::to_string(c.u32(next++)); break;
      case 'x':
      case 'X': {
        char b[16];
        std::snprintf(b, sizeof b, type == 'x' ? "%x" : "%X", c.u32(next++));
        field = b;
        if (alternate && field != "0") field = (type == 'x' ? "0x" : "0X") + field;
        break;
      }
      case 'c':
      case 'C':
        field = std::string(1, char(c.u32(next++) & 0xFF));
        numeric = false;
        break;
      case 's':
      case 'S': {
        const auto t = c.text(next++);
        field = t ? std::string(*t) : std::string("(null)");
        if (field.size() > precision) field.resize(precision);
        numeric = false;
        break;
      }
      default: field = std::string(1, type); numeric = false; break;  // "%%" and unknown types: the character
    }
    if (numeric && precision != SIZE_MAX) {
      const bool negative = !field.empty() && field[0] == '-';
      std::string digits = field.substr(negative ? 1 : 0);
      if (digits.size() < precision) digits.insert(0, precision - digits.size(), '0');
      field = (negative ? "-" : "") + digits;
    }
    if (field.size() < width) {
      const size_t pad = width - field.size();
      if (left) field.append(pad, ' ');
      else if (zero && numeric) field.insert(field[0] == '-' ? 1 : 0, pad, '0');
      else field.insert(0, pad, ' ');
    }
    out += field;
  }
  if (out.size() > 1024) out.resize(1024);
  uint8_t* at = c.memory(0, out.size() + 1);
  std::memcpy(at, out.data(), out.size());
  at[out.size()] = 0;
  return int64_t(out.size());
}

WindowMessage messageOf(const Call& c, int first) {
  WindowMessage m;
  m.window = c.u32(first);
  m.message = c.u32(first + 1);
  m.wParam = c.i32(first + 2);
  m.lParam = c.i32(first + 3);
  return m;
}

int64_t SendMessageA(Call& c) { return sendMessage(c.state(), messageOf(c, 0)); }
int64_t PostMessageA(Call& c) { return postMessage(c.state(), messageOf(c, 0)) ? 1 : 0; }
int64_t IsWindow(Call& c) { return windowExists(c.state(), c.u32(0)) ? 1 : 0; }

// The procedure is one of the program's own callbacks of four arguments (it is run), or
// anything else: then the message goes to the engine's window as SendMessageA sends it.
int64_t CallWindowProcA(Call& c) {
  const uint32_t proc = c.u32(0);
  if (proc != 0 && proc == callbackEntryAddress(4)) {
    using Entry4 = int32_t (*)(int32_t, int32_t, int32_t, int32_t);
    const auto entry = reinterpret_cast<Entry4>(uintptr_t(proc));
    return entry(c.i32(1), c.i32(2), c.i32(3), c.i32(4));
  }
  return sendMessage(c.state(), messageOf(c, 1));
}

constexpr Export kExports[] = {
    {"CallWindowProcA", CallWindowProcA},
    {"GetAsyncKeyState", GetAsyncKeyState},
    {"GetCursorPos", GetCursorPos},
    {"GetKeyState", GetKeyState},
    {"GetSystemMetrics", GetSystemMetrics},
    {"IsWindow", IsWindow},
    {"MessageBeep", MessageBeep},
    {"MessageBoxA", MessageBoxA},
    {"PostMessageA", PostMessageA},
    {"SendMessageA", SendMessageA},
    {"SetCursorPos", SetCursorPos},
    {"wsprintfA", wsprintfA},
};

}  // namespace

std::span<const Export> user32Exports() { return kExports; }

}  // namespace tavrin::win32
