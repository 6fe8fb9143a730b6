// The built-in function operand (byte 6) and the built-ins that are neither text, math nor
// files: command line, clock, environment, spare slots, data items, standard input,
// console answers for screen and cursor, memory, array bounds, named values.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "interp/tables.h"
#include "interp/text_address.h"
#include "interp/value_refs.h"
#include "runtime/low_memory.h"
#include "runtime/sandbox.h"

namespace tavrin {
namespace {

using BuiltinHandler = void (*)(State&, EvalStack&);

constexpr std::array<BuiltinHandler, kBuiltinCount> makeBuiltinHandlers() {
  std::array<BuiltinHandler, kBuiltinCount> t{};
#define BUILTIN(code, name, layout) t[code] = &fn##name;
#define BUILTIN_NONE(code)
#include "interp/builtins.def"
#undef BUILTIN
#undef BUILTIN_NONE
  return t;
}
constexpr auto kBuiltinHandlers = makeBuiltinHandlers();

// The console run's screen: a desktop of 1024 x 768 pixels.
constexpr int kScreenWidth = 1024, kScreenHeight = 768;

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

// NamedValue's list: constants a BASIC program passes to the platform calls it makes
// (message boxes and dialogs, window messages, keys, show modes, file attributes,
// colours, cursors, sound flags, float formats). Names are upper case.
struct NamedConstant {
  std::string_view name;
  int32_t value;
};
constexpr NamedConstant kNamedValues[] = {
    {"MB_OK", 0}, {"MB_OKCANCEL", 1}, {"MB_ABORTRETRYIGNORE", 2}, {"MB_YESNOCANCEL", 3},
    {"MB_YESNO", 4}, {"MB_RETRYCANCEL", 5}, {"MB_ICONHAND", 16}, {"MB_ICONERROR", 16},
    {"MB_ICONSTOP", 16}, {"MB_ICONQUESTION", 32}, {"MB_ICONEXCLAMATION", 48},
    {"MB_ICONWARNING", 48}, {"MB_ICONASTERISK", 64}, {"MB_ICONINFORMATION", 64},
    {"MB_DEFBUTTON1", 0}, {"MB_DEFBUTTON2", 256}, {"MB_DEFBUTTON3", 512}, {"MB_DEFBUTTON4", 768},
    {"MB_APPLMODAL", 0}, {"MB_SYSTEMMODAL", 4096}, {"MB_TASKMODAL", 8192},
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6},
    {"IDNO", 7}, {"IDTRYAGAIN", 10}, {"IDCONTINUE", 11},
    {"MTWARNING", 0}, {"MTERROR", 1}, {"MTINFORMATION", 2}, {"MTCONFIRMATION", 3}, {"MTCUSTOM", 4},
    {"MBYES", 1}, {"MBNO", 2}, {"MBOK", 4}, {"MBCANCEL", 8}, {"MBHELP", 16}, {"MBABORT", 32},
    {"MBRETRY", 64}, {"MBIGNORE", 128}, {"MBALL", 256},
    {"MRNONE", 0}, {"MROK", 1}, {"MRCANCEL", 2}, {"MRABORT", 3}, {"MRRETRY", 4}, {"MRIGNORE", 5},
    {"MRYES", 6}, {"MRNO", 7}, {"MRALL", 8},
    {"WM_NULL", 0}, {"WM_CREATE", 1}, {"WM_DESTROY", 2}, {"WM_MOVE", 3}, {"WM_SIZE", 5},
    {"WM_ACTIVATE", 6}, {"WM_SETFOCUS", 7}, {"WM_KILLFOCUS", 8}, {"WM_ENABLE", 10},
    {"WM_SETTEXT", 12}, {"WM_GETTEXT", 13}, {"WM_GETTEXTLENGTH", 14}, {"WM_PAINT", 15},
    {"WM_CLOSE", 16}, {"WM_QUIT", 18}, {"WM_SHOWWINDOW", 24}, {"WM_KEYDOWN", 256},
    {"WM_KEYUP", 257}, {"WM_CHAR", 258}, {"WM_SYSKEYDOWN", 260}, {"WM_SYSKEYUP", 261},
    {"WM_COMMAND", 273}, {"WM_SYSCOMMAND", 274}, {"WM_TIMER", 275}, {"WM_HSCROLL", 276},
    {"WM_VSCROLL", 277}, {"WM_MOUSEMOVE", 512}, {"WM_LBUTTONDOWN", 513}, {"WM_LBUTTONUP", 514},
    {"WM_LBUTTONDBLCLK", 515}, {"WM_RBUTTONDOWN", 516}, {"WM_RBUTTONUP", 517},
    {"WM_MBUTTONDOWN", 519}, {"WM_MBUTTONUP", 520}, {"WM_MOUSEWHEEL", 522}, {"WM_USER", 1024},
    {"HWND_BROADCAST", 0xFFFF},
    {"SW_HIDE", 0}, {"SW_SHOWNORMAL", 1}, {"SW_NORMAL", 1}, {"SW_SHOWMINIMIZED", 2},
    {"SW_SHOWMAXIMIZED", 3}, {"SW_MAXIMIZE", 3}, {"SW_SHOWNOACTIVATE", 4}, {"SW_SHOW", 5},
    {"SW_MINIMIZE", 6}, {"SW_SHOWMINNOACTIVE", 7}, {"SW_SHOWNA", 8}, {"SW_RESTORE", 9},
    {"VK_BACK", 8}, {"VK_TAB", 9}, {"VK_RETURN", 13}, {"VK_SHIFT", 16}, {"VK_CONTROL", 17},
    {"VK_MENU", 18}, {"VK_PAUSE", 19}, {"VK_CAPITAL", 20}, {"VK_ESCAPE", 27}, {"VK_SPACE", 32},
    {"VK_PRIOR", 33}, {"VK_NEXT", 34}, {"VK_END", 35}, {"VK_HOME", 36}, {"VK_LEFT", 37},
    {"VK_UP", 38}, {"VK_RIGHT", 39}, {"VK_DOWN", 40}, {"VK_INSERT", 45}, {"VK_DELETE", 46},
    {"VK_F1", 112}, {"VK_F2", 113}, {"VK_F3", 114}, {"VK_F4", 115}, {"VK_F5", 116}, {"VK_F6", 117},
    {"VK_F7", 118}, {"VK_F8", 119}, {"VK_F9", 120}, {"VK_F10", 121}, {"VK_F11", 122}, {"VK_F12", 123},
    {"FAREADONLY", 1}, {"FAHIDDEN", 2}, {"FASYSFILE", 4}, {"FAVOLUMEID", 8}, {"FADIRECTORY", 16},
    {"FAARCHIVE", 32}, {"FAANYFILE", 63},
    {"CLBLACK", 0x000000}, {"CLMAROON", 0x000080}, {"CLGREEN", 0x008000}, {"CLOLIVE", 0x008080},
    {"CLNAVY", 0x800000}, {"CLPURPLE", 0x800080}, {"CLTEAL", 0x808000}, {"CLGRAY", 0x808080},
    {"CLSILVER", 0xC0C0C0}, {"CLRED", 0x0000FF}, {"CLLIME", 0x00FF00}, {"CLYELLOW", 0x00FFFF},
    {"CLBLUE", 0xFF0000}, {"CLFUCHSIA", 0xFF00FF}, {"CLAQUA", 0xFFFF00}, {"CLWHITE", 0xFFFFFF},
    {"CLNONE", 0x1FFFFFFF}, {"CLDEFAULT", 0x20000000},
    {"CRDEFAULT", 0}, {"CRNONE", -1}, {"CRARROW", -2}, {"CRCROSS", -3}, {"CRIBEAM", -4},
    {"CRSIZENESW", -6}, {"CRSIZENS", -7}, {"CRSIZENWSE", -8}, {"CRSIZEWE", -9}, {"CRUPARROW", -10},
    {"CRHOURGLASS", -11}, {"CRDRAG", -12}, {"CRNODROP", -13}, {"CRHSPLIT", -14}, {"CRVSPLIT", -15},
    {"CRMULTIDRAG", -16}, {"CRSQLWAIT", -17}, {"CRNO", -18}, {"CRAPPSTART", -19}, {"CRHELP", -20},
    {"CRHANDPOINT", -21}, {"CRSIZEALL", -22},
    {"SND_SYNC", 0}, {"SND_ASYNC", 1}, {"SND_NODEFAULT", 2}, {"SND_MEMORY", 4}, {"SND_LOOP", 8},
    {"SND_NOSTOP", 16}, {"SND_FILENAME", 0x20000},
    {"FFGENERAL", 0}, {"FFEXPONENT", 1}, {"FFFIXED", 2}, {"FFNUMBER", 3}, {"FFCURRENCY", 4},
    {"TRUE", -1}, {"FALSE", 0},
};

constexpr bool namedValuesUnique() {
  constexpr size_t n = sizeof kNamedValues / sizeof kNamedValues[0];
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (kNamedValues[i].name == kNamedValues[j].name) return false;
  return true;
}
static_assert(namedValuesUnique(), "a name appears twice in NamedValue's list");

// The descriptor an array reference of LowerBound and UpperBound names: a marker byte,
// then the type byte and the array number, or 12, a reference-parameter slot and the type.
const ArrayDescriptor& boundsDescriptor(State& s) {
  static const ArrayDescriptor kNone{};
  uint8_t marker = s.code.u8();
  uint16_t array;
  uint8_t type;
  if (marker == 12) {
    uint8_t slot = s.code.u8();
    array = s.calls.level > 0 ? referenceIndex(s.calls, slot) : 0;
    type = s.code.u8();
  } else {
    type = s.code.u8();
    array = s.code.u16();
  }
  if (type <= uint8_t(ValueType::FixedString)) {
    if (array >= kArrayNumbers) raiseByteCode("array number " + std::to_string(array) + " is outside 0..100");
    return s.stores.descriptors[type][array];
  }
  if (type == uint8_t(ValueType::Variant)) {
    if (array >= kVariantArrayNumbers) raiseByteCode("variant array number " + std::to_string(array) + " is outside 0..50");
    return s.stores.variantArrays[array] ? *s.stores.variantArrays[array] : kNone;
  }
  raiseNotImplemented("array bounds of type " + std::to_string(type));
}

// Dimension index 0..4 from the dimension expression: |round(n)|, 0 is the first, above
// 5 wraps around.
int boundsDimension(State& s) {
  int64_t d = std::abs(int64_t(argRound(s)));
  if (d == 0) d = 1;
  return int((d - 1) % kDimensions);
}

int32_t checkedAddress(double v, size_t length) {
  int32_t a = truncateToInt(v);
  if (length && !lowContains(uintptr_t(uint32_t(a)), length))
    raise(ErrorNumber::AccessViolation, "Access violation at address " + convert::hexText(uint32_t(a), 8));
  return a;
}

int elementWidth(uint8_t type) {
  static constexpr int kWidths[] = {0, 1, 2, 4, 2, 4, 4, 8};
  return type >= 1 && type <= 7 ? kWidths[type] : 0;
}

}  // namespace

