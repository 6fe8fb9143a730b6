// Message boxes and message dialogs of a console run: the caption and the text go to
// stderr; when standard input is a terminal the user answers with a key, otherwise the
// default button is the answer. Result codes are the platform's (IDOK 1 ... IDNO 7).
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrin {

struct State;

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
