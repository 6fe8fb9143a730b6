// The stand-in library's tables and the argument helpers its functions share.
#include "lib/win32/standin.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "interp/convert.h"
#include "lib/external.h"
#include "lib/paths.h"
#include "runtime/low_memory.h"
#include "runtime/run_error.h"

namespace tavrin::win32 {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// A program's library name without directory and ".dll".
std::string_view baseName(std::string_view name) {
  if (size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (name.size() >= 4 && sameNoCase(name.substr(name.size() - 4), ".dll")) name.remove_suffix(4);
  return name;
}

[[noreturn]] void outsideMemory(const Call& c, uint64_t address, size_t size) {
  raise(ErrorNumber::AccessViolation, "Access violation at address " + convert::hexText(uint32_t(address), 8) + ": " +
                                          std::string(c.function()) + " names " + std::to_string(size) +
                                          " bytes outside the program's memory");
}

// The bytes from `address` to the end of the engine's memory, 0 when it lies outside.
size_t lowExtent(uintptr_t address) {
  if (!lowContains(address, 1)) return 0;
  size_t lo = 1, hi = size_t(1) << 31;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo + 1) / 2;
    if (lowContains(address, mid)) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

const Arg kNoArgument{};

}  // namespace

const Arg& Call::arg(int i) const { return i >= 0 && i < count() ? m_args[size_t(i)] : kNoArgument; }

std::optional<std::string_view> Call::text(int i) const {
  const Arg& a = arg(i);
  if (a.isText) return std::string_view(a.text, ::strnlen(a.text, a.length));
  const uintptr_t address = uint32_t(a.value);
  if (address == 0) return std::nullopt;
  const size_t extent = lowExtent(address);
  const void* nul = extent ? std::memchr(reinterpret_cast<const void*>(address), 0, extent) : nullptr;
  if (!nul) outsideMemory(*this, address, extent + 1);
  return std::string_view(reinterpret_cast<const char*>(address),
                          size_t(static_cast<const char*>(nul) - reinterpret_cast<const char*>(address)));
}

std::string Call::textOr(int i, std::string_view otherwise) const {
  const auto t = text(i);
  return std::string(t ? *t : otherwise);
}

uint8_t* Call::memory(int i, size_t size, bool optional) const {
  const Arg& a = arg(i);
  if (a.isText) {
    if (size > a.room) outsideMemory(*this, 0, size);
    return reinterpret_cast<uint8_t*>(a.text);
  }
  const uintptr_t address = uint32_t(a.value);
  if (address == 0 && optional) return nullptr;
  if (!lowContains(address, size)) outsideMemory(*this, address, size);
  return reinterpret_cast<uint8_t*>(address);
}

size_t Call::putText(int i, std::string_view value, size_t room) const {
  const Arg& a = arg(i);
  if (a.isText) room = std::min(room, a.room);
  if (room == 0) return 0;
  const size_t n = std::min(value.size(), room - 1);
  uint8_t* at = memory(i, n + 1);
  std::memcpy(at, value.data(), n);
  at[n] = 0;
  return n;
}

uint32_t Call::readDword(int i) const {
  uint32_t v;
  std::memcpy(&v, memory(i, 4), 4);
  return v;
}

void Call::writeDword(int i, uint32_t v) const { std::memcpy(memory(i, 4), &v, 4); }

void Call::setLastError(uint32_t code) const { externalState(m_s).lastError = code; }

const Library* findLibrary(std::string_view name) {
  const std::string_view base = baseName(name);
  for (const Library* l : libraries())
    if (sameNoCase(l->name, base)) return l;
  return nullptr;
}

Function findExport(const Library& library, std::string_view name) {
  for (const Export& e : library.exports)
    if (e.name == name) return e.function;
  return nullptr;
}

std::span<const Library* const> libraries() {
  static const Library kernel32{"kernel32", kernel32Exports()};
  static const Library user32{"user32", user32Exports()};
  static const Library shell32{"shell32", shell32Exports()};
  static const Library winmm{"winmm", winmmExports()};
  static const Library advapi32{"advapi32", advapi32Exports()};
  static const std::array<const Library*, 5> all{&kernel32, &user32, &shell32, &winmm, &advapi32};
  return all;
}

bool isRuntimeLibraryName(std::string_view name) {
  const std::string_view base = baseName(name);
  if (sameNoCase(base, "crtdll") || sameNoCase(base, "msvcrt") || sameNoCase(base, "msvcrtd")) return true;
  // msvcr70, msvcr71, msvcr80 ... msvcr120, and msvcrt20, msvcrt40
  auto digitsAfter = [&](std::string_view prefix) {
    if (base.size() <= prefix.size() || !sameNoCase(base.substr(0, prefix.size()), prefix)) return false;
    for (char c : base.substr(prefix.size()))
      if (c < '0' || c > '9') return false;
    return true;
  };
  return digitsAfter("msvcr") || digitsAfter("msvcrt");
}

uint32_t errorFromErrno(int e) {
  switch (e) {
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return err::kAccessDenied;
    case EEXIST: return err::kAlreadyExists;
    case ENOTEMPTY: return err::kDirNotEmpty;
    case ENOMEM: return err::kNotEnoughMemory;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case ENOSPC: return 112;        // ERROR_DISK_FULL
    default: return 31;             // ERROR_GEN_FAILURE
  }
}

std::string windowsDirectory() {
  std::string d = driveDirectory('C') + "/WINDOWS";
  ::mkdir(d.c_str(), 0777);
  return d;
}

std::string systemDirectory() {
  std::string d = windowsDirectory() + "/SYSTEM32";
  ::mkdir(d.c_str(), 0777);
  return d;
}

bool sameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

}  // namespace tavrin::win32
