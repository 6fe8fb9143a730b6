// The assembler: source text to a program image. Statements and operands are parsed by
// walking the layout words of the encoding tables; the irregular forms have one routine each.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <unordered_map>

#include "tools/asm.h"
#include "tools/asm_lexer.h"
#include "tools/asm_syntax.h"

namespace tavrin {

namespace {

using namespace asmtext;

constexpr int kMaxNesting = 200;       // expressions and statement blocks inside each other
constexpr size_t kMaxStringConstant = 2048;
constexpr uint8_t kProcTag = 10, kResourceTag = 18, kDataTag = 30;

bool isCallOperand(uint8_t tag) { return tag == 13 || tag == 15 || tag == 17 || tag == 27 || tag == 28; }

class Assembler {
 public:
  Assembler(std::string_view source, const std::string& path) : m_file(path) {
    size_t slash = path.find_last_of('/');
    m_dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    m_toks = tokenize(source, path);
  }

  std::vector<uint8_t> run();

 private:
  enum class Until { EndOfFile, DotEnd, EndThen };
  struct Fixup {
    size_t at;
    std::string label;
    bool relative;
    int line;
  };

  std::vector<Token> m_toks;
  size_t m_i = 0;
  std::string m_file, m_dir;
  std::vector<uint8_t> m_out;
  std::unordered_map<std::string, uint32_t> m_labels;
  std::vector<Fixup> m_fixups;
  int m_depth = 0;
  uint8_t m_objType = 0;  // the last object type operand, for member and property layouts

  const Token& peek(size_t k = 0) const { return m_toks[std::min(m_i + k, m_toks.size() - 1)]; }
  const Token& next() {
    const Token& t = m_toks[m_i];
    if (m_i + 1 < m_toks.size()) ++m_i;
    return t;
  }
  [[noreturn]] void fail(const std::string& msg) const { throw AsmError{m_file, peek().line, msg}; }
  bool atIdent(std::string_view word) const { return peek().kind == Tok::Ident && peek().text == word; }
  bool acceptIdent(std::string_view word) {
    if (!atIdent(word)) return false;
    next();
    return true;
  }
  std::string describe(const Token& t) const;
  void expect(Tok kind, const char* what) {
    if (peek().kind != kind) fail(std::string("expected ") + what + ", found " + describe(peek()));
    next();
  }

  void emit8(uint64_t v) { m_out.push_back(uint8_t(v)); }
  void emit16(uint64_t v) { emit8(v); emit8(v >> 8); }
  void emit32(uint64_t v) { emit16(v); emit16(v >> 16); }
  void emit64(uint64_t v) { emit32(v); emit32(v >> 32); }
  void patch32(size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) m_out[at + k] = uint8_t(v >> (8 * k));
  }
  size_t here() const { return m_out.size(); }

  int64_t integer(int64_t lo, int64_t hi, const char* what);
  uint8_t byteValue(const char* what) { return uint8_t(integer(-128, 255, what)); }
  std::optional<uint8_t> optMark();
  std::optional<uint8_t> optKeywordNumber(std::string_view keyword, const char* what);
  uint8_t typeByte(const char* what);
  void defineLabel(const std::string& name);
  void reference(bool relative);