void evalOpBuiltin(State& s, EvalStack& e) {
  uint8_t code = s.code.u8();
  if (code < kBuiltinCount) {
    if (BuiltinHandler h = kBuiltinHandlers[code]) h(s, e);
  }
  // codes without a function (61, 62, 116 and above) push nothing
}

// ---- command line and environment ----

void fnArgumentCount(State& s, EvalStack& e) { e.pushNumber(double(int64_t(s.arguments.size()) - 1)); }

void fnArgumentText(State& s, EvalStack& e) {
  int32_t n = argTrunc(s);
  if (n < 0 || size_t(n) >= s.arguments.size())
    raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(n) + ")");
  e.pushText(s.arguments[size_t(n)]);
}

void fnEnvironmentText(State& s, EvalStack& e) {
  std::string& slot = e.pushTextSlot();
  argText(s, slot);
  const char* value = slot.empty() ? nullptr : std::getenv(slot.c_str());
  slot.assign(value ? value : "");
}

// ---- clock ----

void fnSeconds(State&, EvalStack& e) {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  e.pushNumber(double(int32_t(uint32_t(ms))) * 0.001);
}

void fnDateText(State&, EvalStack& e) {
  std::tm tm = localNow();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  e.pushText(buffer);
}

void fnTimeText(State&, EvalStack& e) {
  std::tm tm = localNow();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  e.pushText(buffer);
}

