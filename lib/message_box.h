// Message boxes and message dialogs of a console run: the caption and the text go to
// stderr; when standard input is a terminal the user answers with a key, otherwise the
// default button is the answer. Result codes are the platform's (IDOK 1 ... IDNO 7).
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace tavrin {

struct State;

struct MessageBoxButton {
  const char* label;
  char key;        // lower-case answer letter of the console form
  int32_t result;  // 0: Help, which does not close the box
};

// One box to show, whichever form shows it.
struct MessageBoxRequest {
  std::string_view caption;
  std::string_view text;
  int32_t icon = 0;  // 0 none, 1 question, 2 warning, 3 information, 4 error
  std::vector<MessageBoxButton> buttons;
  int defaultIndex = -1;  // into buttons; -1 none
  int cancelIndex = -1;   // the button Escape presses; -1 none
  int32_t closeResult = 2;
};

// The windowed layer's message box, installed by ui/ when the engine starts: it shows the
// box as a dialog when the layer runs (or a display is in use) and returns the result, or
// -1 to leave the box to the console form.
using MessageBoxHook = int32_t (*)(State& s, const MessageBoxRequest& box);
void setMessageBoxHook(MessageBoxHook hook);

// MessageBox with the platform flags: the button set (low 4 bits) and the default button
// (bits 8 and 9). Returns the pressed button's code.
int32_t showMessageBox(State& s, std::string_view text, std::string_view caption, uint32_t flags);

// The message dialog: `kind` 0 warning, 1 error, 2 information, 3 confirmation, 4 custom;
// `buttons` bit by bit yes, no, OK, cancel, help, abort, retry, ignore, all (0: OK alone).
// Returns the modal result (mrOk 1 ... mrNo 7, mrAll 8; 2 when the dialog is closed).
int32_t showMessageDialog(State& s, std::string_view text, int32_t kind, int32_t buttons);

// The caption of ShowMessage and custom dialogs: the program's name without directory
// and extension.
std::string_view applicationTitle(const State& s);

}  // namespace tavrin
