// The disassembler: a program image to assembly text that assembles back to the same bytes.
// It walks the records like the loader, decodes statements by the layout words of the tables
// and prints whatever it cannot decode as raw bytes. Two passes over the same decoder: the
// first finds statement starts and jump targets, the second prints with labels at them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/asm.h"
#include "tools/asm_lexer.h"
#include "tools/asm_syntax.h"

namespace tavrin {

namespace {

using namespace asmtext;

constexpr int kMaxNesting = 100;  // below the assembler's limit, so the output reassembles
constexpr size_t kMaxStringConstant = 2048;

struct DecodeFail {};

// A read window over the image: reads past `end` fail the current decode.
struct Cur {
  const uint8_t* img;
  size_t pos, end;
  void need(size_t n) const {
    if (end - pos < n) throw DecodeFail{};
  }
  uint8_t u8() {
    need(1);
    return img[pos++];
  }
  uint16_t u16() {
    need(2);
    uint16_t v = uint16_t(img[pos] | (img[pos + 1] << 8));
    pos += 2;
    return v;
  }
  uint32_t u32() {
    need(4);
    uint32_t v = uint32_t(img[pos]) | uint32_t(img[pos + 1]) << 8 | uint32_t(img[pos + 2]) << 16 |
                 uint32_t(img[pos + 3]) << 24;
    pos += 4;
    return v;
  }
  uint64_t u64() {
    uint64_t lo = u32();
    return lo | uint64_t(u32()) << 32;
  }
  bool more() const { return pos < end; }
  uint8_t peek() const { return img[pos]; }
};

bool isCallOperand(uint8_t tag) { return tag == 13 || tag == 15 || tag == 17 || tag == 27 || tag == 28; }
bool isCallStatement(bool command, uint8_t code) { return command && (code == 3 || code == 19 || code == 20); }

std::string num(int64_t v) { return std::to_string(v); }

std::string hex(uint64_t v, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

std::string doubleText(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, 8);
  if (std::isnan(d)) {
    if (bits == 0x7FF8000000000000ull) return "nan";
    if (bits == 0xFFF8000000000000ull) return "-nan";
    return "bits " + hex(bits, 16);
  }
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[40];
  for (int p = 1; p <= 17; ++p) {
    std::snprintf(buf, sizeof buf, "%.*g", p, d);
    double back = std::strtod(buf, nullptr);
    uint64_t b;
    std::memcpy(&b, &back, 8);
    if (b == bits) return buf;
  }
  return "bits " + hex(bits, 16);
}

std::string singleText(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  if (std::isnan(f)) {
    if (bits == 0x7FC00000u) return "nan";
    if (bits == 0xFFC00000u) return "-nan";
    return "bits " + hex(bits, 8);
  }
  if (std::isinf(f)) return f > 0 ? "inf" : "-inf";
  char buf[40];
  for (int p = 1; p <= 9; ++p) {
    std::snprintf(buf, sizeof buf, "%.*g", p, double(f));
    float back = std::strtof(buf, nullptr);
    uint32_t b;
    std::memcpy(&b, &back, 4);
    if (b == bits) return buf;
  }
  return "bits " + hex(bits, 8);
}

std::string kind(uint8_t b) {
  std::string_view n = kindName(b);
  return n.empty() ? num(b) : std::string(n);
}

class Disassembler {
 public:
  explicit Disassembler(const std::vector<uint8_t>& img)
      : m_img(img), m_start(img.size() + 1), m_target(img.size() + 1), m_procAt(img.size() + 1),
        m_exprFail(img.size() + 1), m_workLimit(8 * img.size() + 16384) {}

  std::string run();

 private:
  struct Proc {
    size_t lenAt, end;
  };
  struct Resource {
    size_t bodyAt, end;
  };

  const std::vector<uint8_t>& m_img;
  bool m_print = false;
  std::string m_out;
  std::vector<uint8_t> m_start, m_target, m_procAt, m_exprFail;
  std::vector<size_t> m_pendingStarts, m_pendingTargets;
  int m_depth = 0;
  unsigned m_depthFails = 0;
  size_t m_furthest = 0;  // the furthest expression item reached by the current decode
  // Statements and expressions decoded in this pass. Bytes that are no program can make the
  // decoder try nested blocks from every start again and again; past the limit (far above
  // what any program takes, which decodes each statement once) every further statement
  // decodes as raw bytes, so the time stays linear in the image.
  size_t m_work = 0;
  size_t m_workLimit;
  uint8_t m_objType = 0;

