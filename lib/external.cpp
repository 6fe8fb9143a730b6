// External library calls: statements 19 (no result type) and 20 (a result type, the
// result discarded), the call operand (its result becomes a value) and the statement that
// drops a library from the cache.
//
// Every call site names its library and function; the library is loaded once (cached
// by name without case), the function looked up at every call. Arguments are passed
// through libffi: integers widened to 64 bits (a program-visible address below 2^31 is
// then a valid pointer), type 6 as a float, type 7 as a double, texts as pointers to
// private NUL-terminated copies that are released after the call. A library or function
// that cannot be found is reported in a message box; the call then yields 0 or the empty
// text and the program goes on.
#include "lib/external.h"

#include <dlfcn.h>
#include <ffi.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "interp/calls.h"
#include "interp/dispatcher.h"
#include "interp/handlers.h"
#include "interp/object_hooks.h"
#include "interp/state.h"
#include "lib/callbacks.h"
#include "lib/file_writes.h"
#include "lib/message_box.h"
#include "lib/win32/standin.h"
#include "runtime/run_error.h"
#include "runtime/sandbox.h"

namespace tavrin {

// --- The library cache and name mapping ------------------------------------------------

namespace {

// Library names compare with ASCII letters folded (the platform's own rule, whatever the
// locale), checked at every call, so without the C library's locale look-ups.
inline char foldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
bool sameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

std::string upper(std::string_view v) {
  std::string r(v);
  for (char& c : r) c = foldAscii(c);
  return r;
}

std::string lower(std::string_view v) {
  std::string r(v);
  for (char& c : r) c = char(std::tolower(uint8_t(c)));
  return r;
}

bool endsWithNoCase(std::string_view v, std::string_view end) {
  return v.size() >= end.size() && sameNameNoCase(v.substr(v.size() - end.size()), end);
}

}  // namespace

const win32::Library* standInLibrary(const void* handle) {
  for (const win32::Library* l : win32::libraries())
    if (l == handle) return l;
  return nullptr;
}

void* LibraryCache::handle(std::string_view name) {
  for (const Entry& e : m_entries)
    if (sameNameNoCase(e.name, name)) return e.handle;
  void* h = m_loader(name);
  m_entries.push_back({upper(name), h});
  if (h) m_loaded.push_back(h);
  return h;
}

bool LibraryCache::drop(std::string_view name) {
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (sameNameNoCase(m_entries[i].name, name)) {
      m_entries.erase(m_entries.begin() + ptrdiff_t(i));
      return true;
    }
  return false;
}

std::vector<std::string> libraryCandidates(std::string_view name, std::string_view programDir,
                                           std::string_view searchPath) {
  std::vector<std::string> out;
  if (name.empty()) return out;
  if (endsWithNoCase(name, ".so") || name.find(".so.") != std::string_view::npos) {
    out.emplace_back(name);
    return out;
  }
  std::string_view base = name;
  if (endsWithNoCase(base, ".dll")) base.remove_suffix(4);
  // A Windows name carries no directory worth keeping: "C:\APP\MINE.DLL" is MINE.
  if (size_t slash = base.find_last_of("/\\"); slash != std::string_view::npos) base.remove_prefix(slash + 1);
  if (base.empty()) return out;
  std::vector<std::string> files;
  for (const std::string& b : {std::string(base), lower(base)}) {
    for (std::string f : {"lib" + b + ".so", b + ".so"})
      if (std::find(files.begin(), files.end(), f) == files.end()) files.push_back(std::move(f));
  }
  std::vector<std::string> dirs;
  if (!programDir.empty()) dirs.emplace_back(programDir);
  while (!searchPath.empty()) {
    size_t colon = searchPath.find(':');
    std::string_view d = searchPath.substr(0, colon);
    if (!d.empty()) dirs.emplace_back(d);
    if (colon == std::string_view::npos) break;
    searchPath.remove_prefix(colon + 1);
  }
  for (const std::string& d : dirs)
    for (const std::string& f : files) out.push_back(d + "/" + f);
  for (const std::string& f : files) out.push_back(f);  // the system's search
  return out;
}

namespace {

std::string programDirectory(const State& s) {
  std::string p = s.arguments.empty() ? s.programName : s.arguments[0];
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

void* loadLibrary(const State& s, std::string_view name, bool trace) {
  const bool sharedObjectName = endsWithNoCase(name, ".so") || name.find(".so.") != std::string_view::npos;
  if (!sharedObjectName) {
    if (const win32::Library* l = win32::findLibrary(name)) {
      if (trace) std::fprintf(stderr, "external: %.*s is Tavrin's stand-in\n", int(name.size()), name.data());
      return const_cast<win32::Library*>(l);
    }
    if (win32::isRuntimeLibraryName(name)) {
      // The C run-time: the host's C library, reached through the maths library that
      // depends on it (so both sets of names are found).
      void* h = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
      if (trace) std::fprintf(stderr, "external: %.*s is the C library%s\n", int(name.size()), name.data(), h ? "" : " (not found)");
      return h;
    }
  }
  const char* path = std::getenv(kLibraryPathVariable);
  for (const std::string& file : libraryCandidates(name, programDirectory(s), path ? path : "")) {
    if (void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (trace) std::fprintf(stderr, "external: loaded %.*s from %s\n", int(name.size()), name.data(), file.c_str());
      return h;
    }
  }
  if (trace) std::fprintf(stderr, "external: cannot load %.*s\n", int(name.size()), name.data());
  return nullptr;
}

}  // namespace

ExternalState::~ExternalState() {
  forgetCallbacks(this);
  for (void* h : cache.loaded())
    if (!standInLibrary(h)) dlclose(h);
}

ExternalState& externalState(State& s) {
  if (!s.externals) {
    State* sp = &s;
    s.externals = std::make_unique<ExternalState>([sp](std::string_view name) {
      return loadLibrary(*sp, name, sp->externals && sp->externals->trace);
    });
    s.externals->trace = std::getenv("TAVRIN_TRACE_EXTERNAL") != nullptr;
  }
  return *s.externals;
}

// --- The call ----------------------------------------------------------------------

namespace {

constexpr uint8_t kTextType = 0;
constexpr uint8_t kByteType = 1;
constexpr uint8_t kFloatType = 6;
constexpr uint8_t kDoubleType = 7;
constexpr uint8_t kFirstObjectType = 30;
constexpr uint8_t kRectType = 68;
constexpr uint8_t kTrayIconType = 71;
constexpr uint8_t kContinuation = 33;

struct Argument {
  uint8_t type = 0;
  bool isText = false;
  double number = 0.0;
  std::string text;
  int64_t instance = 0;
  bool isInstance = false;
};

// What one call site names and passes, as read from the code.
struct CallSite {
  std::string_view library;
  std::string_view function;
  int count = 0;
  bool hasResult = false;
  uint8_t resultType = 3;
  // The arguments read, built on first use: a numeric call of one argument constructs
  // and destroys one record, not twenty.
  class Arguments {
  public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
      for (int i = 0; i < m_built; ++i) at(i).~Argument();
    }
    Argument& operator[](size_t i) {
      while (m_built <= int(i)) new (m_raw[m_built++]) Argument();
      return at(int(i));
    }

