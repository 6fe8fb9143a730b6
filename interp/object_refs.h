// What calls need of the object layer: reference parameters that name objects (kinds 30
// and above) and elements of object arrays. The object layer defines these; until it
// exists, interp/object_refs.cpp raises "not implemented yet".
#pragma once
#include <cstdint>

namespace tavrin {

struct State;
struct EvalStack;

// The instance number of an element of the object array `array` of `type`, from the
// subscripts that follow in the code.
int32_t objectElementNumber(State& s, uint8_t type, uint16_t array);
// Reads property `property` of instance `instance` of `type` and pushes it.
void readObjectParameter(State& s, EvalStack& e, uint8_t type, uint16_t instance, uint8_t property);
// Carries out the member statement that follows in the code on the instance.
void assignObjectParameter(State& s, uint8_t type, uint16_t instance);

}  // namespace tavrin