  void statements(Until until);
  void statementItem(int& thenDepth);
  bool rawItem();
  void operands(std::string_view layout);
  void word(std::string_view w);
  void expression();
  void subscripts();
  void exprList();
  void constant();
  void builtin();
  void declare();
  void declaredArray();
  void recordSource();
  void dims();
  void colour();
  void cursor();
  void caseItems();
  unsigned args();
  void arg();
  void external(bool withResult);
  void assignParam();
  void parameter();
  void fieldRef();
  void fieldOperand();
  void member(bool write);
  void objectRef();
  void itemList();
  void wholeRef();
  void recordField(bool arrayForm);
  void fieldList();
  void recordSize();
  void arrayRef();
  void addressRef();
  void variantRef();
  double floatValue(bool single);
  void resource();
  void dataBlock();
};

std::string Assembler::describe(const Token& t) const {
  switch (t.kind) {
    case Tok::Ident: return "'" + t.text + "'";
    case Tok::Number: return "number " + t.text;
    case Tok::String: return "a string";
    case Tok::Directive: return "." + t.text;
    case Tok::Label: return "label " + t.text + ":";
    case Tok::Ref: return "@" + t.text;
    case Tok::LBrace: return "'{'";
    case Tok::RBrace: return "'}'";
    case Tok::LBracket: return "'['";
    case Tok::RBracket: return "']'";
    case Tok::LParen: return "'('";
    case Tok::RParen: return "')'";
    case Tok::End: return "the end of the file";
  }
  return "?";
}

int64_t Assembler::integer(int64_t lo, int64_t hi, const char* what) {
  const Token& t = peek();
  int64_t v = 0;
  if (t.kind != Tok::Number || !parseInteger(t.text, v))
    fail(std::string("expected ") + what + " (an integer), found " + describe(t));
  if (v < lo || v > hi)
    fail(std::string(what) + " " + t.text + " out of range " + std::to_string(lo) + ".." + std::to_string(hi));
  next();
  return v;
}

std::optional<uint8_t> Assembler::optKeywordNumber(std::string_view keyword, const char* what) {
  if (!acceptIdent(keyword)) return std::nullopt;
  return byteValue(what);
}

std::optional<uint8_t> Assembler::optMark() { return optKeywordNumber("mark", "marker byte"); }

uint8_t Assembler::typeByte(const char* what) {
  const Token& t = peek();
  if (t.kind == Tok::Ident) {
    if (auto v = findValueType(t.text)) { next(); return *v; }
    if (auto o = findObjectType(t.text)) { next(); return *o; }
    fail(std::string("unknown ") + what + " '" + t.text + "'");
  }
  return uint8_t(integer(0, 255, what));
}

void Assembler::defineLabel(const std::string& name) {
  if (!m_labels.emplace(name, uint32_t(here())).second) fail("label '" + name + "' defined twice");
}

void Assembler::reference(bool relative) {
  m_fixups.push_back(Fixup{here(), peek().text, relative, peek().line});
  next();
  emit32(0);
}

std::vector<uint8_t> Assembler::run() {
  enum Stage { Procs, Resources, Data, Main } stage = Procs;
  bool raw = false;
  if (peek().kind == Tok::Directive && peek().text == "raw") {
    raw = true;
    next();
  }
  auto emitEmptyData = [&] {
    emit8(kDataTag);
    emit32(4);
  };
  auto order = [&](Stage s, const char* what) {
    if (!raw && stage > s) fail(std::string(what) + " must come before the records that follow it (procedures, resources, data, .main)");
    if (stage < s) stage = s;
  };
  while (peek().kind != Tok::End) {
    const Token& t = peek();
    if (t.kind == Tok::Label) {
      defineLabel(t.text);
      next();
      continue;
    }
    if (t.kind == Tok::Directive) {
      if (t.text == "proc") {
        order(Procs, ".proc");
        next();
        if (peek().kind != Tok::Ident) fail("expected a procedure name after .proc");
        emit8(kProcTag);
        defineLabel(next().text);
        size_t at = here();
        emit32(0);
        statements(Until::DotEnd);
        patch32(at, uint32_t(here() - at));
        continue;
      }
      if (t.text == "resource") {
        order(Resources, ".resource");
        next();
        resource();
        continue;
      }
      if (t.text == "data") {
        if (!raw && stage >= Data) fail(".data must come once, before .main");
        order(Data, ".data");
        next();
        dataBlock();
        continue;
      }
      if (t.text == "main") {
        if (!raw && stage == Main) fail(".main given twice");
        if (!raw && stage < Data) emitEmptyData();
        stage = Main;
        next();
        statements(Until::EndOfFile);
        continue;
      }
      if (rawItem()) continue;
      fail("directive ." + t.text + " is not allowed here");
    }
    if (!raw) fail("statement " + describe(t) + " outside .proc and .main");
    int thenDepth = 0;
    statementItem(thenDepth);
  }
  if (!raw && stage < Data) emitEmptyData();
  for (const Fixup& f : m_fixups) {
    auto it = m_labels.find(f.label);
    if (it == m_labels.end()) throw AsmError{m_file, f.line, "undefined label '" + f.label + "'"};
    uint32_t v = f.relative ? uint32_t(int64_t(it->second) - int64_t(f.at + 4)) : it->second;
    patch32(f.at, v);
  }
  return std::move(m_out);
}

void Assembler::resource() {
  emit8(kResourceTag);
  size_t at = here();
  emit32(0);
  if (peek().kind == Tok::String) {
    std::string rel = next().text;
    std::string full = (!rel.empty() && rel[0] == '/') ? rel : m_dir + rel;
    // Only a regular file of known size: a directory made the read throw, and a device such
    // as /dev/zero would never end.
    constexpr off_t kMaxResourceFile = off_t(1) << 28;
    struct stat st {};
    if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      fail("cannot read resource file '" + full + "' (not a regular file)");
    if (st.st_size > kMaxResourceFile) fail("resource file '" + full + "' is larger than 256 MiB");
    std::ifstream in(full, std::ios::binary);
    std::vector<char> bytes(size_t(st.st_size));
    if (!in || !in.read(bytes.data(), std::streamsize(bytes.size())) || in.gcount() != std::streamsize(bytes.size()))
      fail("cannot read resource file '" + full + "'");
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
  } else if (acceptIdent("bytes")) {
    while (peek().kind == Tok::Number) emit8(byteValue("resource byte"));
  } else if (acceptIdent("text")) {
    if (peek().kind != Tok::String) fail("expected a string after .resource text");
    while (peek().kind == Tok::String) {
      const std::string& s = next().text;
      m_out.insert(m_out.end(), s.begin(), s.end());
    }
  } else {
    fail("expected \"file\", bytes or text after .resource");
  }
  patch32(at, uint32_t(here() - at - 4));
}

void Assembler::dataBlock() {
  uint8_t tag = kDataTag;
  if (acceptIdent("tag")) tag = byteValue("data block tag");
  emit8(tag);
  size_t at = here();
  emit32(0);
  for (;;) {
    const Token& t = peek();
    if (t.kind == Tok::Directive && t.text == "end") {
      next();
      break;
    }
    if (t.kind == Tok::End) fail("missing .end of .data");
    if (t.kind == Tok::Label) {
      defineLabel(t.text);
      next();
      continue;
    }
    if (rawItem()) continue;
    if (acceptIdent("text")) {
      if (peek().kind != Tok::String) fail("expected a string after text");
      const std::string& s = peek().text;
      if (s.size() > 0xFFFF) fail("a data text is at most 65535 bytes");
      next();
      emit8(2);
      emit16(s.size());
      m_out.insert(m_out.end(), s.begin(), s.end());
      continue;
    }
    if (acceptIdent("item")) {
      uint8_t kind = byteValue("data item kind");
      if (kind == 2) fail("data item kind 2 is a text: write text \"...\"");
      emit8(kind);
      expression();
      continue;
    }
    fail("expected text, item or .end in .data, found " + describe(t));
  }
  patch32(at, uint32_t(here() - at));
}

bool Assembler::rawItem() {
  const Token& t = peek();
  if (t.kind != Tok::Directive) return false;
  if (t.text == "byte" || t.text == "word") {
    bool word = t.text == "word";
    next();
    if (peek().kind != Tok::Number) fail("expected a number after ." + std::string(word ? "word" : "byte"));
    while (peek().kind == Tok::Number) {
      if (word)
        emit16(uint64_t(integer(-32768, 65535, "word")));
      else
        emit8(byteValue("byte"));
    }
    return true;
  }
  if (t.text == "dword") {
    next();
    if (peek().kind != Tok::Number && peek().kind != Tok::Ref) fail("expected a number or @label after .dword");
    while (peek().kind == Tok::Number || peek().kind == Tok::Ref) {
      if (peek().kind == Tok::Ref)
        reference(false);
      else
        emit32(uint64_t(integer(INT32_MIN, UINT32_MAX, "dword")));
    }
    return true;
  }
  if (t.text == "ascii") {
    next();
    if (peek().kind != Tok::String) fail("expected a string after .ascii");
    while (peek().kind == Tok::String) {
      const std::string& s = next().text;
      m_out.insert(m_out.end(), s.begin(), s.end());
    }
    return true;
  }
  return false;
}

void Assembler::statements(Until until) {
  if (++m_depth > kMaxNesting) fail("blocks nested too deeply");
  int thenDepth = 0;
  for (;;) {
    const Token& t = peek();
    if (t.kind == Tok::End) {
      if (until == Until::EndOfFile) break;
      fail(until == Until::DotEnd ? "missing .end" : "missing endthen");
    }
    if (t.kind == Tok::Directive && t.text == "end") {
      if (until != Until::DotEnd) fail(".end without .proc or .data");
      next();
      break;
    }
    if (until == Until::EndThen && thenDepth == 0 && atIdent("endthen")) {
      next();
      emit8(kReturn);
      break;
    }
    statementItem(thenDepth);
  }
  --m_depth;
}

void Assembler::statementItem(int& thenDepth) {
  const Token& t = peek();
  switch (t.kind) {
    case Tok::Label:
      defineLabel(t.text);
      next();
      return;
    case Tok::Directive:
      if (rawItem()) return;
      if (t.text == "proc" || t.text == "resource" || t.text == "data" || t.text == "main")
        fail("." + t.text + " is not allowed inside a procedure or after .main");
      fail("directive ." + t.text + " is not allowed here");
    case Tok::LBrace: expression(); return;
    case Tok::LBracket: subscripts(); return;
    case Tok::Ident: break;
    default: fail("expected a statement, found " + describe(t));
  }
  if (t.text == "then") {
    next();
    emit8(kContinuation);
    ++thenDepth;
    return;
  }
  if (t.text == "endthen") {
    next();
    emit8(kReturn);
    if (thenDepth > 0) --thenDepth;
    return;
  }
  auto m = findStatement(t.text);
  if (!m) fail("unknown mnemonic '" + t.text + "'");
  next();
  if (m->command) emit8(0);
  emit8(m->code);
  operands(m->layout);
}

void Assembler::operands(std::string_view layout) {
  size_t i = 0;
  while (i < layout.size()) {
    size_t j = layout.find(' ', i);
    if (j == std::string_view::npos) j = layout.size();
    if (j > i) word(layout.substr(i, j - i));
    i = j + 1;
  }
}

void Assembler::word(std::string_view w) {
  if (w == "u8") return emit8(byteValue("byte operand"));
  if (w == "u16") return emit16(uint64_t(integer(-32768, 65535, "16-bit operand")));
  if (w == "u32" || w == "i32") {
    if (w == "u32" && peek().kind == Tok::Ref) return reference(false);
    return emit32(uint64_t(integer(INT32_MIN, UINT32_MAX, "32-bit operand")));
  }
  if (w == "type") return emit8(typeByte("type"));
  if (w == "objtype") {
    m_objType = typeByte("object type");
    return emit8(m_objType);
  }
  if (w == "expr") return expression();
  if (w == "term") {
    if (acceptIdent("break")) return emit8(0);
    if (acceptIdent("nobreak")) return emit8(kEnd);
    if (acceptIdent("term")) return emit8(byteValue("terminator byte"));
    fail("expected break, nobreak or term N, found " + describe(peek()));
  }
  if (w == "off") {
    if (peek().kind == Tok::Ref) return reference(true);
    return emit32(uint64_t(integer(INT32_MIN, INT32_MAX, "jump offset")));
  }
  if (w == "target") {
    if (peek().kind == Tok::Ref) return reference(false);
    return emit32(uint64_t(integer(0, UINT32_MAX, "procedure target")));
  }
  if (w == "subs") return subscripts();
  if (w == "exprs") return exprList();
  if (w == "optexpr") {
    if (acceptIdent("none")) return emit8(kEnd);
    uint8_t m = optMark().value_or(kDefaultMarker);
    if (m == kEnd) fail("marker 11 means no argument: write none");
    emit8(m);
    return expression();
  }
  if (w == "field") return fieldRef();
  if (w == "constant") return constant();
  if (w == "builtin") return builtin();
  if (w == "declare") return declare();
  if (w == "colour") return colour();
  if (w == "cursor") return cursor();
  if (w == "caseitems") return caseItems();
  if (w == "callproc" || w == "callargs") {
    size_t countAt = here();
    emit8(0);
    if (peek().kind == Tok::Ref)
      reference(false);
    else
      emit32(uint64_t(integer(0, UINT32_MAX, "procedure target")));
    m_out[countAt] = uint8_t(args());
    return;
  }
  if (w == "callprocindirect" || w == "callargsindirect") {
    size_t countAt = here();
    emit8(0);
    expression();
    m_out[countAt] = uint8_t(args());
    return;
  }
  if (w == "external") return external(false);
  if (w == "externalresult") return external(true);
  if (w == "assignparam") return assignParam();
  if (w == "parameter") return parameter();
  if (w == "member") return member(true);
  if (w == "property") return member(false);
  if (w == "recordfield") return recordField(false);
  if (w == "recordarrayfield") return recordField(true);
  if (w == "copyrecord" || w == "copyrecordelement") {
    emit16(uint64_t(integer(-32768, 65535, w == "copyrecord" ? "record number" : "record array number")));
    if (w == "copyrecordelement") subscripts();
    return recordSource();
  }
  if (w == "recordsize") return recordSize();
  if (w == "arrayref") return arrayRef();
  if (w == "addressref") return addressRef();
  if (w == "variantref") return variantRef();
  if (w == "objref") return objectRef();
  if (w == "items") return itemList();
  if (w == "wholeref") return wholeRef();
  fail("internal: unknown layout word '" + std::string(w) + "'");
}

void Assembler::expression() {
  if (peek().kind != Tok::LBrace) fail("expected an expression '{ ... }', found " + describe(peek()));
  next();
  if (++m_depth > kMaxNesting) fail("expressions nested too deeply");
  // A property or a continuation block inside names other object types; the statement's
  // member after its subscripts is still looked up in its own.
  const uint8_t objType = m_objType;
  for (;;) {
    const Token& t = peek();
    switch (t.kind) {
      case Tok::RBrace:
        next();
        emit8(kEnd);
        --m_depth;
        m_objType = objType;
        return;
      case Tok::Label:
        defineLabel(t.text);
        next();
        continue;
      case Tok::Directive:
        if (rawItem()) continue;
        fail("directive ." + t.text + " is not allowed in an expression");
      case Tok::LBracket: subscripts(); continue;
      case Tok::LBrace: expression(); continue;
      case Tok::End: fail("unterminated expression: missing '}'");
      case Tok::Number: fail("a number in an expression is written as a constant: const TYPE " + t.text);
      case Tok::Ident: break;
      default: fail("unexpected " + describe(t) + " in an expression");
    }
    if (t.text == "then") fail("then must follow a call");
    auto item = findExpressionItem(t.text);
    if (!item) fail("unknown operand or operator '" + t.text + "'");
    next();
    emit8(*item);
    operands(kOperands[*item].layout);
    if (isCallOperand(*item) && acceptIdent("then")) {
      emit8(kContinuation);
      statements(Until::EndThen);
    }
  }
}

void Assembler::subscripts() {
  expect(Tok::LBracket, "'[' (a subscript list)");
  size_t at = here();
  emit8(0);
  unsigned n = 0;
  while (peek().kind != Tok::RBracket) {
    if (n == 255) fail("more than 255 subscripts");
    expression();
    ++n;
  }
  next();
  m_out[at] = uint8_t(n);
}

void Assembler::exprList() {
  expect(Tok::LParen, "'(' (an expression list)");
  for (;;) {
    if (peek().kind == Tok::RParen) {
      next();
      return emit8(kEnd);
    }
    uint8_t sep = optKeywordNumber("sep", "separator byte").value_or(kDefaultSeparator);
    if (sep == kEnd) fail("separator 11 would end the list");
    emit8(sep);
    expression();
  }
}

double Assembler::floatValue(bool single) {
  const Token& t = peek();
  if (t.kind == Tok::Ident && (t.text == "nan" || t.text == "inf")) {
    next();
    return t.text == "nan" ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
  }
  if (t.kind != Tok::Number) fail("expected a number, found " + describe(t));
  std::string text = t.text;
  bool neg = !text.empty() && text[0] == '-';
  std::string body = (neg || (!text.empty() && text[0] == '+')) ? text.substr(1) : text;
  double v;
  if (body == "nan") {
    v = std::numeric_limits<double>::quiet_NaN();
  } else if (body == "inf") {
    v = std::numeric_limits<double>::infinity();
  } else {
    int64_t iv;
    if (parseInteger(text, iv) && text.find_first_of("xX") != std::string::npos) fail("write a float's bits as: bits 0x...");
    char* end = nullptr;
    errno = 0;
    v = single ? double(std::strtof(text.c_str(), &end)) : std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) fail("malformed number " + text);
    next();
    return v;
  }
  next();
  return neg ? -v : v;
}