// ---- screen, cursor and mouse of a console run ----

void fnScreenWidth(State&, EvalStack& e) { e.pushNumber(kScreenWidth); }
void fnScreenHeight(State&, EvalStack& e) { e.pushNumber(kScreenHeight); }
void fnScreenCursor(State& s, EvalStack& e) { e.pushNumber(s.core.screenCursor); }
void fnIsConsoleApp(State&, EvalStack& e) { e.pushNumber(1); }
void fnConsoleColumns(State&, EvalStack& e) { e.pushNumber(80); }
void fnConsoleRows(State&, EvalStack& e) { e.pushNumber(25); }

void fnCursorHandle(State& s, EvalStack& e) {
  int32_t index = argTrunc(s);
  int32_t handle = 0;
  for (const auto& [number, h] : s.core.cursors)
    if (number == index) handle = h;
  e.pushNumber(handle);
}

// ---- spare slots ----

namespace {
void pushSpare(State& s, EvalStack& e, int slot) {
  if (s.core.spare.isString) e.pushText(s.core.spare.str[slot]);
  else e.pushNumber(s.core.spare.num[slot]);
}
}  // namespace

void fnSpareValueA(State& s, EvalStack& e) { pushSpare(s, e, 0); }
void fnSpareValueB(State& s, EvalStack& e) { pushSpare(s, e, 1); }

