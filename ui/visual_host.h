// The boundary between the engine and its windowed layer, a shared object built against
// Qt (ui/tavrin32, ui/controls) and loaded at the first visual need. Only plain structs and
// function pointers cross it, nothing throws across it in either direction, and every entry
// point returns a status. The engine hands the layer a table of host functions; the layer
// fills in a table of its own.
//
// The model of every program object (geometry, captions, flags, handler positions) lives in
// the engine; the layer keeps one peer per object (a widget, a timer) that shows it. The
// engine tells a peer what changed through the layer's table; the layer reports what the
// user did (clicks, keys, moves, resizes, closes, ticks) through the host's `event`, and the
// engine runs the program's handlers from there.
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

// What a peer is made for: the program object's type code (30 otForm, 32 otButton,
// 49 otTimer, ...) chooses the widget.
typedef void* TavrinPeer;

// Numeric attributes of a peer (setInt).
enum TavrinAttr : int32_t {
  kAttrVisible = 0,      // 0 hidden, else shown (a form: shown as a window, not modal)
  kAttrEnabled = 1,
  kAttrColor = 2,        // 0x00BBGGRR; the layer resolves system colours (high bit set)
  kAttrCursor = 3,       // the framework's cursor numbers (0 default, -2 arrow, -4 I-beam ...)
  kAttrShowHint = 4,     // the tool tip shows the hint text when set
  kAttrWindowState = 5,  // forms: 0 normal, 1 minimised, 2 maximised
  kAttrBorderStyle = 6,  // forms: 0 none, 1 single, 2 sizeable, 3 dialog, 4 tool window, 5 sizeable tool window
  kAttrBorderIcons = 7,  // forms: bit 0 system menu, 1 minimise, 2 maximise, 3 help
  kAttrCaptionBar = 8,   // forms: 0 no caption bar
  kAttrDefault = 9,      // buttons: Enter on the form clicks it
  kAttrCancel = 10,      // buttons: Escape on the form clicks it
  kAttrInterval = 11,    // timers: milliseconds; 0 stops
  kAttrTimerOn = 12,     // timers: 0 stopped, else ticking (only inside pumps)
  kAttrCenter = 13,      // forms: the value is ignored; centre on the screen
  kAttrKeyPreview = 14,  // forms: the form sees its controls' keys first
};

// Text attributes of a peer (setText); texts are the program's bytes (Windows-1252).
enum TavrinTextAttr : int32_t {
  kTextCaption = 0,
  kTextHint = 1,
  kTextIconFile = 2,   // forms: the icon from a picture file; empty: the default icon
  kTextGlyphFile = 3,  // buttons: the glyph from a picture file; empty: none
};

// Picture attributes from bytes in memory (setPicture): resource records of the image.
enum TavrinPictureAttr : int32_t {
  kPictureIcon = 0,   // forms
  kPictureGlyph = 1,  // buttons
};

// What the layer reports (TavrinEvent.kind). The parameters follow the program's handler
// conventions: coordinates in the object's client area, shift codes 256 Shift + 16 Alt +
// 1 Ctrl, mouse buttons 0 left, 1 right, 2 middle, virtual key codes of the platform.
enum TavrinEventKind : int32_t {
  kEventClick = 0,      // a button was pressed, a form clicked
  kEventMouseDown = 1,  // p0 button, p1 x, p2 y, p3 shift
  kEventMouseUp = 2,    // as kEventMouseDown
  kEventMouseMove = 3,  // p0 x, p1 y, p2 shift
  kEventKeyDown = 4,    // p0 virtual key, p1 shift
  kEventKeyUp = 5,      // as kEventKeyDown
  kEventKeyPress = 6,   // p0 the character (0..255)
  kEventClose = 7,      // the user asked to close a form; result: nonzero when it may close
  kEventResized = 8,    // the user resized a form: p0 client width, p1 client height
  kEventMoved = 9,      // the user moved an object: p0 left, p1 top (outer, in the parent)
  kEventTimer = 10,     // a timer ticked
  kEventPaint = 11,     // an object was exposed (reported after painting, never inside it)
  kEventDeliver = 12,   // a wake-up: deliver the engine's queued messages
  kEventPoll = 13,      // a pump is idle: the engine polls its other sources (sockets)
  kEventDoubleClick = 14,
  kEventActivate = 15,  // a form became active (p0 1) or inactive (p0 0)
};

struct TavrinEvent {
  int32_t type;      // the object's type code (0 for kEventDeliver and kEventPoll)
  int32_t instance;  // the object's instance number
  int32_t kind;      // TavrinEventKind
  int32_t param[6];
  int32_t result;    // written back by the engine (kEventClose: nonzero lets the form close)
};