void Assembler::constant() {
  uint8_t type = typeByte("constant type");
  emit8(type);
  switch (type) {
    case 0: {
      if (peek().kind != Tok::String) fail("expected a string constant, found " + describe(peek()));
      const std::string& s = peek().text;
      if (s.size() > kMaxStringConstant)
        fail("string constant of " + std::to_string(s.size()) + " bytes is longer than 2048 bytes (write it with .ascii)");
      emit16(s.size());
      m_out.insert(m_out.end(), s.begin(), s.end());
      next();
      return;
    }
    case 1: return emit8(uint64_t(integer(0, 255, "Byte constant")));
    case 2: return emit16(uint64_t(integer(-32768, 32767, "Short constant")));
    case 3:
    case 5: return emit32(uint64_t(integer(INT32_MIN, UINT32_MAX, "32-bit constant")));
    case 4: return emit16(uint64_t(integer(0, 65535, "Word constant")));
    case 6: {
      if (acceptIdent("bits")) return emit32(uint64_t(integer(0, UINT32_MAX, "Single bits")));
      float f = float(floatValue(true));
      uint32_t b;
      std::memcpy(&b, &f, 4);
      return emit32(b);
    }
    case 7: {
      if (acceptIdent("bits")) {
        const Token& t = peek();
        uint64_t b = 0;
        bool ok = t.kind == Tok::Number && t.text.size() > 2 && t.text.size() <= 18 && t.text[0] == '0' &&
                  (t.text[1] == 'x' || t.text[1] == 'X');
        for (size_t k = 2; ok && k < t.text.size(); ++k) {
          char c = t.text[k];
          int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
          if (d < 0) ok = false;
          b = b * 16 + uint64_t(d);
        }
        if (!ok) fail("expected up to 16 hexadecimal digits 0x... after bits");
        next();
        return emit64(b);
      }
      double d = floatValue(false);
      uint64_t b;
      std::memcpy(&b, &d, 8);
      return emit64(b);
    }
    default: return;  // constants of the other types carry no value
  }
}

