// External library calls: the library cache, the mapping of library names to shared
// objects, and the calls themselves through libffi (lib/external.cpp holds the statements
// and the call operand).
#pragma once
#include <cstdint>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interp/call_entry.h"

namespace tavrin {

struct State;
namespace win32 {
struct Library;
}

// The libraries a run has named, each loaded once: names compare without case, and a
// failed load is kept (a null handle) so that it is not tried again. Dropping a name
// forgets it without unloading; a later call loads it anew.
class LibraryCache {
public:
  // Loads a library by the name the program gave; nullptr when it cannot be found.
  using Loader = std::function<void*(std::string_view name)>;
  explicit LibraryCache(Loader loader) : m_loader(std::move(loader)) {}
  LibraryCache(const LibraryCache&) = delete;
  LibraryCache& operator=(const LibraryCache&) = delete;

  // The cached handle of `name`, loading it on first use (null when that failed).
  void* handle(std::string_view name);
  // Forgets `name`; false when it is not cached.
  bool drop(std::string_view name);
  size_t size() const { return m_entries.size(); }

  struct Entry {
    std::string name;  // upper-cased
    void* handle;
  };
  // Every handle ever loaded, dropped ones included, for the end of the run.
  const std::vector<void*>& loaded() const { return m_loaded; }

private:
  Loader m_loader;
  std::vector<Entry> m_entries;
  std::vector<void*> m_loaded;
};

// The candidate files of a library name, in search order: a name ending in ".so" (or
// holding ".so.") as it stands; otherwise, with a ".dll" ending removed, libNAME.so and
// NAME.so (as written, then lower-cased) in the program's directory, in each directory of
// `searchPath` (colon-separated), then bare for the system's own search.
std::vector<std::string> libraryCandidates(std::string_view name, std::string_view programDir,
                                           std::string_view searchPath);

// The stand-in library a cached handle stands for, nullptr for a shared object's handle.
const win32::Library* standInLibrary(const void* handle);

// The environment variable of the search path.
inline constexpr const char* kLibraryPathVariable = "TAVRIN_LIBRARY_PATH";

// At most this many arguments in one call.
inline constexpr int kMaxExternalArguments = 20;

// The external-call service of a run.
struct ExternalState {
  explicit ExternalState(LibraryCache::Loader loader) : cache(std::move(loader)) {}
  ~ExternalState();
  LibraryCache cache;
  bool trace = false;  // each call on stderr
  // The procedures registered as callbacks, per arity (0..6), in registration order.
  std::array<std::vector<int64_t>, 7> callbacks;
  // What ended a callback while foreign code ran, raised when the foreign call returns.
  std::optional<CallOutcome> callbackFailure;
  int64_t failedCallback = 0;
  // The stand-in library's per-run values: the last error and the mouse cursor's position.
  uint32_t lastError = 0;
  int32_t cursorX = 0, cursorY = 0;
};

// The run's service, started on first use.
ExternalState& externalState(State& s);

}  // namespace tavrin
