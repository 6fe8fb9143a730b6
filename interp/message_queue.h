// The engine's one message queue: window messages posted by the program (and later socket
// notifications and timers), delivered only inside the calls that pump it. A window is a
// handle registered by the service that owns it; a console run has none of its own, so
// messages for windows that do not exist are dropped.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

namespace tavrin {

struct State;

inline constexpr uint32_t kWmQuit = 18;

struct WindowMessage {
  uint32_t window = 0;
  uint32_t message = 0;
  int32_t wParam = 0;
  int32_t lParam = 0;
};

// A window's procedure: handles one message and returns its result.
using WindowProc = int32_t (*)(State& s, void* context, const WindowMessage& message);

struct MessageQueue {
  struct Window {
    uint32_t handle;
    WindowProc proc;
    void* context;
  };
  std::deque<WindowMessage> pending;
  std::vector<Window> windows;
  uint32_t nextHandle = 0x00010000;  // handles handed out by newWindowHandle, step 4
  // Told of every message queued (the windowed layer asks its loop for a delivery).
  void (*posted)(State& s) = nullptr;
};
// Delivers the messages queued so far, in order, without pumping the services.
void deliverPending(State& s);

uint32_t newWindowHandle(State& s);
void registerWindow(State& s, uint32_t handle, WindowProc proc, void* context);
void unregisterWindow(State& s, uint32_t handle);  // its pending messages go too
bool windowExists(const State& s, uint32_t handle);

// Delivers at once; 0 when the window does not exist.
int32_t sendMessage(State& s, const WindowMessage& message);
// Queues for the next pump; false (dropped) when the window does not exist.
bool postMessage(State& s, const WindowMessage& message);
// Delivers every pending message, including those posted while it runs.
void processMessages(State& s);
// Removes the first pending message of that number for that window; a quit request that
// is removed is posted again. True when one was removed.
bool removeMessage(State& s, uint32_t window, uint32_t message);

}  // namespace tavrin