void Assembler::builtin() {
  const Token& t = peek();
  uint8_t code;
  if (t.kind == Tok::Ident) {
    auto b = findBuiltin(t.text);
    if (!b) fail("unknown built-in function '" + t.text + "'");
    code = *b;
    next();
  } else {
    code = uint8_t(integer(0, 255, "built-in function code"));
  }
  emit8(code);
  if (code < kBuiltinCount) operands(kBuiltins[code].layout);
}

void Assembler::declare() {
  emit8(byteValue("declaration scope"));
  if (acceptIdent("var")) {
    emit8(kDeclareScalar);
    uint8_t t = typeByte("declared type");
    emit8(t);
    if (t <= 9 || !kObjectTypes[t].name.empty()) emit16(uint64_t(integer(-32768, 65535, "variable number")));
    if (t == 8) expression();  // the declared length of the fixed string
    return;
  }
  if (acceptIdent("array")) {
    emit8(kDeclareArray);
    return declaredArray();
  }
  if (acceptIdent("redim")) {
    emit8(kRedimension);
    uint8_t keep = 0;
    if (acceptIdent("keep")) {
      keep = kDefaultKeep;
      if (peek().kind == Tok::Number) keep = byteValue("keep byte");
      if (keep == 0) fail("keep byte 0 is written redim without keep");
    }
    emit8(keep);
    return declaredArray();
  }
  if (acceptIdent("kind")) {
    uint8_t k = byteValue("declaration kind");
    if (k == kDeclareScalar || k == kDeclareArray) fail("declaration kinds 1 and 3 are written var and array");
    return emit8(k);  // kind 4 alone leaves its operands to raw items
  }
  fail("expected var, array, redim or kind N, found " + describe(peek()));
}

