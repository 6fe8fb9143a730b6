// advapi32: the user's name.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "lib/win32/standin.h"

namespace tavrin::win32 {
namespace {

std::string userName() {
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  const char* u = std::getenv("USER");
  return u && *u ? u : "user";
}

// The size word holds the buffer's room; afterwards the characters written and the NUL.
int64_t GetUserNameA(Call& c) {
  const std::string name = userName();
  const uint32_t room = c.readDword(1);
  if (name.size() + 1 > room) {
    c.writeDword(1, uint32_t(name.size() + 1));
    c.setLastError(err::kInsufficientBuffer);
    return 0;
  }
  c.writeDword(1, uint32_t(c.putText(0, name, room) + 1));
  return 1;
}

constexpr Export kExports[] = {
    {"GetUserNameA", GetUserNameA},
};

}  // namespace

std::span<const Export> advapi32Exports() { return kExports; }

}  // namespace tavrin::win32
