// Console message boxes. The answer is one key read from the terminal with echo and line
// buffering off: a button's letter, Enter for the default button, Escape for the cancel
// button; end of input gives the default button.
#include "lib/message_box.h"

#include "lib/file_writes.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/console.h"
#include "interp/state.h"
#include "interp/builtins_util.h"
#include "interp/handlers.h"

namespace tavrin {
namespace {

using Button = MessageBoxButton;

MessageBoxHook g_hook = nullptr;

constexpr Button kOk{"OK", 'o', 1}, kCancel{"Cancel", 'c', 2}, kAbort{"Abort", 'a', 3},
    kRetry{"Retry", 'r', 4}, kIgnore{"Ignore", 'i', 5}, kYes{"Yes", 'y', 6}, kNo{"No", 'n', 7},
    kTryAgain{"Try Again", 't', 10}, kContinue{"Continue", 'o', 11}, kAll{"All", 'l', 8},
    kHelp{"Help", 'h', 0};

int readKey() {
  if (!isatty(STDIN_FILENO)) return -1;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return -1;
  termios raw = saved;
  raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  unsigned char c = 0;
  ssize_t n = read(STDIN_FILENO, &c, 1);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return n == 1 ? int(c) : -1;
}

// Shows the box and returns the chosen button's result: the windowed layer's dialog when it
// takes the box, else the console form.
int32_t choose(State& s, const MessageBoxRequest& box) {
  consoleFlush(s);
  flushFileWrites();
  if (g_hook) {
    int32_t answer = g_hook(s, box);
    if (answer >= 0) return answer;
  }
  const std::string_view caption = box.caption, text = box.text;
  const std::vector<Button>& buttons = box.buttons;
  const int defaultIndex = box.defaultIndex, cancelIndex = box.cancelIndex;
  const int32_t closeResult = box.closeResult;
  std::string out;
  out += "[";
  out += caption;
  out += "] ";
  out += text;
  out += "\n  ";
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (i) out += "  ";
    out += int(i) == defaultIndex ? "<" : "(";
    out += buttons[i].label;
    out += int(i) == defaultIndex ? ">" : ")";
  }
  const bool interactive = !s.sandbox && isatty(STDIN_FILENO);
  int32_t answer = defaultIndex >= 0 ? buttons[size_t(defaultIndex)].result : closeResult;
  if (!interactive) {
    out += "  -> ";
    out += defaultIndex >= 0 ? buttons[size_t(defaultIndex)].label : "closed";
    out += "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    return answer;
  }
  out += "  ? ";
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
  for (;;) {
    int key = readKey();
    if (key < 0) break;  // end of input: the default
    if (key == '\r' || key == '\n') {
      if (defaultIndex >= 0) break;
      continue;
    }
    if (key == 27) {
      if (cancelIndex >= 0) {
        answer = buttons[size_t(cancelIndex)].result;
        break;
      }
      continue;
    }
    int lower = key >= 'A' && key <= 'Z' ? key + 32 : key;
    bool picked = false;
    for (const Button& b : buttons) {
      if (b.key == lower && b.result != 0) {  // Help does not close the box
        answer = b.result;
        picked = true;
        break;
      }
    }
    if (picked) break;
  }
  std::fputs("\n", stderr);
  return answer;
}

}  // namespace

void setMessageBoxHook(MessageBoxHook hook) { g_hook = hook; }