// The operands of kinds 3 and 4: dimensions, element type, array number, and what the
// element type needs: a length for FixedString, the record type's field list for records.
void Assembler::declaredArray() {
  dims();
  uint8_t t = acceptIdent("record") ? kRecordElements : typeByte("element type");
  emit8(t);
  emit16(uint64_t(integer(-32768, 65535, "array number")));
  if (t == 8) expression();  // the declared length of the fixed strings
  else if (t == kRecordElements) fieldList();
}

void Assembler::dims() {
  expect(Tok::LParen, "'(' (a dimension list)");
  int n = 0;
  for (;;) {
    if (peek().kind == Tok::RParen) fail(n == 0 ? "a dimension list needs at least one dimension" : "internal");
    if (++n > 5) fail("more than 5 dimensions");
    expression();
    if (acceptIdent("to")) {
      emit8(9);
      expression();
    } else {
      uint8_t m = optMark().value_or(kDefaultMarker);
      if (m == 9) fail("marker 9 introduces an upper bound: write {lower} to {upper}");
      emit8(m);
    }
    auto sep = optKeywordNumber("sep", "dimension separator");
    if (peek().kind == Tok::RParen) {
      if (sep) fail("the last dimension is always followed by 11");
      next();
      emit8(kEnd);
      return;
    }
    if (sep == kEnd) fail("separator 11 ends the dimension list");
    emit8(sep.value_or(kDefaultDimSeparator));
  }
}

void Assembler::colour() {
  auto m1 = optMark();
  if (acceptIdent("bg")) {
    if (m1) fail("a background alone has marker 11");
    emit8(kEnd);
    return expression();
  }
  if (!acceptIdent("fg")) fail("expected fg or bg, found " + describe(peek()));
  if (m1 == kEnd) fail("marker 11 means no foreground");
  emit8(m1.value_or(kDefaultMarker));
  expression();
  auto m2 = optMark();
  if (acceptIdent("bg")) {
    if (m2 == kEnd) fail("marker 11 means no background");
    emit8(m2.value_or(kDefaultMarker));
    return expression();
  }
  if (m2) fail("expected bg after mark");
  emit8(kEnd);
}

