// Tavrin's own versions of the Windows library functions old programs call. A call that
// names kernel32, user32, shell32, winmm or advapi32 (with or without ".dll", in any case)
// is served from these tables; a function a table lacks is a missing export. Every
// function receives its arguments with their type codes and, for texts, the call's private
// copy and its room, so it never writes past a buffer; memory named by an address must lie
// in what the engine handed out (run-time error 216 otherwise).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrin {

struct State;

namespace win32 {

// Whether two names are equal with ASCII letters folded (library, section and key names).
bool sameNoCase(std::string_view a, std::string_view b);

// One argument as the call passes it.
struct Arg {
  uint8_t type = 3;      // the argument's type code
  bool isText = false;   // a text (type 0): `text`, `length` and `room` are set
  double number = 0.0;   // the expression's number
  int64_t value = 0;     // the integer passed (rounded and narrowed by the type; a record's address)
  char* text = nullptr;  // the private NUL-terminated copy of a text
  size_t length = 0;     // the text's length
  size_t room = 0;       // bytes that may be written at `text`, the NUL included
};

class Call {
public:
  Call(State& s, std::string_view function, std::span<Arg> args) : m_s(s), m_function(function), m_args(args) {}

  State& state() const { return m_s; }
  std::string_view function() const { return m_function; }
  int count() const { return int(m_args.size()); }
  // Argument i (from 0); a missing one reads as the number 0.
  const Arg& arg(int i) const;
  int32_t i32(int i) const { return int32_t(arg(i).value); }
  uint32_t u32(int i) const { return uint32_t(arg(i).value); }

  // A text the function reads: a text argument up to its first NUL, or the NUL-terminated
  // text at the address a number gives; nullopt for the address 0.
  std::optional<std::string_view> text(int i) const;
  std::string textOr(int i, std::string_view otherwise) const;
  // `size` bytes the function writes (or reads) at argument i: a text's copy, or an address
  // inside the engine's memory. Error 216 when they do not fit there; the address 0 gives
  // nullptr when `optional`.
  uint8_t* memory(int i, size_t size, bool optional = false) const;
  // A buffer the function fills with a NUL-terminated text, `room` bytes as the program
  // says (never more than the text argument's own room): writes at most room - 1
  // characters and the NUL, returns how many characters it wrote.
  size_t putText(int i, std::string_view value, size_t room) const;
  // The DWORD at argument i's address (or in its text); read and written checked.
  uint32_t readDword(int i) const;
  void writeDword(int i, uint32_t v) const;

  // The thread's last error, as GetLastError reads it.
  void setLastError(uint32_t code) const;

private:
  State& m_s;
  std::string_view m_function;
  std::span<Arg> m_args;
};

// A function returns what the processor's result register would hold: an integer, or a
// pointer (to a text for result type 0) that stays valid until the call has converted it.
using Function = int64_t (*)(Call&);

struct Export {
  std::string_view name;
  Function function;
};

struct Library {
  std::string_view name;  // lower case, without ".dll"
  std::span<const Export> exports;
};

// The library a program's name stands for ("KERNEL32.DLL", "kernel32", "C:\...\User32.dll"),
// or nullptr when Tavrin provides none of that name.
const Library* findLibrary(std::string_view name);
// An exported name (compared exactly, as the platform does); nullptr when not provided.
Function findExport(const Library& library, std::string_view name);
// Every library provided, for the listing command.
std::span<const Library* const> libraries();

// The C run-time's library names ("msvcrt", "crtdll", "msvcr71", ...): served by the host's
// C library.
bool isRuntimeLibraryName(std::string_view name);

// The tables of the separate modules.
std::span<const Export> kernel32Exports();
std::span<const Export> user32Exports();
std::span<const Export> shell32Exports();
std::span<const Export> winmmExports();
std::span<const Export> advapi32Exports();

// Common Windows error codes the functions set.
namespace err {
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kInsufficientBuffer = 122;
constexpr uint32_t kFileExists = 80;
constexpr uint32_t kAlreadyExists = 183;
constexpr uint32_t kEnvVarNotFound = 203;
constexpr uint32_t kDirNotEmpty = 145;
constexpr uint32_t kBufferOverflow = 111;
}  // namespace err

// errno as the closest Windows error code.
uint32_t errorFromErrno(int e);

// The system's directories as the functions name them: host paths under drive C's
// directory ("<drive c>/WINDOWS", ".../WINDOWS/SYSTEM32"), created on first use.
std::string windowsDirectory();
std::string systemDirectory();

}  // namespace win32
}  // namespace tavrin