  Cur at(size_t pos, size_t end) const { return Cur{m_img.data(), pos, end}; }
  static std::string indent(int n) { return std::string(size_t(n) * 2, ' '); }

  void emitLine(int ind, const std::string& text) {
    if (!m_print) return;
    m_out += indent(ind);
    m_out += text;
    m_out += '\n';
  }
  void rawLines(size_t from, size_t to, int ind);
  void statements(Cur& c, int ind, bool untilReturn);
  std::string statement(Cur& c, int ind, int& thenDepth, bool& wasCall);
  void countWork() {
    if (++m_work > m_workLimit) throw DecodeFail{};
  }
  void enter() {
    if (++m_depth > kMaxNesting) {
      --m_depth;
      ++m_depthFails;
      throw DecodeFail{};
    }
  }

  void operands(Cur& c, std::string& s, std::string_view layout, int ind);
  void word(Cur& c, std::string& s, std::string_view w, int ind);
  void expression(Cur& c, std::string& s, int ind);
  void subscripts(Cur& c, std::string& s, int ind);
  void exprList(Cur& c, std::string& s, int ind);
  void constant(Cur& c, std::string& s);
  void declare(Cur& c, std::string& s, int ind);
  void declaredArray(Cur& c, std::string& s, int ind);
  void recordSource(Cur& c, std::string& s, int ind);
  void dims(Cur& c, std::string& s, int ind);
  void colour(Cur& c, std::string& s, int ind);
  void cursor(Cur& c, std::string& s, int ind);
  void caseItems(Cur& c, std::string& s, int ind);
  void args(Cur& c, std::string& s, unsigned n, int ind);
  void external(Cur& c, std::string& s, bool withResult, int ind);
  void fieldRef(Cur& c, std::string& s, int ind);
  void fieldOperand(Cur& c, std::string& s, int ind);
  void member(Cur& c, std::string& s, bool write, int ind);
  void objectRef(Cur& c, std::string& s, int ind);
  void itemList(Cur& c, std::string& s, int ind);
  void fieldList(Cur& c, std::string& s, int ind);
  void offset(Cur& c, std::string& s);
  void target(Cur& c, std::string& s);
  static void name(Cur& c, std::string& s);
};

void Disassembler::rawLines(size_t from, size_t to, int ind) {
  for (size_t p = from; p < to; p += 16) {
    std::string line = ".byte";
    for (size_t k = p; k < to && k < p + 16; ++k) line += " " + num(m_img[k]);
    emitLine(ind, line);
  }
}

std::string Disassembler::run() {
  const size_t n = m_img.size();
  std::vector<Proc> procs;
  std::vector<Resource> resources;
  size_t pos = 0;
  bool wellFormed = false;
  size_t dataAt = 0, dataEnd = 0;
  auto len = [&](size_t p) { return size_t(at(p, n).u32()); };
  // The record walk of the loader, refusing any length that does not fit.
  while (pos < n && m_img[pos] == 10) {
    if (n - pos < 5) break;
    size_t l = len(pos + 1);
    if (l < 4 || l > n - pos - 1) break;
    procs.push_back(Proc{pos + 1, pos + 1 + l});
    m_procAt[pos + 1] = 1;
    pos += 1 + l;
  }
  if (!(pos < n && m_img[pos] == 10)) {
    while (pos < n && m_img[pos] == 18) {
      if (n - pos < 5) break;
      size_t l = len(pos + 1);
      if (l > n - pos - 5) break;
      resources.push_back(Resource{pos + 5, pos + 5 + l});
      pos += 5 + l;
    }
    if (pos < n && m_img[pos] != 18 && n - pos >= 5) {
      size_t l = len(pos + 1);
      if (l >= 4 && l <= n - pos - 1) {
        wellFormed = true;
        dataAt = pos;
        dataEnd = pos + 1 + l;
      }
    }
  }

  for (int pass = 0; pass < 2; ++pass) {
    m_print = pass == 1;
    // Both passes decode alike from the same start, so the labels of the first are the
    // statements the second prints.
    m_work = 0;
    std::fill(m_exprFail.begin(), m_exprFail.end(), 0);
    m_out.clear();
    emitLine(0, "; Tavrin program image, " + num(int64_t(n)) + " bytes");
    if (!wellFormed) emitLine(0, ".raw");
    for (const Proc& p : procs) {
      emitLine(0, ".proc P" + num(int64_t(p.lenAt)));
      Cur c = at(p.lenAt + 4, p.end);
      statements(c, 1, false);
      emitLine(0, ".end");
    }
    for (const Resource& r : resources) {
      bool text = r.end > r.bodyAt;
      for (size_t k = r.bodyAt; k < r.end && text; ++k) {
        uint8_t b = m_img[k];
        text = (b >= 32 && b < 127) || b == '\n' || b == '\r' || b == '\t';
      }
      if (text) {
        std::string line = ".resource text ";
        appendQuoted(line, std::string_view(reinterpret_cast<const char*>(m_img.data() + r.bodyAt), r.end - r.bodyAt));
        emitLine(0, line);
      } else {
        emitLine(0, ".resource bytes");
        for (size_t p = r.bodyAt; p < r.end; p += 16) {
          std::string line;
          for (size_t k = p; k < r.end && k < p + 16; ++k) line += (k > p ? " " : "") + num(m_img[k]);
          emitLine(1, line);
        }
      }
    }
    if (!wellFormed) {
      rawLines(pos, n, 0);
      continue;
    }
    uint8_t tag = m_img[dataAt];
    if (tag != 30 || dataEnd - dataAt != 5) {
      emitLine(0, tag == 30 ? ".data" : ".data tag=" + num(tag));
      Cur c = at(dataAt + 5, dataEnd);
      while (c.more()) {
        size_t p = c.pos;
        std::string s;
        try {
          uint8_t k = c.u8();
          if (k == 2) {
            uint16_t l = c.u16();
            c.need(l);
            s = "text ";
            appendQuoted(s, std::string_view(reinterpret_cast<const char*>(m_img.data() + c.pos), l));
            c.pos += l;
          } else {
            s = "item " + num(k) + " ";
            expression(c, s, 1);
          }
        } catch (const DecodeFail&) {
          rawLines(p, dataEnd, 1);
          break;
        }
        emitLine(1, s);
      }
      emitLine(0, ".end");
    }
    emitLine(0, ".main");
    Cur c = at(dataEnd, n);
    statements(c, 1, false);
  }
  return m_out;
}

// Statements up to the end of the window, or (untilReturn) up to the byte 34 that closes a
// continuation block inside an expression. Only top-level statements commit their labels.
void Disassembler::statements(Cur& c, int ind, bool untilReturn) {
  int thenDepth = 0;
  bool afterCall = false;
  while (c.more()) {
    if (untilReturn && thenDepth == 0 && c.peek() == kReturn) {
      ++c.pos;
      emitLine(ind - 1, "endthen");
      return;
    }
    size_t p = c.pos;
    size_t startMark = m_pendingStarts.size(), targetMark = m_pendingTargets.size();
    std::string line;
    bool wasCall = false;
    int depthBefore = thenDepth;
    size_t outMark = m_out.size();
    unsigned depthFails = m_depthFails;
    m_furthest = p + 1;
    try {
      if (afterCall && c.peek() == kContinuation) {
        ++c.pos;
        line = "then";
        ++thenDepth;
      } else {
        line = statement(c, ind + thenDepth, thenDepth, wasCall);
      }
    } catch (const DecodeFail&) {
      m_pendingStarts.resize(startMark);
      m_pendingTargets.resize(targetMark);
      m_out.resize(outMark);
      thenDepth = depthBefore;
      // Past a nesting too deep to print, every later start would nest as deep again:
      // the bytes it reached are printed raw in one go.
      size_t skip = m_depthFails != depthFails ? std::min(m_furthest, c.end) : p + 1;
      c.pos = skip;
      line = ".byte";
      for (size_t k = p; k < skip; ++k) {
        if (k > p && (k - p) % 16 == 0) line += "\n" + indent(ind + thenDepth) + ".byte";
        line += " " + num(m_img[k]);
      }
      wasCall = false;
    }
    afterCall = wasCall;
    m_pendingStarts.push_back(p);
    if (!untilReturn) {
      for (size_t s : m_pendingStarts) m_start[s] = 1;
      for (size_t t : m_pendingTargets) m_target[t] = 1;
      m_pendingStarts.clear();
      m_pendingTargets.clear();
    }
    if (m_print && m_target[p] && m_start[p]) emitLine(0, "L" + num(int64_t(p)) + ":");
    int lineIndent = ind + std::min(depthBefore, thenDepth);
    emitLine(lineIndent, line);
  }
  if (untilReturn) throw DecodeFail{};
}

std::string Disassembler::statement(Cur& c, int ind, int& thenDepth, bool& wasCall) {
  countWork();
  uint8_t b = c.u8();
  if (b == kReturn && thenDepth > 0) {
    --thenDepth;
    return "endthen";
  }
  std::string s;
  std::string_view layout;
  if (b == 0) {
    uint8_t sub = c.u8();
    if (sub >= kCommandCount || kCommands[sub].name.empty()) return ".byte 0 " + num(sub);
    s = std::string(kCommands[sub].name);
    layout = kCommands[sub].layout;
    wasCall = isCallStatement(true, sub);
  } else if (b < kLeadCount && !kLeads[b].name.empty()) {
    s = std::string(kLeads[b].name);
    layout = kLeads[b].layout;
  } else {
    return ".byte " + num(b);
  }
  operands(c, s, layout, ind);
  return s;
}

void Disassembler::operands(Cur& c, std::string& s, std::string_view layout, int ind) {
  size_t i = 0;
  while (i < layout.size()) {
    size_t j = layout.find(' ', i);
    if (j == std::string_view::npos) j = layout.size();
    if (j > i) word(c, s, layout.substr(i, j - i), ind);
    i = j + 1;
  }
}

void Disassembler::offset(Cur& c, std::string& s) {
  int32_t v = int32_t(c.u32());
  int64_t t = int64_t(c.pos) + v;
  bool inside = t >= 0 && t < int64_t(m_img.size());
  if (inside) m_pendingTargets.push_back(size_t(t));
  if (m_print && inside && m_target[size_t(t)] && m_start[size_t(t)])
    s += " @L" + num(t);
  else
    s += " " + num(v);
}

void Disassembler::target(Cur& c, std::string& s) {
  uint32_t v = c.u32();
  if (v < m_img.size() && m_procAt[v])
    s += " @P" + num(v);
  else
    s += " " + num(v);
}

void Disassembler::name(Cur& c, std::string& s) {
  uint16_t l = c.u16();
  c.need(l);
  s += ' ';
  appendQuoted(s, std::string_view(reinterpret_cast<const char*>(c.img + c.pos), l));
  c.pos += l;
}

void Disassembler::word(Cur& c, std::string& s, std::string_view w, int ind) {
  if (w == "u8") { s += " " + num(c.u8()); return; }
  if (w == "u16") { s += " " + num(c.u16()); return; }
  if (w == "u32") { s += " " + num(c.u32()); return; }
  if (w == "i32") { s += " " + num(int32_t(c.u32())); return; }
  if (w == "type") { s += " " + kind(c.u8()); return; }
  if (w == "objtype") {
    m_objType = c.u8();
    s += " " + kind(m_objType);
    return;
  }
  if (w == "expr") { s += ' '; return expression(c, s, ind); }
  if (w == "term") {
    uint8_t t = c.u8();
    s += t == 0 ? " break" : t == kEnd ? " nobreak" : " term " + num(t);
    return;
  }
  if (w == "off") return offset(c, s);
  if (w == "target") return target(c, s);
  if (w == "subs") return subscripts(c, s, ind);
  if (w == "exprs") return exprList(c, s, ind);
  if (w == "optexpr") {
    uint8_t m = c.u8();
    if (m == kEnd) { s += " none"; return; }
    if (m != kDefaultMarker) s += " mark " + num(m);
    s += ' ';
    return expression(c, s, ind);
  }
  if (w == "field") return fieldRef(c, s, ind);
  if (w == "constant") return constant(c, s);
  if (w == "builtin") {
    uint8_t code = c.u8();
    if (code < kBuiltinCount && !kBuiltins[code].name.empty()) {
      s += " " + std::string(kBuiltins[code].name);
      return operands(c, s, kBuiltins[code].layout, ind);
    }
    s += " " + num(code);
    return;
  }
  if (w == "declare") return declare(c, s, ind);
  if (w == "colour") return colour(c, s, ind);
  if (w == "cursor") return cursor(c, s, ind);
  if (w == "caseitems") return caseItems(c, s, ind);
  if (w == "callproc" || w == "callargs") {
    uint8_t n = c.u8();
    target(c, s);
    return args(c, s, n, ind);
  }
  if (w == "callprocindirect" || w == "callargsindirect") {
    uint8_t n = c.u8();
    s += ' ';
    expression(c, s, ind);
    return args(c, s, n, ind);
  }
  if (w == "external") return external(c, s, false, ind);
  if (w == "externalresult") return external(c, s, true, ind);
  if (w == "assignparam" || w == "parameter") {
    bool assign = w == "assignparam";
    uint8_t k = c.u8();
    s += " " + kind(k) + " " + num(c.u8());
    if (assign) {
      if (k >= 30) {
        m_objType = k;
        return member(c, s, true, ind);
      }
      if (k >= 13 && k <= 22) subscripts(c, s, ind);
      else if (k == 29) fieldOperand(c, s, ind);
      s += ' ';
      return expression(c, s, ind);
    }
    if (k <= 7 || k == 9) return;
    if ((k >= 13 && k <= 20) || k == 22) return subscripts(c, s, ind);
    if (k == 29) return fieldOperand(c, s, ind);
    m_objType = k;
    return member(c, s, false, ind);
  }
  if (w == "member") return member(c, s, true, ind);
  if (w == "property") return member(c, s, false, ind);
  if (w == "recordfield" || w == "recordarrayfield") {
    bool arrayForm = w == "recordarrayfield";
    uint8_t sub = c.u8();
    if (sub == 63) {
      s += " set " + num(c.u16());
      if (arrayForm) {
        subscripts(c, s, ind);
      } else {
        uint8_t m = c.u8();
        if (m != kDefaultFieldMarker) s += " mark " + num(m);
      }
      fieldRef(c, s, ind);
      s += ' ';
      return expression(c, s, ind);
    }
    if (sub == 0 && !arrayForm) {
      s += " declare " + num(c.u16());
      return fieldList(c, s, ind);
    }
    s += " sub " + num(sub);
    return;
  }
  if (w == "copyrecord" || w == "copyrecordelement") {
    s += " " + num(c.u16());
    if (w == "copyrecordelement") subscripts(c, s, ind);
    return recordSource(c, s, ind);
  }
  if (w == "recordsize") {
    uint8_t m = c.u8();
    if (m == 37) { s += " rec " + num(c.u16()); return; }
    if (m != kDefaultRecordArraySize) s += " mark " + num(m);
    s += " elem " + num(c.u16());
    return subscripts(c, s, ind);
  }
  if (w == "objref") return objectRef(c, s, ind);
  if (w == "items") return itemList(c, s, ind);
  if (w == "wholeref") {
    if (c.u8() == kWholeRecordMarker) {
      s += " record " + num(c.u16());
      return;
    }
    --c.pos;
    return word(c, s, "arrayref", ind);
  }
  if (w == "arrayref") {
    uint8_t m = c.u8();
    if (m == 12) {
      s += " param " + num(c.u8());
      s += " " + kind(c.u8());
      return;
    }
    if (m != kDefaultArrayRefMarker) s += " mark " + num(m);
    s += " array " + kind(c.u8());
    s += " " + num(c.u16());
    return;
  }
  if (w == "addressref") {
    uint8_t m = c.u8();
    if (m == 1) {
      s += " global " + kind(c.u8());
      s += " " + num(c.u16());
      return subscripts(c, s, ind);
    }
    if (m != kDefaultLocalAddressSel) s += " mark " + num(m);
    s += " local " + kind(c.u8());
    s += " " + num(c.u16());
    return;
  }
  if (w == "variantref") {
    uint8_t m = c.u8();
    if (m == 1) { s += " var " + num(c.u16()); return; }
    if (m == 3) {
      s += " elem " + num(c.u16());
      return subscripts(c, s, ind);
    }
    if (m == 12) {
      uint8_t k = c.u8();
      s += " param " + kind(k);
      s += " " + num(c.u8());
      if (k != 9) subscripts(c, s, ind);
      return;
    }
    throw DecodeFail{};
  }
  throw DecodeFail{};  // a layout word this decoder does not know
}

void Disassembler::expression(Cur& c, std::string& s, int ind) {
  countWork();
  enter();
  // The object type of the statement around this expression: a property or a continuation
  // block inside it names other types, and the member after the subscripts needs this one.
  const uint8_t objType = m_objType;
  std::vector<size_t> visited;
  unsigned depthFails = m_depthFails;
  s += '{';
  try {
    for (;;) {
      if (!c.more() || m_exprFail[c.pos]) throw DecodeFail{};
      visited.push_back(c.pos);
      m_furthest = std::max(m_furthest, c.pos + 1);
      uint8_t b = c.u8();
      if (b == kEnd) break;
      const CodeInfo& info = kOperands[b];
      if (b == 2 && c.end - c.pos >= 3 && c.img[c.pos] == 0) {
        size_t l = size_t(c.img[c.pos + 1] | (c.img[c.pos + 2] << 8));
        if (l > kMaxStringConstant && c.end - c.pos - 3 >= l) {
          // Longer than the assembler writes as a constant: the same bytes spelled out.
          s += " .byte 2 0 .word " + num(int64_t(l)) + " .ascii ";
          appendQuoted(s, std::string_view(reinterpret_cast<const char*>(c.img + c.pos + 3), l));
          c.pos += 3 + l;
          continue;
        }
      }
      if (info.cls == 1) {
        s += " " + std::string(info.name);
        operands(c, s, info.layout, ind);
        if (isCallOperand(b) && c.more() && c.peek() == kContinuation) {
          ++c.pos;
          s += " then\n";
          // The block's statements print as lines of their own, inside the expression.
          std::string outer;
          outer.swap(m_out);
          try {
            enter();
            statements(c, ind + 1, true);
            --m_depth;
          } catch (const DecodeFail&) {
            m_out.swap(outer);
            throw;
          }
          s += m_out;
          m_out.swap(outer);
          s += indent(ind);
        }
      } else if (info.cls == 2) {
        s += " " + std::string(info.name);
      } else {
        s += " .byte " + num(b);
      }
    }
  } catch (const DecodeFail&) {
    --m_depth;
    if (m_depthFails == depthFails)
      for (size_t p : visited) m_exprFail[p] = 1;
    m_objType = objType;
    throw;
  }
  --m_depth;
  m_objType = objType;
  s += " }";
}

void Disassembler::subscripts(Cur& c, std::string& s, int ind) {
  uint8_t n = c.u8();
  s += " [";
  for (unsigned k = 0; k < n; ++k) {
    s += ' ';
    expression(c, s, ind);
  }
  s += " ]";
}

void Disassembler::exprList(Cur& c, std::string& s, int ind) {
  s += " (";
  for (;;) {
    uint8_t sep = c.u8();
    if (sep == kEnd) break;
    if (sep != kDefaultSeparator) s += " sep " + num(sep);
    s += ' ';
    expression(c, s, ind);
  }
  s += " )";
}

void Disassembler::constant(Cur& c, std::string& s) {
  uint8_t t = c.u8();
  s += " " + kind(t);
  switch (t) {
    case 0: {
      uint16_t l = c.u16();
      if (l > kMaxStringConstant) throw DecodeFail{};
      c.need(l);
      s += ' ';
      appendQuoted(s, std::string_view(reinterpret_cast<const char*>(c.img + c.pos), l));
      c.pos += l;
      return;
    }
    case 1: s += " " + num(c.u8()); return;
    case 2: s += " " + num(int16_t(c.u16())); return;
    case 3:
    case 5: s += " " + num(int32_t(c.u32())); return;
    case 4: s += " " + num(c.u16()); return;
    case 6: s += " " + singleText(c.u32()); return;
    case 7: s += " " + doubleText(c.u64()); return;
    default: return;
  }
}

void Disassembler::declare(Cur& c, std::string& s, int ind) {
  s += " " + num(c.u8());
  uint8_t k = c.u8();
  if (k == kDeclareScalar) {
    uint8_t t = c.u8();
    s += " var " + kind(t);
    if (t <= 9 || !kObjectTypes[t].name.empty()) s += " " + num(c.u16());
    if (t == 8) {
      s += ' ';
      expression(c, s, ind);
    }
    return;
  }
  if (k == kDeclareArray) {
    s += " array";
    return declaredArray(c, s, ind);
  }
  if (k == kRedimension) {
    uint8_t keep = c.u8();
    s += keep == 0 ? " redim" : keep == kDefaultKeep ? " redim keep" : " redim keep " + num(keep);
    return declaredArray(c, s, ind);
  }
  s += " kind " + num(k);
}

void Disassembler::declaredArray(Cur& c, std::string& s, int ind) {
  dims(c, s, ind);
  uint8_t t = c.u8();
  s += " " + (t == kRecordElements ? std::string("record") : kind(t)) + " " + num(c.u16());
  if (t == 8) {
    s += ' ';
    expression(c, s, ind);
  } else if (t == kRecordElements) {
    fieldList(c, s, ind);
  }
}

void Disassembler::dims(Cur& c, std::string& s, int ind) {
  s += " (";
  for (int n = 1;; ++n) {
    if (n > 5) throw DecodeFail{};
    s += ' ';
    expression(c, s, ind);
    uint8_t m = c.u8();
    if (m == 9) {
      s += " to ";
      expression(c, s, ind);
    } else if (m != kDefaultMarker) {
      s += " mark " + num(m);
    }
    uint8_t sep = c.u8();
    if (sep == kEnd) break;
    if (sep != kDefaultDimSeparator) s += " sep " + num(sep);
  }
  s += " )";
}

void Disassembler::colour(Cur& c, std::string& s, int ind) {
  uint8_t m1 = c.u8();
  if (m1 == kEnd) {
    s += " bg ";
    return expression(c, s, ind);
  }
  if (m1 != kDefaultMarker) s += " mark " + num(m1);
  s += " fg ";
  expression(c, s, ind);
  uint8_t m2 = c.u8();
  if (m2 == kEnd) return;
  if (m2 != kDefaultMarker) s += " mark " + num(m2);
  s += " bg ";
  expression(c, s, ind);
}

void Disassembler::cursor(Cur& c, std::string& s, int ind) {
  auto sizeTail = [&] {
    uint8_t m3 = c.u8();
    if (m3 == kEnd) return;
    if (m3 != kDefaultMarker) s += " mark " + num(m3);
    s += " size ";
    expression(c, s, ind);
  };
  uint8_t m1 = c.u8();
  if (m1 == kEnd) {
    uint8_t m2 = c.u8();
    if (m2 == kEnd) {
      s += " size ";
      return expression(c, s, ind);
    }
    if (m2 != kDefaultMarker) s += " mark " + num(m2);
    s += " col ";
    expression(c, s, ind);
    return sizeTail();
  }
  if (m1 != kDefaultMarker) s += " mark " + num(m1);
  s += " row ";
  expression(c, s, ind);
  uint8_t m2 = c.u8();
  if (m2 == kEnd) return;
  if (m2 == 2) {
    s += " size ";
    return expression(c, s, ind);
  }
  if (m2 != kDefaultColumnMarker) s += " mark " + num(m2);
  s += " col ";
  expression(c, s, ind);
  sizeTail();
}

void Disassembler::caseItems(Cur& c, std::string& s, int ind) {
  uint8_t n = c.u8();
  std::string items;
  unsigned read = 0;
  while (read < n) {
    uint8_t k = c.u8();
    if (k == 2 || k == 19) {
      items += k == 2 ? " eq " : " cond ";
      expression(c, items, ind);
      read += 1;
    } else {
      if (k != kDefaultRangeKind) items += " mark " + num(k);
      items += " range ";
      expression(c, items, ind);
      uint8_t m = c.u8();
      if (m != kDefaultRangeMiddle) items += " mark " + num(m);
      items += ' ';
      expression(c, items, ind);
      read += 2;
    }
  }
  s += " (";
  if (read != n) s += " count " + num(n);
  s += items;
  s += " )";
}

void Disassembler::args(Cur& c, std::string& s, unsigned n, int ind) {
  s += " (";
  for (unsigned a = 0; a < n; ++a) {
    uint8_t k = c.u8();
    if (isValueKind(k)) {
      s += " val " + kind(k) + " ";
      expression(c, s, ind);
      continue;
    }
    if (!isPlainRefKind(k) && !isSelectorKind(k)) throw DecodeFail{};
    uint16_t idx = c.u16();
    if (idx == 0xFFFF) {
      s += " fwd " + kind(k) + " " + num(c.u8());
      continue;
    }
    s += " ref " + kind(k) + " " + num(idx);
    if (isPlainRefKind(k)) continue;
    uint8_t sel = c.u8();
    if (isSubscriptSelector(sel)) {
      if (sel != kDefaultElementSelector) s += " sel " + num(sel);
      subscripts(c, s, ind);
    } else if (sel != kDefaultScalarSelector) {
      s += " sel " + num(sel);
    }
  }
  s += " )";
}

void Disassembler::external(Cur& c, std::string& s, bool withResult, int ind) {
  name(c, s);
  name(c, s);
  uint8_t count = c.u8();
  unsigned n = count > 200 ? 255u - count : count;
  if (count > 200) s += " count " + num(count);
  if (withResult) s += " " + kind(c.u8());
  s += " (";
  for (unsigned a = 0; a < n; ++a) {
    uint8_t t = c.u8();
    s += " " + kind(t);
    if (n <= 2 || t < 30) {
      s += ' ';
      expression(c, s, ind);
      continue;
    }
    uint16_t idx = c.u16();
    if (idx == 0xFFFF)
      s += " local " + num(c.u8());
    else
      s += " " + num(idx);
  }
  s += " )";
}

void Disassembler::fieldRef(Cur& c, std::string& s, int ind) {
  uint8_t t = c.u8();
  s += " " + kind(t) + " " + num(c.u16());
  if (isArrayField(t)) subscripts(c, s, ind);
}

void Disassembler::fieldOperand(Cur& c, std::string& s, int ind) {
  uint8_t m = c.u8();
  if (m == 37) {
    s += " field";
    return fieldRef(c, s, ind);
  }
  if (m == 38) {
    s += " efield";
    subscripts(c, s, ind);
    return fieldRef(c, s, ind);
  }
  throw DecodeFail{};
}

void Disassembler::member(Cur& c, std::string& s, bool write, int ind) {
  uint8_t id = c.u8();
  auto name = memberName(m_objType, id, write);
  s += " " + (name ? std::string(*name) : num(id));
  if (auto layout = memberLayout(m_objType, id, write)) {
    const uint8_t objType = m_objType;  // an object reference operand names another type
    operands(c, s, *layout, ind);
    m_objType = objType;
  }
}

void Disassembler::objectRef(Cur& c, std::string& s, int ind) {
  uint8_t tag = c.u8();
  uint8_t type = c.u8();
  if (tag == 12) {
    s += " objparam " + kind(type) + " " + num(c.u8());
    return;
  }
  if (tag == 29) {
    s += " objelem " + kind(type) + " " + num(c.u16());
    return subscripts(c, s, ind);
  }
  if (tag != kDefaultObjectRefTag) s += " mark " + num(tag);
  s += " obj " + kind(type) + " " + num(c.u16());
}

void Disassembler::itemList(Cur& c, std::string& s, int ind) {
  s += " (";
  for (;;) {
    s += ' ';
    expression(c, s, ind);
    uint8_t sep = c.u8();
    if (sep == kEnd) break;
    if (sep != kDefaultSeparator) s += " sep " + num(sep);
  }
  s += " )";
}

void Disassembler::fieldList(Cur& c, std::string& s, int ind) {
  s += " (";
  for (;;) {
    uint8_t t = c.u8();
    if (t == kEnd) break;
    if (isArrayField(t)) {
      s += " array " + kind(uint8_t(t - kArrayFieldBase));
      dims(c, s, ind);
      s += " " + num(c.u16());
      if (t == kArrayFieldBase + 8) {
        s += ' ';
        expression(c, s, ind);
      }
      continue;
    }
    s += " " + kind(t);
    if (t == 8) {
      s += ' ';
      expression(c, s, ind);
    }
  }
  s += " )";
}

// Any marker but 37 and 38 is an impossible copy, printed raw.
void Disassembler::recordSource(Cur& c, std::string& s, int ind) {
  uint8_t m = c.u8();
  if (m == kRecordSource) {
    s += " rec " + num(c.u16());
    return;
  }
  if (m != kElementSource) throw DecodeFail{};
  s += " elem " + num(c.u16());
  subscripts(c, s, ind);
}

}  // namespace

std::string disassemble(const std::vector<uint8_t>& image) {
  Disassembler d(image);
  return d.run();
}

}  // namespace tavrin
