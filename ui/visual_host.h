// The boundary between the engine and its windowed layer, a shared object built against
// Qt (ui/tavrin32, ui/controls) and loaded at the first visual need. Only plain structs and
// function pointers cross it, nothing throws across it in either direction, and every entry
// point returns a status. The engine hands the layer a table of host functions; the layer
// fills in a table of its own.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

// Raised whenever a table changes its layout or meaning: the engine refuses a layer built
// for another version.
#define TAVRIN_VISUAL_ABI 2u

enum TavrinVisualStatus : int32_t {
  kVisualOk = 0,
  kVisualFailed = 1,        // the error text says why
  kVisualNoDisplay = 2,     // no display to open windows on, nor an offscreen platform asked for
  kVisualWrongVersion = 3,  // the tables of engine and layer differ
  kVisualDriveLeft = 4,     // shutdown: the driver script still had steps (reported on stderr)
};

// Exit status of a run whose driver script failed: a step timed out, named a component that
// does not exist or could not be carried out (docs/driver.md).
#define TAVRIN_DRIVE_FAILED 120
// Exit status of a run that ended with steps of its driver script left.
#define TAVRIN_DRIVE_LEFT 121

// One button of a message box: its label (ASCII) and the result the box returns for it
// (0: the Help button, which does not close the box).
struct TavrinMessageButton {
  const char* label;
  int32_t result;
};

// A message box or message dialog. Texts are the program's bytes (Windows-1252).
struct TavrinMessageBox {
  const char* caption;
  const char* text;
  int32_t icon;  // 0 none, 1 question, 2 warning, 3 information, 4 error
  const TavrinMessageButton* buttons;
  int32_t buttonCount;
  int32_t defaultIndex;  // into buttons; -1 none
  int32_t escapeIndex;   // the button Escape presses; -1: Escape does nothing
  int32_t closeResult;   // what closing the box another way gives
};

// The engine's functions, for the layer to call back. `context` is passed back to each.
struct TavrinVisualHost {
  uint32_t abi;   // TAVRIN_VISUAL_ABI of the engine
  uint32_t size;  // sizeof(TavrinVisualHost) of the engine
  void* context;
  // One diagnostic line (Qt's warnings), written to the run's standard error.
  void (*note)(void* context, const char* text);
  // Ends the process at once with `status`: the program's output flushed and every
  // service's end step run. Never returns.
  void (*exitRun)(void* context, int32_t status);
  // The driver script to run (tavrin run --drive, TAVRIN_DRIVE); null when none drives the run.
  const char* driveScript;
};

// The layer's functions, filled in by the start entry.
struct TavrinVisualLayer {
  uint32_t abi;           // TAVRIN_VISUAL_ABI of the layer
  uint32_t size;          // sizeof(TavrinVisualLayer) of the layer
  const char* qtVersion;  // the Qt the layer runs on ("6.4.2"); valid until shutdown
  // Handles the events that are pending and returns at once.
  int32_t (*processEvents)();
  // Closes every window and ends Qt; the layer can be started again afterwards. Returns
  // kVisualDriveLeft when the driver script had steps left.
  int32_t (*shutdown)();
  // Shows the message box modally (events, timers and socket notifications go on being
  // delivered while it is open) and returns the pressed button's result, or -1 when it
  // could not be shown.
  int32_t (*messageBox)(const TavrinMessageBox* box);
};

// The one exported entry: starts Qt's application object (QT_QPA_PLATFORM chooses the
// platform) and fills in `layer`. On failure it writes a NUL-terminated reason into
// `error` (at most errorSize bytes) and returns a status other than kVisualOk.
typedef int32_t (*TavrinVisualStart)(const TavrinVisualHost* host, TavrinVisualLayer* layer, char* error,
                                     size_t errorSize);
#define TAVRIN_VISUAL_START "tavrinVisualStart"

}  // extern "C"
