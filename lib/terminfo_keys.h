// Key sequences from the terminal's terminfo entry, beside the built-in ones, so that a
// terminal whose TERM names sequences of its own still gives its keys.
#pragma once

namespace tavrin {

// Reads the entry of $TERM through the system's terminfo library, loaded at run time
// (a machine without it keeps the built-in sequences); once per process. The number of
// sequences added.
int loadTerminfoKeys();

}  // namespace tavrin
