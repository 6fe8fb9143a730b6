// The cache of decoded statements and expressions, keyed by code position. The code stream
// never changes while a program runs, so a statement or an expression is decoded once, on
// its first execution, into a compact form: micro-operations over numbered slots for the
// expressions, specialised forms for the statements the loops spend their time in.
// Invariants: a decoded form is built only from bytes that decode completely and only where
// it does exactly what the generic path does (values, errors, their order, the code position
// afterwards); anything else is left to the generic path, which raises its own errors.
// The cache's memory is bounded: past the bound nothing more is decoded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "interp/state.h"

namespace tavrin {

struct State;
struct EvalStack;

using OperandHandler = void (*)(State&, EvalStack&);

// One micro-operation. `a` is the slot it works on (binary operators: a and a + 1 into a).
struct MicroOp {
  const void* label = nullptr;  // where the loop carries the operation out (set with the code)
  uint8_t code = 0;
  uint8_t a = 0;
  uint8_t type = 0;   // value type, parameter kind, subscript count
  uint8_t count = 0;  // subscripts of an element read
  uint32_t x = 0;     // byte offset of a variable, variable, array or slot number, code position
  union {
    uint32_t end = 0;  // a generic operand or a call: the position after it (0: unknown)
    uint32_t y;        // the second global of an operation on two globals; an element's width
  };
  // The value this operation reads last (a binary operator's right operand, a statement's
  // result) is the one the operation right before it produced: it is taken from a register.
  bool fromLast = false;
  double k = 0.0;     // a constant
  OperandHandler handler = nullptr;
};

enum class ExpressionForm : uint8_t {
  Number,  // operations only: the result is slot 0, a number
  Mixed,   // with generic operands run by their handlers on an EvalStack
  TextVariable,  // a global String variable alone: its text
};

struct CompiledExpression {
  ExpressionForm form = ExpressionForm::Number;
  uint32_t end = 0;       // the position after the closing byte
  uint32_t variable = 0;  // TextVariable
  bool callsCode = false;  // it calls a function of the program (which may change anything)
  std::unique_ptr<MicroOp[]> ops;
  uint32_t opCount = 0;
};

// One piece appended by an append statement: a global String variable, a constant text, or
// an operand that pushes one text (a text built-in, a local or a parameter) run by its
// handler.
struct TextPiece {
  bool variable = false;
  uint32_t number = 0;  // variable
  uint32_t at = 0;      // constant: its bytes in the image; an operand: after its tag
  uint32_t length = 0;
  OperandHandler handler = nullptr;
};

// A decoded statement: the micro-operations of its expressions followed by one operation
// that stores, jumps or ends the activation, and the links to the statements that follow.
struct CompiledStatement {
  uint32_t at = 0;  // the lead byte
  uint8_t lead = 0;
  uint32_t next = 0;   // the position after the statement
  int64_t target = 0;  // where a jump goes
  std::unique_ptr<MicroOp[]> ops;
  std::vector<TextPiece> pieces;
  // The decoded statements at `next` and at `target`, linked on first use.
  mutable const CompiledStatement* follow = nullptr;
  mutable const CompiledStatement* jumped = nullptr;
};

class CompiledCache {
public:
  static constexpr size_t kByteBound = size_t(64) << 20;
  static constexpr int kPageBits = 8;

  // `bound`: bytes of memory the cache may take (0: it decodes nothing).
  CompiledCache(const uint8_t* image, size_t size, size_t bound = kByteBound);

  bool covers(const uint8_t* image, size_t size) const { return image == m_image && size == m_size; }

  // The decoded statement at a statement's lead byte, or nullptr for the generic path.
  const CompiledStatement* statement(uint32_t at) {
    const size_t page = at >> kPageBits;
    if (page < m_statementPages.size() && m_statementPages[page]) [[likely]] {
      const CompiledStatement* c = m_statementPages[page][at & kPageMask];
      if (c == &m_noStatement) return nullptr;
      if (c) return c;
    }
    return decodeStatementAt(at);
  }
  // The decoded expression at an expression's first byte, or nullptr.
  const CompiledExpression* expression(uint32_t at) {
    const size_t page = at >> kPageBits;
    if (page < m_expressionPages.size() && m_expressionPages[page]) [[likely]] {
      const CompiledExpression* c = m_expressionPages[page][at & kPageMask];
      if (c == &m_noExpression) return nullptr;
      if (c) return c;
    }
    return decodeExpressionAt(at);
  }

  size_t bytesUsed() const { return m_bytes; }

private:
  friend class CodeDecoder;
  static constexpr uint32_t kPageMask = (1u << kPageBits) - 1;

  const CompiledStatement* decodeStatementAt(uint32_t at);
  const CompiledExpression* decodeExpressionAt(uint32_t at);
  template <class T>
  T*& slotFor(std::vector<std::unique_ptr<T*[]>>& pages, uint32_t at, bool& ok);

  const uint8_t* m_image;
  size_t m_size;
  size_t m_bound;
  size_t m_bytes = 0;
  std::vector<std::unique_ptr<const CompiledStatement*[]>> m_statementPages;
  std::vector<std::unique_ptr<const CompiledExpression*[]>> m_expressionPages;
  std::deque<CompiledStatement> m_statements;   // stable addresses
  std::deque<CompiledExpression> m_expressions;
  CompiledStatement m_noStatement;
  CompiledExpression m_noExpression;
};

// The cache of the state's code stream, made (or remade for another stream) on demand.
CompiledCache& remakeCompiledCache(State& s);
inline CompiledCache& compiledCache(State& s) {
  CompiledCache* c = s.compiled.get();
  if (!c || !c->covers(s.code.data(), s.code.size())) [[unlikely]]
    return remakeCompiledCache(s);
  return *c;
}

// From now on every statement of the state's code stream runs on the generic path.
void decodeNothing(State& s);

// How a run of decoded statements ended.
enum class BlockEnd : uint8_t {
  Undecoded,  // the next statement is not decoded: the code position is at it
  Activation, // the activation ends (the end of a body, a return byte); the code position is after it
};

// Runs decoded statements from `c` on, one after the other, as long as the next one is
// decoded too. `r`: the slots, kSlots of them. `slow`: the per-statement checks (steps,
// trace, sandbox, memory bound) run before each statement. The code position is not kept
// up to date in between.
BlockEnd runDecoded(State& s, CompiledCache& cache, const CompiledStatement* c, double* r, bool slow);
inline constexpr int kSlots = 64;  // every slot of nested sub-expressions together

// Runs a Number expression: its value. The code position is not moved.
double runNumber(State& s, const CompiledExpression& x);
// Runs a Mixed expression on `e` (fresh). True: finished, the value is e.num[0] and the code
// position is after the expression. False: the rest is for the generic loop, from the code
// position, on `e` as it is.
bool runMixed(State& s, const CompiledExpression& x, EvalStack& e);

}  // namespace tavrin
