// Tokens of the byte-code assembly language: identifiers, numbers, strings, directives,
// label definitions and references, and the bracket pairs. Newlines only end comments.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::asmtext {

enum class Tok : uint8_t {
  Ident,      // mnemonic, keyword or name (also nan, inf)
  Number,     // text as written: 12, -3, 0x1F, 1.5, -2e10
  String,     // bytes after escapes
  Directive,  // .byte, .proc, ... (text without the dot)
  Label,      // NAME: (text without the colon)
  Ref,        // @NAME (text without the at)
  LBrace, RBrace, LBracket, RBracket, LParen, RParen,
  End,
};

struct Token {
  Tok kind = Tok::End;
  std::string text;
  int line = 0;
};

// Splits the source into tokens; throws AsmError (with `file`) on a malformed token.
std::vector<Token> tokenize(std::string_view source, const std::string& file);

// Writes bytes as the body of a string literal, escaping what the lexer would not read back.
void appendQuoted(std::string& out, std::string_view bytes);

// A number token as an integer, when it is one (decimal or 0x hex, optionally negative).
bool parseInteger(std::string_view text, int64_t& value);

}  // namespace tavrin::asmtext
