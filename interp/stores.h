// Global and local value storage: scalar stores per type, array stores and descriptors,
// fixed strings, variant cells, records and local frames.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "interp/byte_store.h"

namespace tavrin {

struct Stores {
};

struct State;
// Makes sure a local frame exists for every call level up to the current one.
void prepareLocalFrames(State& s);

}  // namespace tavrin
