// The statement and operand handlers named by the encoding tables. Each subsystem defines
// the handlers it owns; the ones not built yet are defined in interp/not_built.cpp and
// raise "not implemented yet".
#pragma once
#include "interp/evaluator.h"

namespace tavrin {

struct State;

#define LEAD(byte, cls, name, layout) void exec##name(State& s);
#include "interp/statements.def"
#undef LEAD
#define COMMAND(sub, name, layout) void exec##name(State& s);
#define COMMAND_NONE(sub)
#include "interp/commands.def"
#undef COMMAND
#undef COMMAND_NONE

// Operand handlers of the evaluator: each reads its fields and pushes one value.
#define OPERAND(tag, name, asmName, layout) void eval##name(State& s, EvalStack& e);
#include "interp/operands.def"
#undef OPERAND

// Built-in functions: each reads its own arguments and pushes exactly one result.
#define BUILTIN(code, name, layout) void fn##name(State& s, EvalStack& e);
#define BUILTIN_NONE(code)
#include "interp/builtins.def"
#undef BUILTIN
#undef BUILTIN_NONE

}  // namespace tavrin