// The engine's functions, for the layer to call back. `context` is passed back to each.
struct TavrinVisualHost {
  uint32_t abi;   // TAVRIN_VISUAL_ABI of the engine
  uint32_t size;  // sizeof(TavrinVisualHost) of the engine
  void* context;
  // One diagnostic line (Qt's warnings), written to the run's standard error.
  void (*note)(void* context, const char* text);
  // A framework event: the engine runs the program's handler (which may pump again) and
  // writes results back into the struct. Returns kVisualOk, or kVisualFailed when the
  // object does not exist. Never throws; an end statement or a limit inside the handler
  // ends the process from inside this call.
  int32_t (*event)(void* context, TavrinEvent* e);
  // Flushes every output, runs the services' end steps and ends the process with
  // `status`. Does not return.
  void (*exitRun)(void* context, int32_t status);
  // The script of `tavrin run --drive SCRIPT`; null when the run has no driver.
  const char* driveScript;
};

// The layer's functions, filled in by the start entry. A peer function given a null peer
// does nothing and returns kVisualFailed.
struct TavrinVisualLayer {
  uint32_t abi;           // TAVRIN_VISUAL_ABI of the layer
  uint32_t size;          // sizeof(TavrinVisualLayer) of the layer
  const char* qtVersion;  // the Qt the layer runs on ("6.4.2"); valid until shutdown
  // Handles the events that are pending and returns at once.
  int32_t (*processEvents)();
  // Closes every window and ends Qt; the layer can be started again afterwards. Returns
  // kVisualDriveLeft when the driver script had steps left.
  int32_t (*shutdown)();

  // A peer for the object (type code, the type's name as the program's tables spell it,
  // instance number); null when the type has no peer. Widgets are named
  // "<typeName>:<instance>" and carry the dynamic properties tavrinType and tavrinInstance.
  TavrinPeer (*createPeer)(int32_t type, const char* typeName, int32_t instance);
  // Puts a control on a container (a form); a null parent takes it off.
  int32_t (*setParent)(TavrinPeer peer, TavrinPeer parent);
  // Forms: the owner window (kept in front of it); null: none.
  int32_t (*setOwner)(TavrinPeer peer, TavrinPeer owner);
  // Where the object's client area goes: a form's client rectangle on the screen, a
  // control's rectangle in its parent's client area.
  int32_t (*setGeometry)(TavrinPeer peer, int32_t x, int32_t y, int32_t width, int32_t height);
  int32_t (*setInt)(TavrinPeer peer, int32_t attr, int32_t value);
  int32_t (*setText)(TavrinPeer peer, int32_t attr, const char* bytes, size_t length);
  // A picture from the bytes of a picture file (BMP, PNG, ICO, ...); 0 bytes: none.
  int32_t (*setPicture)(TavrinPeer peer, int32_t attr, const uint8_t* bytes, size_t length);
  // Shows a form and runs a nested event loop until endModal is called for it (the
  // engine calls it when the modal result is set, the form closes or the run ends).
  int32_t (*runModal)(TavrinPeer peer);
  int32_t (*endModal)(TavrinPeer peer);
  // Buttons: the user drags the control with the mouse until the button is released.
  int32_t (*moveByMouse)(TavrinPeer peer);
  // Asks for one kEventDeliver from inside Qt's loop (one per call, in order).
  int32_t (*wake)();
  // The pointer's position on the screen.
  int32_t (*cursorPos)(int32_t* x, int32_t* y);

  // Shows the message box modally (events, timers, posted messages and socket notifications
  // go on being delivered while it is open) and returns the pressed button's result, or -1
  // when it could not be shown.
  int32_t (*messageBox)(const TavrinMessageBox* box);
  // The run ends from inside Qt's loop (exitRun): the driver reports the steps it has left
  // and returns kVisualDriveLeft, else kVisualOk. Qt keeps running.
  int32_t (*finishDrive)();
};

// The one exported entry: starts Qt's application object (QT_QPA_PLATFORM chooses the
// platform) and fills in `layer`. On failure it writes a NUL-terminated reason into
// `error` (at most errorSize bytes) and returns a status other than kVisualOk.
typedef int32_t (*TavrinVisualStart)(const TavrinVisualHost* host, TavrinVisualLayer* layer, char* error,
                                     size_t errorSize);
#define TAVRIN_VISUAL_START "tavrinVisualStart"

}  // extern "C"