void Assembler::cursor() {
  auto m1 = optMark();
  auto sizeTail = [&] {  // after a column: optional size
    auto m3 = optMark();
    if (acceptIdent("size")) {
      if (m3 == kEnd) fail("marker 11 means no size");
      emit8(m3.value_or(kDefaultMarker));
      return expression();
    }
    if (m3) fail("expected size after mark");
    emit8(kEnd);
  };
  if (acceptIdent("row")) {
    if (m1 == kEnd) fail("marker 11 means no row");
    emit8(m1.value_or(kDefaultMarker));
    expression();
    auto m2 = optMark();
    if (acceptIdent("size")) {
      if (m2) fail("a size right after the row has marker 2");
      emit8(2);
      return expression();
    }
    if (acceptIdent("col")) {
      if (m2 == kEnd || m2 == 2) fail("markers 11 and 2 mean no column after a row");
      emit8(m2.value_or(kDefaultColumnMarker));
      expression();
      return sizeTail();
    }
    if (m2) fail("expected col or size after mark");
    return emit8(kEnd);
  }
  if (acceptIdent("col")) {
    if (m1 == kEnd) fail("marker 11 means no column");
    emit8(kEnd);
    emit8(m1.value_or(kDefaultMarker));
    expression();
    return sizeTail();
  }
  if (acceptIdent("size")) {
    if (m1) fail("a size alone has markers 11 11");
    emit8(kEnd);
    emit8(kEnd);
    return expression();
  }
  fail("expected row, col or size, found " + describe(peek()));
}

void Assembler::caseItems() {
  expect(Tok::LParen, "'(' (a case item list)");
  auto count = optKeywordNumber("count", "item count");
  size_t at = here();
  emit8(0);
  unsigned total = 0, lastWeight = 0;
  while (peek().kind != Tok::RParen) {
    auto m = optMark();
    if (acceptIdent("eq")) {
      if (m) fail("a single value has kind 2");
      emit8(2);
      expression();
      lastWeight = 1;
    } else if (acceptIdent("cond")) {
      if (m) fail("a condition has kind 19");
      emit8(19);
      expression();
      lastWeight = 1;
    } else if (acceptIdent("range")) {
      if (m == 2 || m == 19) fail("kinds 2 and 19 are eq and cond");
      emit8(m.value_or(kDefaultRangeKind));
      expression();
      emit8(optMark().value_or(kDefaultRangeMiddle));
      expression();
      lastWeight = 2;
    } else {
      fail("expected eq, cond or range, found " + describe(peek()));
    }
    total += lastWeight;
    if (total > 255) fail("more than 255 case items");
  }
  next();
  unsigned n = total;
  if (count) {
    // The engine reads items while fewer than n have been read; a range counts two.
    if (!(total == 0 ? *count == 0 : (*count > total - lastWeight && *count <= total)))
      fail("count " + std::to_string(*count) + " does not match the items written");
    n = *count;
  }
  m_out[at] = uint8_t(n);
}

unsigned Assembler::args() {
  expect(Tok::LParen, "'(' (an argument list)");
  unsigned n = 0;
  while (peek().kind != Tok::RParen) {
    if (n == 255) fail("more than 255 arguments");
    arg();
    ++n;
  }
  next();
  return n;
}

void Assembler::arg() {
  if (acceptIdent("val")) {
    uint8_t k = typeByte("argument kind");
    if (!isValueKind(k)) fail("argument kind " + std::to_string(k) + " is not passed by value");
    emit8(k);
    return expression();
  }
  if (acceptIdent("fwd")) {
    uint8_t k = typeByte("argument kind");
    if (!isPlainRefKind(k) && !isSelectorKind(k)) fail("argument kind " + std::to_string(k) + " is not passed by reference");
    emit8(k);
    emit16(0xFFFF);
    return emit8(byteValue("caller's slot"));
  }
  if (!acceptIdent("ref")) fail("expected val, ref or fwd, found " + describe(peek()));
  uint8_t k = typeByte("argument kind");
  emit8(k);
  if (isPlainRefKind(k)) return emit16(uint64_t(integer(0, 65534, "reference number")));
  if (!isSelectorKind(k)) fail("argument kind " + std::to_string(k) + " is not passed by reference");
  emit16(uint64_t(integer(0, 65534, "reference number")));
  auto sel = optKeywordNumber("sel", "selector byte");
  bool subs = peek().kind == Tok::LBracket;
  uint8_t s = sel.value_or(subs ? kDefaultElementSelector : kDefaultScalarSelector);
  if (isSubscriptSelector(s) != subs)
    fail(subs ? "selector " + std::to_string(s) + " takes no subscripts" : "selector " + std::to_string(s) + " needs subscripts");
  emit8(s);
  if (subs) subscripts();
}