std::string_view applicationTitle(const State& s) {
  std::string_view name = s.programName;
  if (size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return name;
}

int32_t showMessageBox(State& s, std::string_view text, std::string_view caption, uint32_t flags) {
  std::vector<Button> buttons;
  int cancel = -1;
  switch (flags & 0xF) {
    case 1: buttons = {kOk, kCancel}; cancel = 1; break;                  // MB_OKCANCEL
    case 2: buttons = {kAbort, kRetry, kIgnore}; break;                   // MB_ABORTRETRYIGNORE
    case 3: buttons = {kYes, kNo, kCancel}; cancel = 2; break;            // MB_YESNOCANCEL
    case 4: buttons = {kYes, kNo}; break;                                 // MB_YESNO
    case 5: buttons = {kRetry, kCancel}; cancel = 1; break;               // MB_RETRYCANCEL
    case 6: buttons = {kCancel, kTryAgain, kContinue}; cancel = 0; break; // MB_CANCELTRYCONTINUE
    default: buttons = {kOk}; cancel = 0; break;                          // MB_OK
  }
  int def = int((flags >> 8) & 3);
  if (def >= int(buttons.size())) def = 0;
  if (caption.empty()) caption = "Error";  // what the platform shows for a missing caption
  // The icon flags: 0x10 stop, 0x20 question, 0x30 exclamation, 0x40 information.
  static constexpr int32_t kIcons[8] = {0, 4, 1, 2, 3, 0, 0, 0};
  const int32_t closeResult = cancel >= 0 ? buttons[size_t(cancel)].result : 1;
  MessageBoxRequest box{caption, text, kIcons[(flags >> 4) & 7], std::move(buttons), def, cancel, closeResult};
  return choose(s, box);
}

int32_t showMessageDialog(State& s, std::string_view text, int32_t kind, int32_t flags) {
  static constexpr const Button* kByBit[] = {&kYes, &kNo, &kOk, &kCancel, &kHelp, &kAbort, &kRetry, &kIgnore, &kAll};
  // Buttons appear in the platform dialog's order: Yes No OK Cancel Abort Retry Ignore All Help.
  static constexpr int kOrder[] = {0, 1, 2, 3, 5, 6, 7, 8, 4};
  if (flags == 0) flags = 4;  // OK alone
  std::vector<Button> buttons;
  for (int bit : kOrder)
    if (flags & (1 << bit)) buttons.push_back(*kByBit[bit]);
  auto indexOf = [&](int32_t result) {
    for (size_t i = 0; i < buttons.size(); ++i)
      if (buttons[i].result == result && buttons[i].label != kHelp.label) return int(i);
    return -1;
  };
  // The default is OK, else Yes, else Retry; Escape is Cancel, else No, else OK.
  int def = indexOf(1);
  if (def < 0) def = indexOf(6);
  if (def < 0) def = indexOf(4);
  for (size_t i = 0; def < 0 && i < buttons.size(); ++i)  // else the first that closes the dialog
    if (buttons[i].result != 0) def = int(i);
  int cancel = indexOf(2);
  if (cancel < 0) cancel = indexOf(7);
  if (cancel < 0) cancel = indexOf(1);
  static constexpr std::string_view kCaptions[] = {"Warning", "Error", "Information", "Confirm"};
  std::string_view caption = kind >= 0 && kind < 4 ? kCaptions[kind] : applicationTitle(s);
  static constexpr int32_t kIcons[] = {2, 4, 3, 1};  // warning, error, information, confirmation
  MessageBoxRequest box{caption, text, kind >= 0 && kind < 4 ? kIcons[kind] : 0, std::move(buttons), def, cancel, 2};
  return choose(s, box);
}

// ---- the message box statements and built-ins ----

void execStmtShowMessage(State& s) {
  std::string text;
  argText(s, text);
  showMessageBox(s, text, applicationTitle(s), 0);
}

void execStmtMessageBox(State& s) {
  std::string text, caption;
  argText(s, text);
  argText(s, caption);
  int32_t flags = evaluateInt(s);
  showMessageBox(s, text, caption, uint32_t(flags));
}

void execStmtMessageDialog(State& s) {
  std::string text;
  argText(s, text);
  int32_t kind = evaluateInt(s);
  int32_t buttons = evaluateInt(s);
  evaluateInt(s);  // the help context
  showMessageDialog(s, text, kind, buttons);
}

void fnMessageBoxResult(State& s, EvalStack& e) {
  std::string text, caption;
  argText(s, text);
  argText(s, caption);
  int32_t flags = argTrunc(s);
  e.pushNumber(showMessageBox(s, text, caption, uint32_t(flags)));
}

void fnMessageDialogResult(State& s, EvalStack& e) {
  std::string text;
  argText(s, text);
  int32_t kind = argRound(s);
  int32_t buttons = argRound(s);
  argNumber(s);  // the help context
  e.pushNumber(double(uint16_t(showMessageDialog(s, text, kind, buttons))));
}

}  // namespace tavrin