// ---- data items ----

void fnReadDataItem(State& s, EvalStack& e) {
  const uint32_t back = s.code.position();
  if (s.dataPointer >= s.mainStart)
    raise(ErrorNumber::DiskRead, "no more data items (data position " + std::to_string(s.dataPointer) + ")");
  s.code.seek(s.dataPointer);
  std::string text;
  double number = 0.0;
  bool isText;
  if (s.code.u8() == 2) {
    uint16_t length = s.code.u16();
    const uint8_t* bytes = s.code.bytes(length);
    text.assign(reinterpret_cast<const char*>(bytes), length);
    isText = true;
  } else {
    isText = evaluate(s, number, text);
  }
  s.dataPointer = s.code.position();
  s.code.seek(back);
  if (isText) {
    double v;
    if (convert::parseFloat(text, v, s.core.decimalSeparator) == convert::NumberParse::Ok && e.destNum) *e.destNum = v;
    e.pushText(text);
  } else {
    if (e.destStr) *e.destStr = convert::floatToStr(number, formatSettings(s));
    e.pushNumber(number);
  }
}

// ---- standard input ----

void fnReadStandardInput(State& s, EvalStack& e) {
  int32_t n = argRound(s);
  if (s.sandbox) sandboxRefuse("ReadStandardInput");
  std::string& slot = e.pushTextSlot();
  slot.clear();
  if (n <= 0) return;
  slot.resize(size_t(std::min<int32_t>(n, 1 << 20)));
  ssize_t got;
  do got = read(STDIN_FILENO, slot.data(), slot.size());
  while (got < 0 && errno == EINTR);
  slot.resize(got > 0 ? size_t(got) : 0);
}

// ---- choice, colours, tables ----

void fnChoose(State& s, EvalStack& e) {
  double condition = argNumber(s);
  double n1, n2;
  std::string t1, t2;
  bool text1 = evaluate(s, n1, t1);
  bool text2 = evaluate(s, n2, t2);
  if (condition != 0.0) {
    if (text1) e.pushText(t1);
    else e.pushNumber(n1);
  } else {
    if (text2) e.pushText(t2);
    else e.pushNumber(n2);
  }
}

// TableValue and TableCount read the resource table: the position of each resource
// record's length field, which StmtExtractResource takes.
void fnTableValue(State& s, EvalStack& e) {
  int32_t i = argRound(s);
  e.pushNumber(i >= 0 && i < s.resourceCount ? double(s.resources[size_t(i)]) : 0.0);
}

void fnTableCount(State& s, EvalStack& e) { e.pushNumber(s.resourceCount); }

void fnNamedValue(State& s, EvalStack& e) {
  std::string name;
  argText(s, name);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  int32_t value = 0;
  for (const NamedConstant& k : kNamedValues)
    if (k.name == name) value = k.value;
  e.pushNumber(value);
}

// ---- memory ----

void fnTextAtAddress(State& s, EvalStack& e) {
  int32_t a = checkedAddress(argRound(s), 1);
  const char* p = reinterpret_cast<const char*>(uintptr_t(uint32_t(a)));
  size_t n = 0;
  while (p[n] != '\0') {
    ++n;
    if (!lowContains(uintptr_t(uint32_t(a)) + n, 1))
      raise(ErrorNumber::AccessViolation, "Access violation: the text at " + convert::hexText(uint32_t(a), 8) + " has no end");
  }
  e.pushText(std::string_view(p, n));
}