  private:
    Argument& at(int i) { return *std::launder(reinterpret_cast<Argument*>(m_raw[i])); }
    alignas(Argument) unsigned char m_raw[kMaxExternalArguments][sizeof(Argument)];
    int m_built = 0;
  } args;
};

std::string_view readName(State& s) {
  const uint16_t n = s.code.u16();
  return {reinterpret_cast<const char*>(s.code.bytes(n)), n};
}

// The instance of an object argument given by number; -1 names a local object of the
// running procedure: the object its caller passed in that parameter slot.
int64_t readInstance(State& s) {
  const int16_t n = s.code.i16();
  if (n != -1) return n;
  const uint8_t slot = s.code.u8();
  if (s.calls.level < 1 || slot >= kSlotsPerLevel)
    raise(ErrorNumber::IndexOutOfRange, "local object " + std::to_string(slot) + " of an external call outside a procedure's slots");
  return referenceIndex(s.calls, slot);
}

// Reads the arguments into the site (those past the limit are read and dropped).
void readArguments(State& s, CallSite& c) {
  const bool general = c.count >= 3;
  Argument spare;
  for (int i = 0; i < c.count; ++i) {
    Argument& a = i < kMaxExternalArguments ? c.args[size_t(i)] : spare;
    a.type = s.code.u8();
    if (general && a.type >= kFirstObjectType) {
      a.isInstance = true;
      a.instance = readInstance(s);
      continue;
    }
    a.isInstance = false;
    a.isText = evaluate(s, a.number, a.text);
  }
}

// A private NUL-terminated copy of a text for the callee: the text's capacity and at
// least 32 bytes more room, so that a callee writing a little past the text stays in it.
struct TextBuffer {
  char* data;
  size_t length;
};


// What libffi is handed; only the first `count` entries are written and read.
struct FfiCall {
  std::array<ffi_type*, kMaxExternalArguments> types;
  std::array<void*, kMaxExternalArguments> values;
  std::array<int64_t, kMaxExternalArguments> ints;
  std::array<float, kMaxExternalArguments> floats;
  std::array<double, kMaxExternalArguments> doubles;
  std::array<void*, kMaxExternalArguments> pointers;
  std::array<TextBuffer, kMaxExternalArguments> texts;
  // One block for every text argument of the call, released when the call is done.
  std::unique_ptr<char[]> textBlock;
  size_t textUsed = 0;
};

size_t textRoom(const std::string& text) { return std::max(text.capacity(), text.size()) + 33; }

void prepareArgument(State& s, FfiCall& f, int i, const Argument& a) {
  const size_t k = size_t(i);
  auto asInt = [&](int64_t v) {
    f.ints[k] = v;
    f.types[k] = &ffi_type_sint64;
    f.values[k] = &f.ints[k];
  };
  if (a.isInstance || (a.type == kRectType || a.type == kTrayIconType)) {
    const int64_t instance = a.isInstance ? a.instance : int64_t(roundToInt(a.number));
    if (a.type == kRectType || a.type == kTrayIconType) return asInt(int64_t(objectArgumentAddress(s, a.type, instance)));
    if (a.isInstance) return asInt(instance);
  }
  switch (a.type) {
    case kTextType: {
      TextBuffer& t = f.texts[k];
      t.length = a.text.size();
      t.data = f.textBlock.get() + f.textUsed;
      f.textUsed += textRoom(a.text);
      std::memcpy(t.data, a.text.data(), a.text.size());
      f.pointers[k] = t.data;
      f.types[k] = &ffi_type_pointer;
      f.values[k] = &f.pointers[k];
      return;
    }
    case kByteType: return asInt(uint8_t(roundToInt(a.number)));
    case 2:
    case 4: return asInt(uint16_t(roundToInt(a.number)));
    case 3:
    case 5: return asInt(roundToInt(a.number));
    case kDoubleType:
      f.doubles[k] = a.number;
      f.types[k] = &ffi_type_double;
      f.values[k] = &f.doubles[k];
      return;
    default:  // 6 and every other code: a single
      f.floats[k] = float(a.number);
      f.types[k] = &ffi_type_float;
      f.values[k] = &f.floats[k];
      return;
  }
}

// A stand-in receives each argument as libffi would have passed it, with its type code
// and, for a text, the private copy and its room.
int64_t callStandIn(State& s, win32::Function fn, CallSite& c, FfiCall& f) {
  std::array<win32::Arg, kMaxExternalArguments> args;
  for (int i = 0; i < c.count; ++i) {
    const size_t k = size_t(i);
    const Argument& a = c.args[k];
    win32::Arg& w = args[k];
    w.type = a.type;
    w.number = a.number;
    if (f.types[k] == &ffi_type_pointer) {
      w.isText = true;
      w.text = f.texts[k].data;
      w.length = f.texts[k].length;
      w.room = textRoom(a.text);
      w.value = int64_t(reinterpret_cast<intptr_t>(w.text));
    } else if (f.types[k] == &ffi_type_sint64) {
      w.value = f.ints[k];
    } else if (f.types[k] == &ffi_type_double) {
      w.value = int64_t(std::trunc(std::clamp(f.doubles[k], -9.2e18, 9.2e18)));
    } else {
      w.value = int64_t(std::trunc(std::clamp(double(f.floats[k]), -9.2e18, 9.2e18)));
    }
  }
  win32::Call call(s, c.function, std::span<win32::Arg>(args.data(), size_t(c.count)));
  return fn(call);
}

void traceCall(CallSite& c, const char* outcome) {
  std::fprintf(stderr, "external: %.*s!%.*s(", int(c.library.size()), c.library.data(), int(c.function.size()),
               c.function.data());
  for (int i = 0; i < std::min(c.count, kMaxExternalArguments); ++i) {
    const Argument& a = c.args[size_t(i)];
    if (i) std::fputs(", ", stderr);
    if (a.isInstance) std::fprintf(stderr, "%u:#%lld", a.type, (long long)a.instance);
    else if (a.isText) std::fprintf(stderr, "%u:\"%s\"", a.type, a.text.c_str());
    else std::fprintf(stderr, "%u:%.17g", a.type, a.number);
  }
  std::fprintf(stderr, ") -> %s\n", outcome);
}

// The result of a call: a number, or a text for result type 0.
struct CallResult {
  double number = 0.0;
  std::string text;
  bool isText = false;
};

// Carries out the call at the code position (after the statement's sub-opcode or the
// operand's subtype byte). `makeCall` false reads and evaluates without calling.
void externalCall(State& s, bool hasResult, bool makeCall, CallResult& out, double previous) {
  CallSite c;
  c.library = readName(s);
  c.function = readName(s);
  uint8_t countByte = s.code.u8();
  c.count = countByte > 200 ? 255 - countByte : countByte;
  c.hasResult = hasResult;
  if (hasResult) c.resultType = s.code.u8();
  out = {};
  out.isText = hasResult && c.resultType == kTextType;

  // Without a call (the sandbox, subtype 1) the operands are only read.
  ExternalState* ext = makeCall ? &externalState(s) : nullptr;
  void* fn = nullptr;
  win32::Function standIn = nullptr;
  if (ext) {
    void* lib = ext->cache.handle(c.library);
    if (!lib) {
      showMessageBox(s, "Can't find library \r" + std::string(c.library), applicationTitle(s), 0);
    } else if (const win32::Library* l = standInLibrary(lib)) {
      standIn = win32::findExport(*l, c.function);
      if (!standIn) showMessageBox(s, "Can't find function \r" + std::string(c.function), applicationTitle(s), 0);
    } else {
      // dlsym wants a NUL-terminated name: a short one is copied on the stack.
      char shortName[128];
      std::string longName;
      const char* name = shortName;
      if (c.function.size() < sizeof shortName) {
        std::memcpy(shortName, c.function.data(), c.function.size());
        shortName[c.function.size()] = 0;
      } else {
        longName.assign(c.function);
        name = longName.c_str();
      }
      fn = dlsym(lib, name);
      if (!fn) showMessageBox(s, "Can't find function \r" + std::string(c.function), applicationTitle(s), 0);
    }
  }
  readArguments(s, c);
  if (c.count > kMaxExternalArguments)
    raise(ErrorNumber::RangeCheck, "external call " + std::string(c.library) + "!" + std::string(c.function) + " passes " +
                                       std::to_string(c.count) + " arguments, more than " +
                                       std::to_string(kMaxExternalArguments));
  if (!fn && !standIn) {
    if (ext && ext->trace) traceCall(c, "not found, 0");
    return;
  }

  FfiCall f;
  size_t textBytes = 0;
  for (int i = 0; i < c.count; ++i)
    if (c.args[size_t(i)].type == kTextType && !c.args[size_t(i)].isInstance) textBytes += textRoom(c.args[size_t(i)].text);
  if (textBytes) f.textBlock.reset(new char[textBytes]());
  for (int i = 0; i < c.count; ++i) prepareArgument(s, f, i, c.args[size_t(i)]);
  // The general form converts the integer result only; the result type says what the
  // function returns.
  const uint8_t rt = hasResult ? c.resultType : 3;
  ffi_type* rtype = rt == kDoubleType ? &ffi_type_double : rt == kTextType ? &ffi_type_pointer : &ffi_type_sint64;
  union {
    ffi_arg i;
    double d;
    void* p;
  } r{};
  flushFileWrites();  // the callee may read the files
  if (standIn) {
    const int64_t v = callStandIn(s, standIn, c, f);
    if (rt == kDoubleType) r.d = double(v);
    else r.i = ffi_arg(v);
  } else {
    ffi_cif cif;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(c.count), rtype, c.count ? f.types.data() : nullptr) != FFI_OK)
      raise(ErrorNumber::InvalidPointer, "external call " + std::string(c.function) + ": the call cannot be prepared");
    ffi_call(&cif, FFI_FN(fn), &r, c.count ? f.values.data() : nullptr);
  }
  if (ext->callbackFailure) [[unlikely]]
    raiseCallbackFailure(s, std::string(c.library) + "!" + std::string(c.function));

