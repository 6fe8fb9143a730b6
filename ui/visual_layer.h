// The engine's side of the windowed layer: finding and loading the shared object at the
// first visual need, and ending it with the run. Console programs never reach this, so
// they map no Qt library.
#pragma once
#include <string>
#include <vector>

#include "ui/visual_host.h"

namespace tavrin {

struct State;

// The layer's file name, looked for (in this order) at $TAVRIN_VISUAL alone when that is
// set, else next to the running executable, in ../lib/tavrin beside it, and in the install
// prefix's lib/tavrin.
inline constexpr const char* kVisualLayerFile = "tavrin-visual.so";
std::vector<std::string> visualLayerCandidates();

// The started layer; loads and starts it on the first call. A layer that cannot be found,
// loaded or started is a run-time error (217) naming the file and what is missing. Refused
// in the sandbox.
const TavrinVisualLayer& visualLayer(State& s);
// Whether the layer has been started in this process.
bool visualLayerStarted();
// The service's start step: message boxes become the layer's dialogs when it runs (or when a
// display is in use, which starts it).
void visualLayerServiceStart(State& s);
// Whether a display (or a Qt platform) is there for windows: QT_QPA_PLATFORM, DISPLAY or
// WAYLAND_DISPLAY is set.
bool displayInUse();
// The started layer, or nullptr: objects made before (or without) it have no peers.
const TavrinVisualLayer* startedVisualLayer();
// Every way out of a run from inside the layer's loop (the end statement or a limit in a
// handler, the driver's time-out): flushes the output, runs the services' end steps (Qt
// itself is not ended from inside its own loop) and ends the process with `status`.
[[noreturn]] void endRunFromLayer(State& s, int status);
// The service's pump step: a started layer handles its pending events.
void visualLayerPump(State& s);
// The service's end step: a started layer closes its windows and ends Qt.
void visualLayerEnd(State& s);

}  // namespace tavrin
