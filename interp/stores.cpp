// Value storage: the local frames of the call levels. The store operations live in
// values.cpp (scalars, variants), arrays.cpp, records.cpp and declare.cpp.
#include "interp/stores.h"

namespace tavrin {

void createLocalFrames(Stores& st, int64_t level) {
  auto& frames = st.frames;
  while (int64_t(frames.size()) < level) frames.push_back(std::make_unique<LocalFrame>());
}

}  // namespace tavrin
