// Raising and reporting run-time errors.
#include "runtime/run_error.h"

#include <cstdio>

namespace tavrin {

std::string_view errorMessage(ErrorNumber number) {
  switch (number) {
#define RUN_ERROR(n, name, message) \
  case ErrorNumber::name:           \
    return message;
#include "runtime/errors.def"
#undef RUN_ERROR
  }
  return {};
}

void raise(ErrorNumber number) {
  throw RunError{ErrorKind::Runtime, int(number), std::string(errorMessage(number))};
}

void raise(ErrorNumber number, std::string message) {
  throw RunError{ErrorKind::Runtime, int(number), std::move(message)};
}

void raiseIo(ErrorNumber number, std::string message) {
  throw RunError{ErrorKind::InputOutput, int(number), std::move(message)};
}

void raiseByteCode(std::string message) {
  throw RunError{ErrorKind::ByteCode, int(ErrorNumber::Unhandled), "invalid byte code: " + std::move(message)};
}

void raiseLimit(ErrorNumber number, std::string message) {
  throw RunError{ErrorKind::Limit, int(number), std::move(message)};
}

void raiseNotImplemented(std::string_view what) {
  throw RunError{ErrorKind::NotImplemented, int(ErrorNumber::Unhandled),
                 "not implemented yet: " + std::string(what)};
}

std::string formatError(const RunError& error) {
  char head[64];
  if (error.position == kNoPosition)
    std::snprintf(head, sizeof head, "run-time error %d: ", error.number);
  else
    std::snprintf(head, sizeof head, "run-time error %d at 0x%04X: ", error.number, error.position);
  return head + error.message;
}

}  // namespace tavrin
