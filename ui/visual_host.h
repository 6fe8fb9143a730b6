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
#define TAVRIN_VISUAL_ABI 1u

enum TavrinVisualStatus : int32_t {
  kVisualOk = 0,
  kVisualFailed = 1,        // the error text says why
  kVisualNoDisplay = 2,     // no display to open windows on, nor an offscreen platform asked for
  kVisualWrongVersion = 3,  // the tables of engine and layer differ
};

// The engine's functions, for the layer to call back. `context` is passed back to each.
struct TavrinVisualHost {
  uint32_t abi;   // TAVRIN_VISUAL_ABI of the engine
  uint32_t size;  // sizeof(TavrinVisualHost) of the engine
  void* context;
  // One diagnostic line (Qt's warnings), written to the run's standard error.
  void (*note)(void* context, const char* text);
};

// The layer's functions, filled in by the start entry.
struct TavrinVisualLayer {
  uint32_t abi;           // TAVRIN_VISUAL_ABI of the layer
  uint32_t size;          // sizeof(TavrinVisualLayer) of the layer
  const char* qtVersion;  // the Qt the layer runs on ("6.4.2"); valid until shutdown
  // Handles the events that are pending and returns at once.
  int32_t (*processEvents)();
  // Closes every window and ends Qt; the layer can be started again afterwards.
  int32_t (*shutdown)();
};

// The one exported entry: starts Qt's application object (QT_QPA_PLATFORM chooses the
// platform) and fills in `layer`. On failure it writes a NUL-terminated reason into
// `error` (at most errorSize bytes) and returns a status other than kVisualOk.
typedef int32_t (*TavrinVisualStart)(const TavrinVisualHost* host, TavrinVisualLayer* layer, char* error,
                                     size_t errorSize);
#define TAVRIN_VISUAL_START "tavrinVisualStart"

}  // extern "C"
