// Value storage: the local frames of the call levels. The store operations live in
// values.cpp (scalars, variants), arrays.cpp, records.cpp and declare.cpp.
#include "interp/stores.h"

#include "runtime/state.h"

namespace tavrin {

[[gnu::cold]] static void createLocalFrames(State& s) {
  auto& frames = s.stores.frames;
  while (int64_t(frames.size()) < s.calls.level) frames.push_back(std::make_unique<LocalFrame>());
}

void prepareLocalFrames(State& s) {
  if (s.calls.level <= int64_t(s.stores.frames.size())) [[likely]]
    return;
  createLocalFrames(s);
}

}  // namespace tavrin