  switch (rt) {
    case kTextType: {
      const char* p = static_cast<const char*>(r.p);
      if (p) out.text.assign(p);
      break;
    }
    case 2:
    case 4: out.number = double(uint16_t(r.i)); break;
    case kDoubleType: out.number = r.d; break;
    case kByteType:
    case kFloatType: out.number = previous; break;
    default: out.number = double(int32_t(uint32_t(r.i))); break;
  }

  // The values as passed go to the parameter slots of the frame the call runs in (a
  // procedure's slots 1..10; the main program has none). One- and two-argument calls
  // give back what the callee wrote into a text, up to the text's length.
  const bool inlineForm = c.count <= 2;
  for (int i = 0; i < c.count; ++i) {
    Argument& a = c.args[size_t(i)];
    if (inlineForm && a.type == kTextType) a.text.assign(f.texts[size_t(i)].data, f.texts[size_t(i)].length);
  }
  if (ext->trace) {
    char buf[64];
    if (out.isText) traceCall(c, ("\"" + out.text + "\"").c_str());
    else {
      std::snprintf(buf, sizeof buf, "%.17g", out.number);
      traceCall(c, buf);
    }
  }
  if (s.calls.level >= 1) {
    for (int i = 0; i < c.count && i + 1 < kSlotsPerLevel; ++i) {
      const Argument& a = c.args[size_t(i)];
      if (a.isInstance) continue;
      if (inlineForm) {
        if (a.isText) textParameter(s, i + 1) = a.text;
        else s.calls.numberSlots.write<double>((int64_t(s.calls.level) - 1) * kSlotsPerLevel * 8 + (i + 1) * 8, a.number);
      } else {
        textParameter(s, i + 1) = a.text;
        s.calls.numberSlots.write<double>((int64_t(s.calls.level) - 1) * kSlotsPerLevel * 8 + (i + 1) * 8, a.number);
      }
    }
  }
}

