// The engine's message queue.
#include "interp/message_queue.h"

#include <algorithm>

#include "interp/run.h"
#include "interp/state.h"

namespace tavrin {
namespace {

const MessageQueue::Window* findWindow(const State& s, uint32_t handle) {
  for (const auto& w : s.core.messages.windows)
    if (w.handle == handle) return &w;
  return nullptr;
}

}  // namespace

uint32_t newWindowHandle(State& s) {
  uint32_t h = s.core.messages.nextHandle;
  s.core.messages.nextHandle += 4;
  return h;
}

void registerWindow(State& s, uint32_t handle, WindowProc proc, void* context) {
  unregisterWindow(s, handle);
  s.core.messages.windows.push_back({handle, proc, context});
}

void unregisterWindow(State& s, uint32_t handle) {
  auto& q = s.core.messages;
  std::erase_if(q.windows, [&](const MessageQueue::Window& w) { return w.handle == handle; });
  std::erase_if(q.pending, [&](const WindowMessage& m) { return m.window == handle; });
}

bool windowExists(const State& s, uint32_t handle) { return findWindow(s, handle) != nullptr; }

int32_t sendMessage(State& s, const WindowMessage& message) {
  const MessageQueue::Window* w = findWindow(s, message.window);
  if (!w) return 0;
  MessageQueue::Window target = *w;  // the procedure may register or remove windows
  return target.proc(s, target.context, message);
}

bool postMessage(State& s, const WindowMessage& message) {
  if (!findWindow(s, message.window)) return false;
  s.core.messages.pending.push_back(message);
  if (s.core.messages.posted) s.core.messages.posted(s);
  return true;
}

void processMessages(State& s) {
  // The services deliver what arrived: children reaped, socket readiness, the windowed
  // layer's events.
  pumpServices(s);
  deliverPending(s);
}

void deliverPending(State& s) {
  auto& q = s.core.messages;
  while (!q.pending.empty()) {
    WindowMessage m = q.pending.front();
    q.pending.pop_front();
    sendMessage(s, m);  // a window removed meanwhile drops its message here
  }
}

bool removeMessage(State& s, uint32_t window, uint32_t message) {
  auto& q = s.core.messages;
  auto it = std::find_if(q.pending.begin(), q.pending.end(),
                         [&](const WindowMessage& m) { return m.window == window && m.message == message; });
  if (it == q.pending.end()) return false;
  WindowMessage removed = *it;
  q.pending.erase(it);
  if (removed.message == kWmQuit) q.pending.push_back(removed);
  return true;
}

}  // namespace tavrin
