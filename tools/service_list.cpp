// The engine's services, in start order; they end in reverse order. This is the one place
// that names them all: a new service adds its row here and nowhere else in the core.
#include "tools/service_list.h"

#include <iterator>

#include "lib/console.h"
#include "lib/printer.h"
#include "lib/process.h"
#include "lib/sockets.h"
#include "lib/streams.h"
#include "lib/sound.h"
#include "ui/visual_layer.h"

namespace tavrin {
namespace {

// name, start, pump, close, end, signal
constexpr ServiceSteps kEngineServices[] = {
    // A write error of buffered output at the normal end still ends in error 101; every way
    // out gives the terminal back, a signal too.
    {"console", nullptr, nullptr, consoleFlush, consoleEnd, consoleEndFromSignal},
    // What the program wrote to file streams reaches the files at each pump and every way
    // out; a write the file refuses at the normal end is error 101.
    {"files", nullptr, fileWritesPump, fileWritesClose, fileWritesEnd, fileWritesFromSignal},
    // An open printer document ends with the run (it flushes the console first).
    {"printer", nullptr, nullptr, printerClose, nullptr, nullptr},
    // Children started without waiting are reaped at each pump, so none is left a zombie.
    {"processes", nullptr, reapDetached, nullptr, nullptr, nullptr},
    // Readiness of the program's sockets reaches their forms' windows at each pump.
    {"sockets", nullptr, pumpSocketNotifications, nullptr, nullptr, nullptr},
    // Every way out stops the playing sound and joins the playback thread.
    {"sound", nullptr, nullptr, nullptr, soundEnd, nullptr},
    // The windowed layer, when a program started it: message boxes are its dialogs, its
    // events are handled at each pump; at the end its windows close and Qt ends.
    {"visual", visualLayerServiceStart, visualLayerPump, nullptr, visualLayerEnd, nullptr},
};

}  // namespace

ServiceList engineServices() { return {kEngineServices, std::size(kEngineServices)}; }

}  // namespace tavrin