// A result narrowed by the call operand's subtype.
double narrowed(uint8_t subtype, double v) {
  switch (subtype) {
    case 2: return double(int16_t(roundToInt(v)));
    case 4: return double(uint16_t(roundToInt(v)));
    case 3:
    case 5: return double(roundToInt(v));
    default: return v;
  }
}

}  // namespace

void execStmtCallExternal(State& s) {
  CallResult r;
  externalCall(s, false, true, r, s.resultNum);
  s.resultNum = r.number;
  runContinuation(s);
}

void execStmtCallExternalSub(State& s) {
  CallResult r;
  externalCall(s, true, true, r, s.resultNum);
  if (r.isText) s.resultStr = r.text;
  else s.resultNum = r.number;
  runContinuation(s);
}

void evalOpExternalCall(State& s, EvalStack& e) {
  const uint8_t subtype = s.code.u8();
  CallResult r;
  // The sandbox decodes the operands (they must be well formed) but makes no call.
  externalCall(s, true, subtype != 1 && !s.sandbox, r, s.resultNum);
  if (s.sandbox && subtype != 1) sandboxRefuse("external call");
  if (subtype == 0) {
    e.pushText(r.isText ? r.text : std::string());
  } else if (subtype == 1) {
    e.pushNumber(0.0);
  } else {
    e.pushNumber(r.isText ? 0.0 : narrowed(subtype, r.number));
  }
  runContinuation(s);
}

void execStmtDropExternal(State& s) {
  const std::string name = evaluateText(s);
  externalState(s).cache.drop(name);
}

}  // namespace tavrin
