// Procedures of the program handed to foreign code as callbacks. Each arity from 0 to 6
// has one C entry point, reached through a jump stub in an executable page below 2 GiB, so
// that its address fits a Long and a foreign function can call it with that many 32-bit
// arguments. A call runs every procedure registered for the arity, in registration order,
// through the protected entry; the last function result goes back truncated to 32 bits.
// Nothing is thrown into the foreign frames: an error is kept and raised by the external
// call once the foreign function has returned.
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrin {

struct State;
struct ExternalState;

inline constexpr int kMaxCallbackArity = 6;

// Registers the procedure at `target` (its length field) for callbacks of `arity`
// arguments and returns the arity's entry address. Error 201 for an arity outside 0..6.
uint32_t registerCallback(State& s, int64_t target, int arity);

// The entry address of an arity (the same for every registration), 0 when no page below
// 2 GiB could be had for the stubs.
uint32_t callbackEntryAddress(int arity);

// After a foreign call returns: raises what a callback left while it ran (a run-time
// error, with the callback named; the end statement; a limit). `call` names the external
// call for the message.
void raiseCallbackFailure(State& s, std::string_view call);

// A run's registrations end with its external-call service.
void forgetCallbacks(const ExternalState* owner);

}  // namespace tavrin