void Assembler::external(bool withResult) {
  for (int k = 0; k < 2; ++k) {
    if (peek().kind != Tok::String) fail(k == 0 ? "expected the library name as a string" : "expected the function name as a string");
    const std::string& s = peek().text;
    if (s.size() > 0xFFFF) fail("a name is at most 65535 bytes");
    emit16(s.size());
    m_out.insert(m_out.end(), s.begin(), s.end());
    next();
  }
  auto count = optKeywordNumber("count", "argument count");
  size_t countAt = here();
  emit8(0);
  if (withResult) emit8(typeByte("result type"));
  expect(Tok::LParen, "'(' (an argument list)");
  struct Arg { uint8_t type; bool isExpr; int line; };
  std::vector<Arg> list;
  while (peek().kind != Tok::RParen) {
    int line = peek().line;
    uint8_t t = typeByte("argument type");
    emit8(t);
    if (peek().kind == Tok::LBrace) {
      expression();
      list.push_back({t, true, line});
      continue;
    }
    if (t < 30) fail("argument of type " + std::to_string(t) + " needs an expression");
    if (acceptIdent("local")) {
      emit16(0xFFFF);
      emit8(byteValue("local object slot"));
    } else {
      emit16(uint64_t(integer(0, 65534, "instance number")));
    }
    list.push_back({t, false, line});
  }
  next();
  size_t n = list.size();
  for (const Arg& a : list) {
    bool wantExpr = n <= 2 || a.type < 30;
    if (a.isExpr != wantExpr)
      throw AsmError{m_file, a.line, wantExpr ? "in a call with one or two arguments every argument is an expression"
                                              : "an object argument of a call with three or more arguments is an instance number"};
  }
  if (count) {
    size_t meant = *count > 200 ? 255 - *count : *count;
    if (meant != n) fail("count " + std::to_string(*count) + " stands for " + std::to_string(meant) + " arguments, not " + std::to_string(n));
    m_out[countAt] = *count;
  } else {
    if (n > 200) fail("more than 200 arguments");
    m_out[countAt] = uint8_t(n);
  }
}

void Assembler::assignParam() {
  uint8_t k = typeByte("parameter kind");
  emit8(k);
  emit8(byteValue("parameter slot"));
  if (k >= 30) {
    m_objType = k;
    return member(true);
  }
  if (k >= 13 && k <= 22) subscripts();
  else if (k == 29) fieldOperand();
  expression();
}

void Assembler::parameter() {
  uint8_t k = typeByte("parameter kind");
  emit8(k);
  emit8(byteValue("parameter slot"));
  if (k <= 7 || k == 9) return;
  if ((k >= 13 && k <= 20) || k == 22) return subscripts();
  if (k == 29) return fieldOperand();
  m_objType = k;
  member(false);
}

void Assembler::fieldRef() {
  uint8_t t = typeByte("field type");
  emit8(t);
  emit16(uint64_t(integer(-32768, 65535, "field number")));
  if (isArrayField(t)) subscripts();
}

void Assembler::fieldOperand() {
  if (acceptIdent("field")) {
    emit8(37);
    return fieldRef();
  }
  if (acceptIdent("efield")) {
    emit8(38);
    subscripts();
    return fieldRef();
  }
  fail("expected field or efield, found " + describe(peek()));
}

void Assembler::member(bool write) {
  uint8_t id;
  if (peek().kind == Tok::Ident) {
    auto named = memberId(m_objType, peek().text, write);
    if (!named) fail("unknown " + std::string(write ? "member" : "property") + " '" + peek().text + "' of " +
                     std::string(kindName(m_objType)));
    next();
    id = *named;
  } else {
    id = byteValue(write ? "member id" : "property id");
  }
  emit8(id);
  if (auto layout = memberLayout(m_objType, id, write)) {
    const uint8_t objType = m_objType;  // an object reference operand names another type
    operands(*layout);
    m_objType = objType;
  }
}

// An object reference operand: obj TYPE N (tag 8, or mark N), objelem TYPE N [ subs ]
// (tag 29), objparam TYPE SLOT (tag 12).
void Assembler::objectRef() {
  if (acceptIdent("objparam")) {
    emit8(12);
    emit8(typeByte("object type"));
    return emit8(byteValue("parameter slot"));
  }
  if (acceptIdent("objelem")) {
    emit8(29);
    emit8(typeByte("object type"));
    emit16(uint64_t(integer(-32768, 65535, "object array number")));
    return subscripts();
  }
  auto m = optMark();
  if (m == 12 || m == 29) fail("tags 12 and 29 are written objparam and objelem");
  if (!acceptIdent("obj")) fail("expected obj, objelem or objparam, found " + describe(peek()));
  emit8(m.value_or(kDefaultObjectRefTag));
  emit8(typeByte("object type"));
  emit16(uint64_t(integer(-32768, 65535, "instance number")));
}

// Expressions each followed by a byte, the last by 11: ( {a} {b} sep N {c} ).
void Assembler::itemList() {
  expect(Tok::LParen, "'(' (an item list)");
  if (peek().kind == Tok::RParen) fail("an item list needs at least one expression");
  for (;;) {
    expression();
    if (peek().kind == Tok::RParen) {
      next();
      return emit8(kEnd);
    }
    uint8_t sep = optKeywordNumber("sep", "separator byte").value_or(kDefaultSeparator);
    if (sep == kEnd) fail("separator 11 would end the list");
    emit8(sep);
  }
}