void fnMemoryEqual(State& s, EvalStack& e) {
  double a1 = argNumber(s);
  double a2 = argNumber(s);
  int32_t count = argTrunc(s);
  if (count <= 0) {
    e.pushNumber(-1.0);
    return;
  }
  int32_t p = checkedAddress(a1, size_t(count));
  int32_t q = checkedAddress(a2, size_t(count));
  bool equal = std::memcmp(reinterpret_cast<const void*>(uintptr_t(uint32_t(p))),
                           reinterpret_cast<const void*>(uintptr_t(uint32_t(q))), size_t(count)) == 0;
  e.pushNumber(equal ? -1.0 : 0.0);
}

// ---- stores ----

void fnLowerBound(State& s, EvalStack& e) {
  const ArrayDescriptor& d = boundsDescriptor(s);
  int i = boundsDimension(s);
  e.pushNumber(-double(d.bias[size_t(i)]));
}

void fnUpperBound(State& s, EvalStack& e) {
  const ArrayDescriptor& d = boundsDescriptor(s);
  int i = boundsDimension(s);
  int64_t extent = d.span[size_t(i)];
  if (i < kDimensions - 1) {
    int32_t next = d.span[size_t(i) + 1];
    if (next == 0) raise(ErrorNumber::DivisionByZero);
    extent = int64_t(d.span[size_t(i)]) / next;
  }
  e.pushNumber(double(extent - 1 - d.bias[size_t(i)]));
}

void fnFixedStringLength(State& s, EvalStack& e) {
  uint16_t n = s.code.u16();
  e.pushNumber(n < s.stores.fixed.size() ? s.stores.fixed[n].length : 0);
}

void fnAddressOf(State& s, EvalStack& e) {
  uint8_t selector = s.code.u8();
  uint8_t type = s.code.u8();
  uint16_t n = s.code.u16();
  if (selector == 1) {
    if (type > uint8_t(ValueType::FixedString)) {
      // no array of this type: the subscripts still follow
      uint8_t count = s.code.u8();
      for (uint8_t i = 0; i < count; ++i) argNumber(s);
      e.pushNumber(-1);
      return;
    }
    if (type == uint8_t(ValueType::String) || type == uint8_t(ValueType::FixedString))
      return e.pushNumber(addressOfText(s, true, ValueType(type), n));
    int64_t position = valueref::elementPosition(s, ValueType(type), n);
    e.pushNumber(double(uint32_t(uintptr_t(s.stores.arrayBytes[type].data())) + position));
    return;
  }
  if (type > uint8_t(ValueType::FixedString)) {
    e.pushNumber(-1);
    return;
  }
  if (type == uint8_t(ValueType::String) || type == uint8_t(ValueType::FixedString))
    return e.pushNumber(addressOfText(s, false, ValueType(type), n));
  // A local of the running procedure; in the main program the global scalar.
  ByteStore* store = &s.stores.scalars[type];
  if (s.calls.level > 0 && size_t(s.calls.level) <= s.stores.frames.size() && s.stores.frames[size_t(s.calls.level) - 1])
    store = &s.stores.frames[size_t(s.calls.level) - 1]->numbers[type];
  e.pushNumber(double(uint32_t(uintptr_t(store->data())) + int64_t(n) * elementWidth(type)));
}

void fnVariantKind(State& s, EvalStack& e) {
  uint8_t form = s.code.u8();
  int64_t cell = -1;
  if (form == 1) {
    cell = s.code.u16();
  } else if (form == 3) {
    cell = valueref::variantElementNumber(s, s.code.u16());
  } else if (form == 12) {
    uint8_t kind = s.code.u8();
    uint8_t slot = s.code.u8();
    uint16_t index = s.calls.level > 0 ? referenceIndex(s.calls, slot) : 0;
    cell = kind == 9 ? int64_t(index) : int64_t(valueref::variantElementNumber(s, index));
  }
  int kind = 0;
  if (cell >= 0 && size_t(cell) < s.stores.cells.size()) {
    VariantKind k = s.stores.cells[size_t(cell)].kind;
    kind = k == VariantKind::Integer ? 0 : (k == VariantKind::Text ? 2 : 1);
  }
  e.pushNumber(kind);
}

}  // namespace tavrin
