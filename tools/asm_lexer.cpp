// The assembly language's lexer and the string-literal writer that undoes it.
#include "tools/asm_lexer.h"

#include <cctype>

#include "tools/asm.h"

namespace tavrin::asmtext {

namespace {

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<Token> tokenize(std::string_view src, const std::string& file) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0;
  auto fail = [&](const std::string& msg) { throw AsmError{file, line, msg}; };
  while (i < src.size()) {
    char c = src[i];
    if (c == '\n') { ++line; ++i; continue; }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == ',' || c == '=') { ++i; continue; }
    if (c == ';') {
      while (i < src.size() && src[i] != '\n') ++i;
      continue;
    }
    Token t;
    t.line = line;
    switch (c) {
      case '{': t.kind = Tok::LBrace; ++i; out.push_back(t); continue;
      case '}': t.kind = Tok::RBrace; ++i; out.push_back(t); continue;
      case '[': t.kind = Tok::LBracket; ++i; out.push_back(t); continue;
      case ']': t.kind = Tok::RBracket; ++i; out.push_back(t); continue;
      case '(': t.kind = Tok::LParen; ++i; out.push_back(t); continue;
      case ')': t.kind = Tok::RParen; ++i; out.push_back(t); continue;
      default: break;
    }
    if (c == '"') {
      t.kind = Tok::String;
      ++i;
      for (;;) {
        if (i >= src.size() || src[i] == '\n') fail("unterminated string");
        char d = src[i++];
        if (d == '"') break;
        if (d != '\\') { t.text += d; continue; }
        if (i >= src.size()) fail("unterminated string");
        char e = src[i++];
        switch (e) {
          case '\\': t.text += '\\'; break;
          case '"': t.text += '"'; break;
          case 'n': t.text += '\n'; break;
          case 'r': t.text += '\r'; break;
          case 't': t.text += '\t'; break;
          case '0': t.text += '\0'; break;
          case 'x': {
            int h = i < src.size() ? hexDigit(src[i]) : -1;
            int l = i + 1 < src.size() ? hexDigit(src[i + 1]) : -1;
            if (h < 0 || l < 0) fail("\\x needs two hexadecimal digits");
            t.text += static_cast<char>(h * 16 + l);
            i += 2;
            break;
          }
          default: fail(std::string("unknown escape \\") + e);
        }
      }
      out.push_back(std::move(t));
      continue;
    }
    if (c == '.' && i + 1 < src.size() && identStart(src[i + 1])) {
      t.kind = Tok::Directive;
      size_t j = i + 1;
      while (j < src.size() && identChar(src[j]) && src[j] != '.') ++j;
      t.text = std::string(src.substr(i + 1, j - i - 1));
      i = j;
      out.push_back(std::move(t));
      continue;
    }
    if (c == '@') {
      size_t j = i + 1;
      if (j >= src.size() || !identStart(src[j])) fail("'@' must be followed by a label name");
      while (j < src.size() && identChar(src[j])) ++j;
      t.kind = Tok::Ref;
      t.text = std::string(src.substr(i + 1, j - i - 1));
      i = j;
      out.push_back(std::move(t));
      continue;
    }
    bool sign = (c == '-' || c == '+') && i + 1 < src.size();
    char n = sign ? src[i + 1] : c;
    if (std::isdigit(static_cast<unsigned char>(n)) || (sign && (n == 'i' || n == 'n' || n == '.')) ||
        (c == '.' && i + 1 < src.size() && std::isdigit(static_cast<unsigned char>(src[i + 1])))) {
      size_t j = i + (sign ? 1 : 0);
      while (j < src.size()) {
        char d = src[j];
        std::string_view sofar = src.substr(i, j - i);
        bool hex = sofar.find_first_of("xX") != std::string_view::npos;
        bool exponentSign = (d == '-' || d == '+') && !hex && (src[j - 1] == 'e' || src[j - 1] == 'E');
        if (std::isalnum(static_cast<unsigned char>(d)) || d == '.' || d == '_' || exponentSign)
          ++j;
        else
          break;
      }
      t.kind = Tok::Number;
      t.text = std::string(src.substr(i, j - i));
      i = j;
      out.push_back(std::move(t));
      continue;
    }
    if (identStart(c)) {
      size_t j = i;
      while (j < src.size() && identChar(src[j])) ++j;
      t.text = std::string(src.substr(i, j - i));
      if (j < src.size() && src[j] == ':') {
        t.kind = Tok::Label;
        ++j;
      } else {
        t.kind = Tok::Ident;
      }
      i = j;
      out.push_back(std::move(t));
      continue;
    }
    fail(std::string("unexpected character '") + c + "'");
  }
  Token end;
  end.kind = Tok::End;
  end.line = line;
  out.push_back(end);
  return out;
}

void appendQuoted(std::string& out, std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (unsigned char c : bytes) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c >= 32 && c < 127) {
          out += static_cast<char>(c);
        } else {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        }
    }
  }
  out += '"';
}

bool parseInteger(std::string_view text, int64_t& value) {
  bool neg = false;
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    neg = text[i] == '-';
    ++i;
  }
  if (i >= text.size()) return false;
  int base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    int d = hexDigit(text[i]);
    if (d < 0 || d >= base) return false;
    v = v * base + d;
    if (v > (uint64_t(1) << 40)) return false;  // far beyond any field of the byte code
  }
  value = neg ? -int64_t(v) : int64_t(v);
  return true;
}

}  // namespace tavrin::asmtext
