// Loading the windowed layer with dlopen and keeping it for the rest of the process (Qt's
// application object is one per process, and Qt's libraries do not unload cleanly).
#include "ui/visual_layer.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "interp/call_entry.h"
#include "interp/message_queue.h"
#include "interp/run.h"
#include "interp/state.h"
#include "lib/message_box.h"
#include "lib/sockets.h"
#include "runtime/engine.h"
#include "runtime/run_error.h"
#include "runtime/sandbox.h"
#include "ui/events.h"

#ifndef TAVRIN_VISUAL_INSTALL_DIR
#define TAVRIN_VISUAL_INSTALL_DIR "/usr/local/lib/tavrin"
#endif

namespace tavrin {
namespace {

struct Loaded {
  bool started = false;
  bool exiting = false;  // the process is ending from inside Qt's loop: Qt is left as it is
  void* handle = nullptr;
  TavrinVisualHost host{};
  TavrinVisualLayer layer{};
};
Loaded g_visual;
// A message box that tried to start the layer for a display and failed does not try again.
bool g_autoStartFailed = false;

void noteFromLayer(void* context, const char* text) {
  const auto* s = static_cast<const State*>(context);
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", s && !s->programName.empty() ? s->programName.c_str() : "tavrin", text);
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int32_t eventFromLayer(void* context, TavrinEvent* e) {
  auto* s = static_cast<State*>(context);
  if (!s || !e) return kVisualFailed;
  return dispatchLayerEvent(*s, *e);
}

void exitFromLayer(void* context, int32_t status) {
  auto* s = static_cast<State*>(context);
  if (!s) {
    std::fflush(nullptr);
    _exit(status);
  }
  endRunFromLayer(*s, status);
}

// Each posted message asks the layer for one delivery from inside Qt's loop, so messages
// reach their windows in a modal loop too, in order.
void wakeOnPost(State&) {
  if (g_visual.started && g_visual.layer.wake) g_visual.layer.wake();
}

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

bool environmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// The steps a driver script still holds, for a run that ended without starting the layer
// that carries out the steps: lines other than blanks and comments.
int scriptSteps(const std::string& path, std::string& first) {
  std::ifstream in(path);
  std::string line;
  int steps = 0;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    if (steps++ == 0) first = line.substr(start);
  }
  return steps;
}

std::string start(State& s) {
  std::vector<std::string> candidates = visualLayerCandidates();
  std::string path;
  for (const std::string& c : candidates) {
    if (exists(c)) {
      path = c;
      break;
    }
  }
  if (path.empty()) {
    std::string where;
    for (const std::string& c : candidates) where += (where.empty() ? "" : ", ") + c;
    return std::string("the windowed layer ") + kVisualLayerFile + " was not found (looked for " + where +
           "); it is built when Qt 6 Widgets (Debian package qt6-base-dev) is installed, or set TAVRIN_VISUAL "
           "to its path";
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return "cannot load the windowed layer " + path + ": " + (why ? why : "unknown reason") +
           " (it needs the Qt 6 Widgets libraries, Debian package libqt6widgets6)";
  }
  auto entry = reinterpret_cast<TavrinVisualStart>(dlsym(handle, TAVRIN_VISUAL_START));
  if (!entry) {
    dlclose(handle);
    return path + " is not a windowed layer of this engine (it has no " TAVRIN_VISUAL_START ")";
  }
  g_visual.host = TavrinVisualHost{TAVRIN_VISUAL_ABI,
                                   uint32_t(sizeof(TavrinVisualHost)),
                                   &s,
                                   &noteFromLayer,
                                   &eventFromLayer,
                                   &exitFromLayer,
                                   s.driveScript.empty() ? nullptr : s.driveScript.c_str()};
  char error[512] = {};
  g_visual.layer = {};
  int32_t status = entry(&g_visual.host, &g_visual.layer, error, sizeof error);
  error[sizeof error - 1] = 0;
  const TavrinVisualLayer& l = g_visual.layer;
  if (status == kVisualOk && (l.abi != TAVRIN_VISUAL_ABI || l.size < sizeof(TavrinVisualLayer) ||
                              !l.processEvents || !l.shutdown || !l.qtVersion || !l.createPeer ||
                              !l.setParent || !l.setOwner || !l.setGeometry || !l.setInt || !l.setText ||
                              !l.setPicture || !l.runModal || !l.endModal || !l.moveByMouse || !l.wake ||
                              !l.cursorPos || !l.messageBox || !l.finishDrive)) {
    if (g_visual.layer.shutdown) g_visual.layer.shutdown();
    status = kVisualWrongVersion;
  }
  if (status != kVisualOk) {
    // The layer stays mapped: it may have started Qt threads before it failed.
    if (status == kVisualWrongVersion) return path + " was built for another version of this engine";
    return "the windowed layer " + path + " could not start: " + (error[0] ? error : "no reason given");
  }
  g_visual.handle = handle;
  return {};
}

// The run the layer reports to: its events, posted messages and socket notifications.
void adopt(State& s) {
  g_visual.host.context = &s;
  g_visual.host.driveScript = s.driveScript.empty() ? nullptr : s.driveScript.c_str();
  s.core.messages.posted = &wakeOnPost;
  socketService(s).formWindow = &formWindowHandle;
}

}  // namespace

std::vector<std::string> visualLayerCandidates() {
  if (const char* env = std::getenv("TAVRIN_VISUAL"); env && *env) return {env};
  std::vector<std::string> out;
  std::string self = ownExecutablePath();
  if (!self.empty()) {
    std::string dir = directoryOf(self);
    out.push_back(dir + "/" + kVisualLayerFile);
    out.push_back(dir + "/../lib/tavrin/" + kVisualLayerFile);
  }
  std::string installed = std::string(TAVRIN_VISUAL_INSTALL_DIR) + "/" + kVisualLayerFile;
  if (out.empty() || (out[1] != installed && out[0] != installed)) out.push_back(installed);
  return out;
}

const TavrinVisualLayer& visualLayer(State& s) {
  if (g_visual.started) [[likely]] {
    if (g_visual.host.context != &s) [[unlikely]]
      adopt(s);  // another run in this process (the tests)
    return g_visual.layer;
  }
  if (s.sandbox) sandboxRefuse("the windowed layer");
  // A failure is not kept: the next visual need looks again (the file may have appeared).
  std::string failure = start(s);
  if (!failure.empty()) raise(ErrorNumber::Unhandled, failure);
  g_visual.started = true;
  g_visual.exiting = false;
  adopt(s);
  return g_visual.layer;
}

bool visualLayerStarted() { return g_visual.started; }

const TavrinVisualLayer* startedVisualLayer() { return g_visual.started ? &g_visual.layer : nullptr; }

void endRunFromLayer(State& s, int status) {
  std::fflush(stdout);
  g_visual.exiting = true;
  try {
    endServices(s);
  } catch (...) {
    // The end steps do not raise; nothing may keep the process from ending.
  }
  // Bytes a file refused at the end are reported, and their error is the status.
  if (s.endFailure) {
    reportRunError(s, *s.endFailure);
    if (status == 0) status = errorExitStatus(*s.endFailure);
  }
  // Qt is not ended from inside its loop, but the driver still reports the steps left.
  if (g_visual.started && g_visual.layer.finishDrive() == kVisualDriveLeft && status == 0) status = TAVRIN_DRIVE_LEFT;
  std::fflush(nullptr);
  _exit(status);
}

void visualLayerPump(State&) {
  if (g_visual.started) g_visual.layer.processEvents();
}

void visualLayerEnd(State& s) {
  if (!g_visual.started) {
    std::string first;
    if (!s.driveScript.empty()) {
      if (int left = scriptSteps(s.driveScript, first); left > 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: drive %s: the program ended without a window; %d step%s left (next: %s)\n",
                     s.programName.c_str(), s.driveScript.c_str(), left, left == 1 ? "" : "s", first.c_str());
        s.endStatus = TAVRIN_DRIVE_LEFT;
      }
    }
    return;
  }
  if (g_visual.exiting) return;
  closeVisualObjects(s);  // modal loops end, windows close, peers go before Qt does
  s.core.messages.posted = nullptr;
  if (g_visual.layer.shutdown() == kVisualDriveLeft) s.endStatus = TAVRIN_DRIVE_LEFT;
  g_visual.started = false;  // a later run in this process starts it again
  g_visual.host.context = nullptr;
}

bool displayInUse() {
  return environmentSet("QT_QPA_PLATFORM") || environmentSet("DISPLAY") || environmentSet("WAYLAND_DISPLAY");
}

int32_t visualMessageBox(State& s, const MessageBoxRequest& box) {
  if (!g_visual.started) {
    // With a display a message box is a dialog even before the program's first form.
    if (g_autoStartFailed || s.sandbox || !displayInUse()) return -1;
    try {
      visualLayer(s);
    } catch (const RunError&) {
      g_autoStartFailed = true;
      return -1;
    }
  }
  std::string caption(box.caption), text(box.text);
  std::vector<TavrinMessageButton> buttons;
  buttons.reserve(box.buttons.size());
  for (const MessageBoxButton& b : box.buttons) buttons.push_back({b.label, b.result});
  TavrinMessageBox shown{caption.c_str(), text.c_str(), box.icon, buttons.data(), int32_t(buttons.size()),
                         box.defaultIndex, box.cancelIndex, box.closeResult};
  return g_visual.layer.messageBox(&shown);
}

void visualLayerServiceStart(State&) { setMessageBoxHook(&visualMessageBox); }

}  // namespace tavrin