// A whole variable: record N (marker 37), or an array reference as arrayref.
void Assembler::wholeRef() {
  if (acceptIdent("record")) {
    emit8(kWholeRecordMarker);
    return emit16(uint64_t(integer(-32768, 65535, "record number")));
  }
  if (peek().kind == Tok::Ident && peek().text == "mark") {
    next();
    uint8_t m = byteValue("marker byte");
    if (m == kWholeRecordMarker) fail("marker 37 is a record: write record N");
    if (m == 12) fail("marker 12 is a parameter: write param SLOT TYPE");
    if (!acceptIdent("array")) fail("expected array after mark N, found " + describe(peek()));
    emit8(m);
    emit8(typeByte("array type"));
    return emit16(uint64_t(integer(-32768, 65535, "array number")));
  }
  arrayRef();
}

void Assembler::recordField(bool arrayForm) {
  if (acceptIdent("set")) {
    emit8(63);
    emit16(uint64_t(integer(-32768, 65535, arrayForm ? "record array number" : "record number")));
    if (arrayForm) {
      subscripts();
    } else {
      emit8(optMark().value_or(kDefaultFieldMarker));
    }
    fieldRef();
    return expression();
  }
  if (!arrayForm && acceptIdent("declare")) {
    emit8(0);
    emit16(uint64_t(integer(-32768, 65535, "record number")));
    return fieldList();
  }
  if (acceptIdent("sub")) {
    uint8_t b = byteValue("sub byte");
    if (b == 63 || (!arrayForm && b == 0)) fail(b == 63 ? "sub byte 63 is written set" : "sub byte 0 is written declare");
    return emit8(b);
  }
  fail(std::string("expected set") + (arrayForm ? "" : ", declare") + " or sub N, found " + describe(peek()));
}

// Field types by name or number; an array field is `array TYPE ( dims ) NUMBER`, and
// a FixedString (field or array field) takes its length expression last.
void Assembler::fieldList() {
  expect(Tok::LParen, "'(' (a field list)");
  while (peek().kind != Tok::RParen) {
    uint8_t t;
    if (acceptIdent("array")) {
      uint8_t element = typeByte("array field type");
      if (element < 1 || element > 8) fail("array fields are of the types Byte .. FixedString");
      t = uint8_t(kArrayFieldBase + element);
    } else {
      t = typeByte("field type");
      if (t == kEnd) fail("field type 11 would end the list");
    }
    emit8(t);
    if (t == 8) {
      expression();
    } else if (isArrayField(t)) {
      dims();
      emit16(uint64_t(integer(-32768, 65535, "array number")));
      if (t == kArrayFieldBase + 8) expression();
    }
  }
  next();
  emit8(kEnd);
}

// A record copy's source: rec N (marker 37) or elem N [ subs ] (marker 38).
void Assembler::recordSource() {
  if (acceptIdent("rec")) {
    emit8(kRecordSource);
    return emit16(uint64_t(integer(-32768, 65535, "record number")));
  }
  if (!acceptIdent("elem")) fail("expected rec or elem (the source record), found " + describe(peek()));
  emit8(kElementSource);
  emit16(uint64_t(integer(-32768, 65535, "record array number")));
  subscripts();
}

void Assembler::recordSize() {
  if (acceptIdent("rec")) {
    emit8(37);
    return emit16(uint64_t(integer(-32768, 65535, "record number")));
  }
  auto m = optMark();
  if (!acceptIdent("elem")) fail("expected rec or elem, found " + describe(peek()));
  if (m == 37) fail("marker 37 is a record variable: write rec N");
  emit8(m.value_or(kDefaultRecordArraySize));
  emit16(uint64_t(integer(-32768, 65535, "record array number")));
  subscripts();
}

void Assembler::arrayRef() {
  if (acceptIdent("param")) {
    emit8(12);
    emit8(byteValue("parameter slot"));
    return emit8(typeByte("array type"));
  }
  auto m = optMark();
  if (!acceptIdent("array")) fail("expected array or param, found " + describe(peek()));
  if (m == 12) fail("marker 12 is a parameter: write param SLOT TYPE");
  emit8(m.value_or(kDefaultArrayRefMarker));
  emit8(typeByte("array type"));
  emit16(uint64_t(integer(-32768, 65535, "array number")));
}

void Assembler::addressRef() {
  if (acceptIdent("global")) {
    emit8(1);
    emit8(typeByte("type"));
    emit16(uint64_t(integer(-32768, 65535, "array number")));
    return subscripts();
  }
  auto m = optMark();
  if (!acceptIdent("local")) fail("expected global or local, found " + describe(peek()));
  if (m == 1) fail("selector 1 is global storage: write global TYPE N [ ... ]");
  emit8(m.value_or(kDefaultLocalAddressSel));
  emit8(typeByte("type"));
  emit16(uint64_t(integer(-32768, 65535, "variable number")));
}

void Assembler::variantRef() {
  if (acceptIdent("var")) {
    emit8(1);
    return emit16(uint64_t(integer(-32768, 65535, "variant number")));
  }
  if (acceptIdent("elem")) {
    emit8(3);
    emit16(uint64_t(integer(-32768, 65535, "variant array number")));
    return subscripts();
  }
  if (acceptIdent("param")) {
    emit8(12);
    uint8_t k = typeByte("parameter kind");
    emit8(k);
    emit8(byteValue("parameter slot"));
    if (k != 9) subscripts();
    return;
  }
  fail("expected var, elem or param, found " + describe(peek()));
}

}  // namespace

std::vector<uint8_t> assemble(std::string_view source, const std::string& path) {
  Assembler a(source, path);
  return a.run();
}

}  // namespace tavrin
