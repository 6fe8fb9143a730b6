// The one run-time error type of the engine, and the cold functions that raise it.
// The dispatcher fills in the statement position as the error leaves the innermost
// activation, so services never pass positions around.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

enum class ErrorNumber : int {
#define RUN_ERROR(number, name, message) name = number,
#include "runtime/errors.def"
#undef RUN_ERROR
};

// What went wrong, for the report and for tests; the number is what the program sees.
enum class ErrorKind : uint8_t {
  Runtime,        // arithmetic, conversion, range: the platform's own errors
  InputOutput,    // files, directories, standard streams
  ByteCode,       // malformed image or statement
  NotImplemented, // a statement or operand whose service is not built yet
  Limit,          // a user-set bound (steps, memory) or the host stack
};

inline constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

struct RunError {
  ErrorKind kind;
  int number;
  std::string message;
  uint32_t position = kNoPosition;  // code position of the failing statement
};

// The default message of an error number ("Division by zero"); empty when unknown.
std::string_view errorMessage(ErrorNumber number);

[[noreturn, gnu::cold]] void raise(ErrorNumber number);
[[noreturn, gnu::cold]] void raise(ErrorNumber number, std::string message);
[[noreturn, gnu::cold]] void raiseIo(ErrorNumber number, std::string message);
[[noreturn, gnu::cold]] void raiseByteCode(std::string message);
[[noreturn, gnu::cold]] void raiseLimit(ErrorNumber number, std::string message);
// "not implemented yet: built-in function EventCoordinate1" (the position is added by the report).
[[noreturn, gnu::cold]] void raiseNotImplemented(std::string_view what);

// The one-line report: "run-time error 200 at 0x01A4: Division by zero".
std::string formatError(const RunError& error);

}  // namespace tavrin
