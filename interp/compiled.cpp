// Decoding statements and expressions into the cache, and running the decoded forms.
// Hazards: the slots of a decoded expression are the evaluator's stack positions (a
// sub-expression of a subscript or an argument starts at the slot its value lands in), so
// every operator sees the operands the evaluator loop would; the decoder refuses whatever
// would make the loop keep its odd counts (an operator short of operands, more than eight
// slots, a text) and leaves it to the generic path. A generic operand is run by its own
// handler; the decoded rest follows only when the handler left exactly the stack and the
// code position the decoder expected, otherwise the evaluator loop goes on from there.
#include "interp/compiled.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <cstring>

#include "interp/call_entry.h"
#include "interp/calls.h"
#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/loop_step.h"
#include "interp/stores.h"
#include "interp/tables.h"
#include "interp/text_pieces.h"
#include "interp/value_ops.h"
#include "runtime/host_stack.h"
#include "runtime/memory_limit.h"
#include "interp/state.h"

namespace tavrin {

namespace {

// Expression operations, then the operations that end a statement.
#define MICRO_OPS(X)                                                                            \
  X(End) X(Const) X(GlobalDouble) X(GlobalNumber) X(Local) X(Param) X(Truncate) X(Element)      \
  X(IntPart) X(TextLength) X(Generic) X(Add) X(Sub) X(Mul) X(Binary) X(Not) X(Negate) X(AddK)   \
  X(SubK) X(MulK) X(CompareK) X(AddG) X(SubG) X(MulG) X(CompareG) X(Compare) X(GAddK) X(GSubK)  \
  X(GMulK) X(GCompareK) X(GAddG) X(GSubG) X(GMulG) X(GCompareG) X(GTruncate) X(Round) X(ModK)   \
  X(GElement) X(GTruncate2) X(GElement2) X(ParamElement)                                        \
  X(FindText) X(Call) X(CheckTexts) X(ParamCheck) X(Argument) X(RefArgument) X(RefForward)      \
  X(SelectLevel) X(CaseStart) X(CaseValue) X(CaseRange) X(CaseCondition)                        \
  X(AssignPiece) X(SetDouble) X(SetNumber) X(SetElement) X(AppendText) X(JumpIfZero) X(Jump)    \
  X(ForNext) X(SetResult) X(EndBody) X(Return) X(SetLocal) X(SetParam) X(SetParamElement)       \
  X(CallProc) X(SelectBegin) X(CaseJump) X(SelectEnd) X(Declare)                                         \
  X(JumpCompareK) X(JumpCompareG) X(JumpGCompareK) X(JumpGCompareG) X(SetGAddK) X(SetGSubK)

enum Micro : uint8_t {
#define MICRO_ENUM(name) k##name,
  MICRO_OPS(MICRO_ENUM)
#undef MICRO_ENUM
};

constexpr uint8_t kEndByte = 11;
constexpr uint8_t kContinuationByte = 33;

constexpr bool isNumeric(uint8_t type) { return type >= 1 && type <= 7; }
// Parameter kinds 14..20: a whole array of Byte .. Double passed by reference.
constexpr bool isNumericArrayKind(uint8_t kind) { return kind >= 14 && kind <= 20; }
constexpr uint8_t kFirstArrayKind = 13;
constexpr uint8_t kVariantKind = 9;
constexpr uint16_t kForwardIndex = 0xFFFF;  // a reference parameter of the caller passed on
constexpr uint8_t kItemValue = 2, kItemCondition = 19;  // case item kinds; others are ranges

inline double readDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

namespace {

const void* const* g_labels = nullptr;  // the operations' addresses in the loop
const void* const* microLabels();

constexpr bool isComparison(uint8_t code) {
  return code == kCompare || code == kCompareK || code == kCompareG || code == kGCompareK || code == kGCompareG ||
         code == kJumpCompareK || code == kJumpCompareG || code == kJumpGCompareK || code == kJumpGCompareG;
}

// The ops of a decoded form, each with the address of its operation; comparisons carry
// their outcome masks.
std::unique_ptr<MicroOp[]> finishOps(const std::vector<MicroOp>& ops) {
  const void* const* labels = microLabels();
  auto out = std::make_unique<MicroOp[]>(ops.size());
  for (size_t i = 0; i < ops.size(); ++i) {
    out[i] = ops[i];
    out[i].label = labels[ops[i].code];
    if (isComparison(ops[i].code)) out[i].type = arith::compareMask(ops[i].type);
  }
  return out;
}

}  // namespace

// Decodes from the image; every read is checked against its end and a failed read makes
// the whole form undecodable (the generic path then raises the error the bytes deserve).
class CodeDecoder {
public:
  CodeDecoder(CompiledCache& cache, uint32_t at) : m_cache(cache), m_image(cache.m_image), m_size(cache.m_size), m_at(at) {}

  uint32_t position() const { return m_at; }
  void seek(uint32_t at) { m_at = at; }
  bool u8(uint8_t& v) {
    if (m_at + 1 > m_size) return false;
    v = m_image[m_at++];
    return true;
  }
  bool u16(uint16_t& v) {
    if (m_at + 2 > m_size) return false;
    std::memcpy(&v, m_image + m_at, 2);
    m_at += 2;
    return true;
  }
  bool i32(int32_t& v) {
    if (m_at + 4 > m_size) return false;
    std::memcpy(&v, m_image + m_at, 4);
    m_at += 4;
    return true;
  }
  bool skip(uint32_t n) {
    if (uint64_t(m_at) + n > m_size) return false;
    m_at += n;
    return true;
  }

  // An expression from the current position, its slots from `base`. `mixed`: operands the
  // decoder does not know become generic operands (top level only). On success the
  // position is after the closing byte, or unknown when `tail` is set (a generic operand
  // whose end is unknown ends the decoded part).
  bool expression(std::vector<MicroOp>& ops, int base, bool mixed, bool& tail, bool& generic) {
    int depth = 0;
    bool pushed = false;
    for (;;) {
      uint8_t b;
      if (!u8(b)) return false;  // an expression running to the end of the stream
      if (b == kEndByte) break;
      const CodeInfo& info = kOperands[b];
      if (info.cls == 2) {
        if (!operatorOp(ops, base, depth, b)) return false;
        continue;
      }
      if (info.cls == 0) continue;  // the loop skips an unknown byte
      const uint32_t operandAt = m_at;  // after the tag, where the handler starts reading
      const int a = base + depth;
      if (depth >= kStackSlots || a >= kSlots) return false;
      const Decoded decoded = operand(ops, b, a);
      if (decoded == Decoded::No) return false;
      if (decoded == Decoded::Nothing) continue;
      if (decoded == Decoded::Pushed) {
        ++depth;
        pushed = true;
        continue;
      }
      if (!mixed) return false;
      // A generic operand: its end is known when its arguments decode.
      MicroOp op;
      op.code = kGeneric;
      op.a = uint8_t(a);
      op.x = operandAt;
      op.handler = handlerOf(b);
      if (!op.handler) return false;
      m_at = operandAt;
      op.end = genericEnd(b) ? m_at : 0;
      if (op.end == 0 && depth == 0) return false;  // nothing decoded before: all generic
      ops.push_back(op);
      generic = true;
      if (op.end == 0) {
        tail = true;
        return true;
      }
      ++depth;
      pushed = true;
    }
    if (!pushed || depth < 1) return false;  // a text result, or no value at all
    MicroOp end;
    end.code = kEnd;
    ops.push_back(end);
    return true;
  }

  // A sub-expression evaluated on its own (a subscript, an argument) whose value lands in
  // slot `a`: numbers only.
  bool subExpression(std::vector<MicroOp>& ops, int a) {
    bool tail = false, generic = false;
    if (!expression(ops, a, false, tail, generic)) return false;
    ops.pop_back();  // its End: the value stays in slot a
    return true;
  }

public:
  // The position after an operand at `at` (its tag) that pushes exactly one text, calls no
  // program code and has no effect but its value: a constant text, a String variable, local
  // or parameter, or a text built-in whose arguments are such operands or number
  // expressions without calls. 0 for anything else.
  uint32_t textOperand(uint32_t at, int depth) {
    if (depth > 8 || at + 2 > m_size) return 0;
    const uint8_t tag = m_image[at];
    const uint8_t second = m_image[at + 1];
    switch (Operand(tag)) {
      case Operand::OpConstant: {
        if (second != uint8_t(ValueType::String) || at + 4 > m_size) return 0;
        uint16_t length;
        std::memcpy(&length, m_image + at + 2, 2);
        return length <= 2048 && at + 4 + length <= m_size ? at + 4 + length : 0;
      }
      case Operand::OpGlobal:
      case Operand::OpLocal: return second == uint8_t(ValueType::String) && at + 4 <= m_size ? at + 4 : 0;
      case Operand::OpParameter: return second == uint8_t(ValueType::String) && at + 3 <= m_size ? at + 3 : 0;
      case Operand::OpBuiltin: {
        if (!isTextBuiltin(second)) return 0;
        uint32_t p = at + 2;
        std::string_view layout = kBuiltins[second].layout;
        while (!layout.empty()) {
          const size_t space = layout.find(' ');
          if (layout.substr(0, space) != "expr") return 0;
          p = pureArgument(p, depth + 1);
          if (!p) return 0;
          layout = space == std::string_view::npos ? std::string_view() : layout.substr(space + 1);
        }
        return p;
      }
      default: return 0;
    }
  }
  // Whether the bytes from `from` to `to` could read global String variable `n` (any byte
  // sequence that spells the operand counts).
  bool readsText(uint32_t from, uint32_t to, uint16_t n) const {
    const uint8_t want[4] = {uint8_t(Operand::OpGlobal), uint8_t(ValueType::String), uint8_t(n & 0xFF), uint8_t(n >> 8)};
    for (uint32_t i = from; i + 4 <= to; ++i)
      if (std::memcmp(m_image + i, want, 4) == 0) return true;
    return false;
  }

private:
  // The built-ins that push one text from expression arguments and do nothing else.
  static bool isTextBuiltin(uint8_t code) {
    switch (Builtin(code)) {
      case Builtin::NumberToText: case Builtin::LeftText: case Builtin::RightText: case Builtin::MidText:
      case Builtin::CharOfCode: case Builtin::UpperText: case Builtin::LowerText: case Builtin::TrimLeftText:
      case Builtin::TrimRightText: case Builtin::RepeatChar: case Builtin::Blanks: case Builtin::HexText8:
      case Builtin::ReverseText: case Builtin::BinaryText: return true;
      default: return false;
    }
  }
  // An argument expression at `p` that calls no program code: a number expression the cache
  // decodes, or one text operand of the kind above alone. The position after it, or 0.
  uint32_t pureArgument(uint32_t p, int depth) {
    if (const CompiledExpression* x = m_cache.expression(p);
        x && x->end && !x->callsCode && (x->form == ExpressionForm::Number || x->form == ExpressionForm::TextVariable))
      return x->end;
    const uint32_t end = textOperand(p, depth);
    return end && end < m_size && m_image[end] == kEndByte ? end + 1 : 0;
  }

public:
  static OperandHandler handlerOf(uint8_t tag) {
    switch (tag) {
#define OPERAND(t, name, asmName, layout) \
  case t: return &eval##name;
#include "interp/operands.def"
#undef OPERAND
      default: return nullptr;
    }
  }

  enum class Decoded { No, Pushed, Nothing, Generic };

  static void push(std::vector<MicroOp>& ops, uint8_t code, int a, uint8_t type = 0, uint32_t x = 0, double k = 0.0) {
    MicroOp op;
    op.code = code;
    op.a = uint8_t(a);
    op.type = type;
    op.x = x;
    op.k = k;
    ops.push_back(op);
  }

  // One operand after its tag: decoded (pushing one value or nothing), left to its
  // handler, or not decodable at all.
  Decoded operand(std::vector<MicroOp>& ops, uint8_t tag, int a) {
    switch (Operand(tag)) {
      case Operand::OpGlobal:
      case Operand::OpLocal: {
        uint8_t type;
        uint16_t n;
        if (!u8(type) || !u16(n)) return Decoded::No;
        if (type >= 10) {
          return Decoded::Nothing;
        } else if (!isNumeric(type)) {
          return Decoded::No;
        } else if (tag == uint8_t(Operand::OpLocal)) {
          push(ops, kLocal, a, type, n);
        } else {
          const ValueType t = ValueType(type);
          push(ops, type == uint8_t(ValueType::Double) ? kGlobalDouble : kGlobalNumber, a, type,
               uint32_t(n) * uint32_t(widthOf(t)));
        }
        return Decoded::Pushed;
      }
      case Operand::OpConstant: {
        uint8_t type;
        if (!u8(type)) return Decoded::No;
        const uint8_t* p = m_image + m_at;
        double v = 0.0;
        switch (ValueType(type)) {
          case ValueType::String: return Decoded::No;
          case ValueType::Byte:
            if (!skip(1)) return Decoded::No;
            v = p[0];
            break;
          case ValueType::Short: {
            int16_t x;
            if (!skip(2)) return Decoded::No;
            std::memcpy(&x, p, 2);
            v = x;
            break;
          }
          case ValueType::Long:
          case ValueType::DWord: {
            int32_t x;
            if (!skip(4)) return Decoded::No;
            std::memcpy(&x, p, 4);
            v = x;
            break;
          }
          case ValueType::Word: {
            uint16_t x;
            if (!skip(2)) return Decoded::No;
            std::memcpy(&x, p, 2);
            v = x;
            break;
          }
          case ValueType::Single: {
            float x;
            if (!skip(4)) return Decoded::No;
            std::memcpy(&x, p, 4);
            v = x;
            break;
          }
          case ValueType::Double:
            if (!skip(8)) return Decoded::No;
            v = readDouble(p);
            break;
          default:  // no constant of this type: nothing more is read, nothing pushed
            return Decoded::Nothing;
        }
        push(ops, kConst, a, 0, 0, v);
        return Decoded::Pushed;
      }
      case Operand::OpParameter: {
        const uint32_t operandAt = m_at;
        uint8_t kind, slot;
        if (!u8(kind) || !u8(slot)) return Decoded::No;
        if (isNumeric(kind)) {
          push(ops, kParam, a, kind, slot);
          return Decoded::Pushed;
        }
        if (!isNumericArrayKind(kind)) return Decoded::No;
        // An element of a numeric array passed by reference: the array number (checked
        // first, as the generic path looks the array up before its subscripts), then the
        // subscripts. A call in them is left to the generic path.
        const uint8_t type = uint8_t(kind - kFirstArrayKind);
        uint8_t count;
        if (!u8(count) || count < 1 || count > kDimensions || a + count > kSlots) return Decoded::No;
        const size_t mark = ops.size();
        push(ops, kParamCheck, a, type, slot);
        if (!subscripts(ops, a, count) || callsIn(ops, mark)) {
          m_at = operandAt;
          ops.resize(mark);
          return Decoded::Generic;
        }
        push(ops, kParamElement, a, type, slot);
        ops.back().count = count;
        ops.back().y = uint32_t(widthOf(ValueType(type)));
        return Decoded::Pushed;
      }
      case Operand::OpArrayElement: {
        const uint32_t operandAt = m_at;
        uint8_t type, count;
        uint16_t array;
        if (!u8(type) || !u16(array)) return Decoded::No;
        if (!isNumeric(type) || array >= kArrayNumbers) return Decoded::No;
        if (!u8(count) || count < 1 || count > kDimensions || a + count > kSlots) return Decoded::No;
        const size_t mark = ops.size();
        if (!subscripts(ops, a, count)) {
          m_at = operandAt;
          ops.resize(mark);
          return Decoded::Generic;
        }
        if (count == 1 && type == uint8_t(ValueType::Double) && ops.size() == mark + 1 && ops.back().code == kGTruncate) {
          // a(g) of a Double array and a global Double: one operation.
          MicroOp& op = ops.back();
          op.code = kGElement;
          op.y = op.x;  // the global
          op.x = array;
          return Decoded::Pushed;
        }
        if (count == 2 && type == uint8_t(ValueType::Double) && ops.size() == mark + 1 && ops.back().code == kGTruncate2) {
          // a(g, h) of a Double array and two global Doubles: one operation.
          MicroOp& op = ops.back();
          op.code = kGElement2;
          op.a = uint8_t(a);
          op.type = uint8_t(array);  // below kArrayNumbers
          return Decoded::Pushed;
        }
        push(ops, kElement, a, type, array);
        ops.back().count = count;
        ops.back().y = uint32_t(widthOf(ValueType(type)));
        return Decoded::Pushed;
      }
      case Operand::OpBuiltin: {
        const uint32_t start = m_at;
        uint8_t code;
        if (!u8(code)) return Decoded::No;
        if (code == uint8_t(Builtin::IntPart) || code == uint8_t(Builtin::IntPart2)) {
          if (!subExpression(ops, a)) return Decoded::No;
          push(ops, kIntPart, a);
          return Decoded::Pushed;
        }
        uint16_t n, m;
        if (code == uint8_t(Builtin::TextLength) && textVariable(n)) {
          push(ops, kTextLength, a, 0, n);
          return Decoded::Pushed;
        }
        if (code == uint8_t(Builtin::FindText) && textVariable(n) && textVariable(m)) {
          // FindText(String variable, String variable, number): both variables checked, the
          // number evaluated (its value unused with two texts), then the position. A call
          // in the number could change the texts: that is left to the generic path.
          const size_t mark = ops.size();
          push(ops, kCheckTexts, a, 0, n);
          ops.back().y = m;
          if (subExpression(ops, a) && !callsIn(ops, mark)) {
            push(ops, kFindText, a, 0, n);
            ops.back().y = m;
            return Decoded::Pushed;
          }
          ops.resize(mark);
        }
        m_at = start;
        return Decoded::Generic;
      }
      case Operand::OpCall: return call(ops, a);
      default: return Decoded::Generic;
    }
  }

public:
  // `count` subscripts into slots a, a + 1, ..., each truncated before the next is evaluated.
  // False when they do not decode, or when a subscript after the first calls program code:
  // the generic path reads each dimension's bounds as its subscript is taken, so a call that
  // declares the array again between two subscripts is seen half before and half after;
  // the decoded form reads the descriptor once, after all of them, and would differ.
  bool subscripts(std::vector<MicroOp>& ops, int a, int count) {
    for (int i = 0; i < count; ++i) {
      const size_t mark = ops.size();
      if (!subExpression(ops, a + i)) return false;
      if (i > 0 && callsIn(ops, mark)) return false;
      pushTruncate(ops, a + i);
    }
    return true;
  }

private:
  // A lone global String variable as a whole argument expression: its number.
  bool textVariable(uint16_t& n) {
    if (m_at + 5 > m_size || m_image[m_at] != uint8_t(Operand::OpGlobal) || m_image[m_at + 1] != uint8_t(ValueType::String) ||
        m_image[m_at + 4] != kEndByte)
      return false;
    std::memcpy(&n, m_image + m_at + 2, 2);
    m_at += 5;
    return true;
  }

public:
  // Whether the operations from `mark` on call program code.
  static bool callsIn(const std::vector<MicroOp>& ops, size_t mark) {
    for (size_t i = mark; i < ops.size(); ++i)
      if (ops[i].code == kCall || ops[i].code == kGeneric) return true;
    return false;
  }

  // Left/Right/MidText(String variable, numbers) as a whole expression: the variable
  // checked, each number into its slot (0, 1) and rounded, then the piece; false (the
  // position undefined) when the bytes have another form.
  bool textPiece(std::vector<MicroOp>& ops, uint8_t& code, uint16_t& variable) {
    uint8_t tag;
    if (!u8(tag) || tag != uint8_t(Operand::OpBuiltin) || !u8(code)) return false;
    if (code != uint8_t(Builtin::LeftText) && code != uint8_t(Builtin::RightText) && code != uint8_t(Builtin::MidText))
      return false;
    if (!textVariable(variable)) return false;
    push(ops, kCheckTexts, 0, 0, variable);
    ops.back().y = variable;
    const int numbers = code == uint8_t(Builtin::MidText) ? 2 : 1;
    for (int i = 0; i < numbers; ++i) {
      if (!subExpression(ops, i)) return false;
      push(ops, kRound, i);
    }
    uint8_t end;
    return !callsIn(ops, 0) && u8(end) && end == kEndByte;
  }

private:
  // A direct call of a function with a numeric result whose arguments are numbers passed by
  // value: each argument lands in slot `a` and goes into its parameter slot before the next
  // one is evaluated, as the generic path passes them; then the call. Anything else (a text
  // or Variant result, a reference argument, a continuation block after it) is generic.
  Decoded call(std::vector<MicroOp>& ops, int a) {
    const uint32_t start = m_at;
    const size_t mark = ops.size();
    auto generic = [&] {
      m_at = start;
      ops.resize(mark);
      return Decoded::Generic;
    };
    uint8_t type, count;
    int32_t target;
    if (!u8(type) || !u8(count) || !i32(target) || type < 2 || type > 8) return generic();
    if (!arguments(ops, a, count)) return generic();
    if (m_at >= m_size || m_image[m_at] == kContinuationByte) return generic();
    push(ops, kCall, a, type, uint32_t(target));
    ops.back().end = m_at;  // where the code position returns to
    return Decoded::Pushed;
  }

public:
  // The arguments of a call, into the next call level's slots in order as the generic path
  // passes them: a number by value is evaluated into slot `a` and passed at once; a
  // reference (a Variant, a whole array, kinds 23..28) writes its entry, and index -1
  // passes on the caller's entry. False for any other argument (a text, an element picked
  // by subscripts, a record, an object).
  bool arguments(std::vector<MicroOp>& ops, int a, unsigned count) {
    for (unsigned j = 0; j < count; ++j) {
      uint8_t kind;
      if (!u8(kind)) return false;
      if (isValueKind(kind)) {
        if (!subExpression(ops, a)) return false;
        const bool fromLast = producedLast(ops, a);
        push(ops, kArgument, a, 0, j);
        ops.back().fromLast = fromLast;
        continue;
      }
      if (kind != kVariantKind && (kind < kFirstArrayKind || kind > 28)) return false;
      uint16_t index;
      if (!u16(index)) return false;
      if (index == kForwardIndex) {
        uint8_t caller;
        if (!u8(caller)) return false;
        push(ops, kRefForward, a, kind, j);
        ops.back().y = caller;
        continue;
      }
      if (kind == kVariantKind) {
        uint8_t selector;
        if (!u8(selector) || selector == 3 || selector == 29 || selector == 38) return false;
      }
      push(ops, kRefArgument, a, kind, j);
      ops.back().y = index;
    }
    return true;
  }

private:
  // An operation on slot a right after a global Double was loaded into slot a: one
  // operation reading the global itself.
  static void fuseLeftGlobal(std::vector<MicroOp>& ops) {
    if (ops.size() < 2) return;
    MicroOp& left = ops[ops.size() - 2];
    const MicroOp& last = ops.back();
    if (left.code != kGlobalDouble || left.a != last.a) return;
    uint8_t fused;
    switch (last.code) {
      case kAddK: fused = kGAddK; break;
      case kSubK: fused = kGSubK; break;
      case kMulK: fused = kGMulK; break;
      case kCompareK: fused = kGCompareK; break;
      case kAddG: fused = kGAddG; break;
      case kSubG: fused = kGSubG; break;
      case kMulG: fused = kGMulG; break;
      case kCompareG: fused = kGCompareG; break;
      case kTruncate: fused = kGTruncate; break;
      default: return;
    }
    left.code = fused;
    left.type = last.type;
    left.k = last.k;
    left.y = last.x;
    ops.pop_back();
  }

public:
  // Whether the last operation produced the value of slot `a`.
  static bool producedLast(const std::vector<MicroOp>& ops, int a) {
    if (ops.empty() || ops.back().a != a) return false;
    const uint8_t code = ops.back().code;
    return code != kEnd && code < kCheckTexts;  // the operations from kCheckTexts on produce no value
  }

  // A subscript's value, truncated to 32 bits before anything else is evaluated. Two global
  // Doubles truncated into neighbouring slots become one operation; it truncates the first
  // before the second, so a first subscript outside 32 bits is still the error reported.
  static void pushTruncate(std::vector<MicroOp>& ops, int a) {
    push(ops, kTruncate, a);
    fuseLeftGlobal(ops);
    const size_t n = ops.size();
    if (n < 2 || ops[n - 1].code != kGTruncate || ops[n - 2].code != kGTruncate || ops[n - 2].a + 1 != a) return;
    MicroOp& first = ops[n - 2];
    first.code = kGTruncate2;
    first.a = uint8_t(a);  // the slot of the second, which is the value produced last
    first.y = ops[n - 1].x;
    ops.pop_back();
  }

private:
  // Operator bytes at the current depth (numbers only, as the decoder never lets a text in).
  bool operatorOp(std::vector<MicroOp>& ops, int base, int& depth, uint8_t b) {
    const Operand op = Operand(b);
    if (op == Operand::OpCharAt) return true;  // without a text it does nothing
    if (op == Operand::OpNot || op == Operand::OpNegate) {
      if (depth < 1) return true;  // nothing to work on: the loop does nothing either
      push(ops, op == Operand::OpNot ? kNot : kNegate, base + depth - 1);
      return true;
    }
    if (depth < 2) return false;  // the loop's odd counts: left to it
    const int a = base + depth - 2;
    --depth;
    MicroOp* last = ops.empty() ? nullptr : &ops.back();
    const bool isCompare = b >= uint8_t(Operand::OpEqual) && b <= uint8_t(Operand::OpLessEqual);
    // Fused forms: the right operand a constant or a global Double just loaded into a + 1.
    if (last && last->a == a + 1 && (last->code == kConst || last->code == kGlobalDouble)) {
      const bool constant = last->code == kConst;
      uint8_t fused = 0;
      switch (op) {
        case Operand::OpPlus: fused = constant ? kAddK : kAddG; break;
        case Operand::OpMinus: fused = constant ? kSubK : kSubG; break;
        case Operand::OpTimes: fused = constant ? kMulK : kMulG; break;
        case Operand::OpModulo:
          // By a constant that rounds to neither 0 nor -1: no error but the left operand's.
          if (constant && std::fabs(last->k) < 2147483647.0 && std::nearbyint(last->k) != 0.0 &&
              std::nearbyint(last->k) != -1.0) {
            last->x = uint32_t(int32_t(std::nearbyint(last->k)));
            fused = kModK;
          }
          break;
        default:
          if (isCompare) fused = constant ? kCompareK : kCompareG;
          break;
      }
      if (fused) {
        last->code = fused;
        last->a = uint8_t(a);
        last->type = b;
        fuseLeftGlobal(ops);
        return true;
      }
    }
    uint8_t code;
    switch (op) {
      case Operand::OpPlus: code = kAdd; break;
      case Operand::OpMinus: code = kSub; break;
      case Operand::OpTimes: code = kMul; break;
      default: code = isCompare ? kCompare : kBinary; break;
    }
    const bool fromLast = producedLast(ops, a + 1);
    push(ops, code, a, b);
    ops.back().fromLast = fromLast;
    return true;
  }

  // Scans a generic operand's fields to the position after it, when they have a known
  // form: the argument expressions of a built-in whose layout is expressions only, and the
  // value arguments of a direct function call not followed by a continuation block.
  bool genericEnd(uint8_t tag) {
    if (tag == uint8_t(Operand::OpBuiltin)) {
      uint8_t code;
      if (!u8(code) || code >= kBuiltinCount || kBuiltins[code].name.empty()) return false;
      std::string_view layout = kBuiltins[code].layout;
      while (!layout.empty()) {
        const size_t space = layout.find(' ');
        const std::string_view word = layout.substr(0, space);
        if (word != "expr" || !argument()) return false;
        layout = space == std::string_view::npos ? std::string_view() : layout.substr(space + 1);
      }
      return true;
    }
    if (tag == uint8_t(Operand::OpCall)) {
      uint8_t type, count;
      int32_t target;
      if (!u8(type) || !(type == 0 || (type >= 2 && type <= 9))) return false;
      if (!u8(count) || !i32(target)) return false;
      for (unsigned i = 0; i < count; ++i) {
        uint8_t kind;
        if (!u8(kind)) return false;
        if (!isValueKind(kind) || !argument()) return false;
      }
      return m_at < m_size && m_image[m_at] != kContinuationByte;
    }
    return false;
  }

  // An argument expression that the cache decodes: its end.
  bool argument() {
    const CompiledExpression* x = m_cache.expression(m_at);
    if (!x || x->end == 0) return false;
    m_at = x->end;
    return true;
  }

  CompiledCache& m_cache;
  const uint8_t* m_image;
  size_t m_size;
  uint32_t m_at;
};

// --- The cache ------------------------------------------------------------------------

CompiledCache::CompiledCache(const uint8_t* image, size_t size, size_t bound)
    : m_image(image), m_size(size), m_bound(bound) {
  const size_t pages = (size >> kPageBits) + 1;
  m_statementPages.resize(pages);
  m_expressionPages.resize(pages);
  m_bytes = 2 * pages * sizeof(void*);
}

template <class T>
T*& CompiledCache::slotFor(std::vector<std::unique_ptr<T*[]>>& pages, uint32_t at, bool& ok) {
  static T* dummy;
  auto& page = pages[at >> kPageBits];
  if (!page) {
    const size_t bytes = sizeof(T*) << kPageBits;
    if (m_bytes + bytes > m_bound) {
      ok = false;
      return dummy;
    }
    page = std::make_unique<T*[]>(size_t(1) << kPageBits);
    m_bytes += bytes;
  }
  ok = true;
  return page[at & kPageMask];
}

const CompiledExpression* CompiledCache::decodeExpressionAt(uint32_t at) {
  if (at >= m_size || m_bytes > m_bound) return nullptr;
  bool ok;
  const CompiledExpression*& slot = slotFor(m_expressionPages, at, ok);
  if (!ok) return nullptr;
  slot = &m_noExpression;  // while decoding, and if it does not decode
  // A global String variable alone.
  if (at + 5 <= m_size && m_image[at] == uint8_t(Operand::OpGlobal) && m_image[at + 1] == uint8_t(ValueType::String) &&
      m_image[at + 4] == kEndByte) {
    CompiledExpression& x = m_expressions.emplace_back();
    x.form = ExpressionForm::TextVariable;
    uint16_t n;
    std::memcpy(&n, m_image + at + 2, 2);
    x.variable = n;
    x.end = at + 5;
    m_bytes += sizeof x;
    slot = &x;
    return &x;
  }
  std::vector<MicroOp> ops;
  CodeDecoder d(*this, at);
  bool tail = false, generic = false;
  if (!d.expression(ops, 0, true, tail, generic)) return nullptr;
  CompiledExpression& x = m_expressions.emplace_back();
  x.form = generic ? ExpressionForm::Mixed : ExpressionForm::Number;
  x.end = tail ? 0 : d.position();
  x.opCount = uint32_t(ops.size());
  x.ops = finishOps(ops);
  for (const MicroOp& op : ops) x.callsCode |= op.code == kCall || op.code == kGeneric;
  m_bytes += sizeof x + ops.size() * sizeof(MicroOp);
  slot = &x;
  return &x;
}

namespace {

// A conditional jump on a comparison that its expression ends with: the comparison and the
// jump as one operation (the expression's value, 0 or -1, still becomes the result).
bool fuseJumpIfZero(std::vector<MicroOp>& ops) {
  if (ops.empty() || ops.back().a != 0) return false;
  MicroOp& op = ops.back();
  switch (op.code) {
    case kCompareK: op.code = kJumpCompareK; return true;
    case kCompareG: op.code = kJumpCompareG; return true;
    case kGCompareK: op.code = kJumpGCompareK; return true;
    case kGCompareG: op.code = kJumpGCompareG; return true;
    default: return false;
  }
}

// A global Double set to another (or the same) global plus or minus a constant: one
// operation. `to`: the byte offset of the variable set.
bool fuseSetDouble(std::vector<MicroOp>& ops, uint32_t to) {
  if (ops.size() != 1 || ops[0].a != 0) return false;
  MicroOp& op = ops[0];
  if (op.code == kGAddK) op.code = kSetGAddK;
  else if (op.code == kGSubK) op.code = kSetGSubK;
  else return false;
  op.y = to;
  return true;
}

}  // namespace

const CompiledStatement* CompiledCache::decodeStatementAt(uint32_t at) {
  if (at + 1 >= m_size || m_bytes > m_bound) return nullptr;  // the last byte is never carried out
  bool ok;
  const CompiledStatement*& slot = slotFor(m_statementPages, at, ok);
  if (!ok) return nullptr;
  slot = &m_noStatement;
  CompiledStatement c;
  c.at = at;
  c.lead = m_image[at];
  CodeDecoder d(*this, at + 1);
  std::vector<MicroOp> ops;
  // A number expression from the decoder's position into slot `base`.
  auto number = [&](int base) { return d.subExpression(ops, base); };
  auto finish = [&](uint8_t code, uint8_t a = 0, uint8_t type = 0, uint32_t x = 0) {
    MicroOp op;
    op.fromLast = CodeDecoder::producedLast(ops, a);
    op.code = code;
    op.a = a;
    op.type = type;
    op.x = x;
    ops.push_back(op);
  };
  auto jumpOffset = [&]() {
    int32_t offset;
    if (!d.i32(offset)) return false;
    c.next = d.position();
    c.target = int64_t(c.next) + offset;
    return true;
  };
  switch (Lead(c.lead)) {
    case Lead::StmtCommand: {
      uint8_t sub;
      if (!d.u8(sub)) return nullptr;
      switch (Command(sub)) {
        case Command::StmtJump: finish(kJump); break;
        case Command::StmtForNext: finish(kForNext); break;
        case Command::StmtJumpIfZero:
          if (!number(0)) return nullptr;
          if (!fuseJumpIfZero(ops)) finish(kJumpIfZero);
          break;
        case Command::StmtCallProc: {
          // A procedure call whose arguments decode and that no continuation block follows.
          uint8_t count;
          int32_t target;
          if (!d.u8(count) || !d.i32(target) || !d.arguments(ops, 0, count)) return nullptr;
          c.next = d.position();
          if (c.next >= m_size || m_image[c.next] == kContinuationByte) return nullptr;
          finish(kCallProc, 0, 0, uint32_t(target));
          break;
        }
        case Command::StmtSelectBegin: {
          // A numeric selector: the level checked first, then the selector evaluated.
          uint8_t level;
          if (!d.u8(level)) return nullptr;
          finish(kSelectLevel, 0, 0, level);
          if (!number(0)) return nullptr;
          finish(kSelectBegin, 0, 0, level);
          c.next = d.position();
          break;
        }
        case Command::StmtCaseTest: {
          // Number items without calls, each evaluated in order (every item, even after a
          // match); a text selector at run time takes the statement's own handler.
          uint8_t count;
          if (!d.u8(count)) return nullptr;
          finish(kCaseStart);
          for (unsigned read = 0; read < count;) {
            uint8_t kind;
            if (!d.u8(kind) || !number(0)) return nullptr;
            ++read;
            if (kind == kItemValue) {
              finish(kCaseValue);
            } else if (kind == kItemCondition) {
              finish(kCaseCondition);
            } else {
              if (!d.skip(1) || !number(1)) return nullptr;  // the byte between the bounds
              ++read;
              finish(kCaseRange);
            }
          }
          if (CodeDecoder::callsIn(ops, 0)) return nullptr;
          finish(kCaseJump);
          break;
        }
        case Command::StmtSelectEnd:
          finish(kSelectEnd);
          c.next = d.position();
          break;
        case Command::StmtDeclare: {
          // One scalar variable of a numeric type or String (as a procedure declares its
          // locals); arrays, fixed strings, variants and objects are left to the handler.
          uint8_t isStatic, kind, type;
          uint16_t n;
          if (!d.u8(isStatic) || !d.u8(kind) || kind != 1 || !d.u8(type) || type > uint8_t(ValueType::Double) || !d.u16(n))
            return nullptr;
          finish(kDeclare, 0, type, n);
          ops.back().count = isStatic;
          c.next = d.position();
          break;
        }
        default: return nullptr;
      }
      if (c.next == 0 && !jumpOffset()) return nullptr;
      break;
    }
    case Lead::StmtAssignGlobal: {
      uint8_t type;
      uint16_t n;
      if (!d.u8(type) || !d.u16(n)) return nullptr;
      if (isNumeric(type)) {
        if (!number(0)) return nullptr;
        if (type != uint8_t(ValueType::Double))
          finish(kSetNumber, 0, type, uint32_t(n) * uint32_t(widthOf(ValueType(type))));
        else if (!fuseSetDouble(ops, uint32_t(n) * 8))
          finish(kSetDouble, 0, type, uint32_t(n) * 8);
        c.next = d.position();
        break;
      }
      if (type != uint8_t(ValueType::String)) return nullptr;
      {
        const uint32_t back = d.position();
        uint8_t code;
        uint16_t variable;
        if (d.textPiece(ops, code, variable)) {
          finish(kAssignPiece, 0, code, n);
          ops.back().y = variable;
          c.next = d.position();
          break;
        }
        ops.clear();
        d.seek(back);
      }
      // n = n + piece + piece ...: the variable itself first, then only constant texts and
      // other String variables, each added at once; nothing else can read or change it.
      uint8_t b;
      uint16_t m;
      if (!d.u8(b) || b != uint8_t(Operand::OpGlobal) || !d.u8(type) || type != uint8_t(ValueType::String) || !d.u16(m) ||
          m != n)
        return nullptr;
      for (;;) {
        if (!d.u8(b)) return nullptr;
        if (b == kEndByte) break;
        TextPiece piece;
        if (const uint32_t end = d.textOperand(d.position() - 1, 0); end && !d.readsText(d.position() - 1, end, n) &&
                                                                  b != uint8_t(Operand::OpGlobal) && b != uint8_t(Operand::OpConstant)) {
          // An operand that pushes one text without calling program code or reading the
          // variable appended to: run by its own handler.
          piece.at = d.position();
          piece.length = end - piece.at;
          piece.handler = CodeDecoder::handlerOf(b);
          d.seek(end);
          if (!d.u8(b) || b != uint8_t(Operand::OpPlus)) return nullptr;
          c.pieces.push_back(piece);
          continue;
        }
        if (!d.u8(type) || type != uint8_t(ValueType::String)) return nullptr;
        if (b == uint8_t(Operand::OpGlobal)) {
          if (!d.u16(m) || m == n) return nullptr;
          piece.variable = true;
          piece.number = m;
        } else if (b == uint8_t(Operand::OpConstant)) {
          uint16_t length;
          if (!d.u16(length) || length > 2048) return nullptr;
          piece.at = d.position();
          piece.length = length;
          if (!d.skip(length)) return nullptr;
        } else {
          return nullptr;
        }
        if (!d.u8(b) || b != uint8_t(Operand::OpPlus)) return nullptr;
        c.pieces.push_back(piece);
      }
      if (c.pieces.empty()) return nullptr;
      finish(kAppendText, 0, 0, n);
      c.next = d.position();
      break;
    }
    case Lead::StmtAssignArrayElement: {
      uint8_t type, subscripts;
      uint16_t array;
      if (!d.u8(type) || !d.u16(array) || !isNumeric(type) || array >= kArrayNumbers) return nullptr;
      if (!d.u8(subscripts) || subscripts < 1 || subscripts > kDimensions) return nullptr;
      // The position is taken before the value is evaluated: a value that calls program code
      // (which may declare the array again) is left to the generic path.
      if (!d.subscripts(ops, 0, subscripts)) return nullptr;
      const size_t value = ops.size();
      if (!number(subscripts) || CodeDecoder::callsIn(ops, value)) return nullptr;
      finish(kSetElement, subscripts, type, array);
      ops.back().count = subscripts;
      ops.back().y = uint32_t(widthOf(ValueType(type)));
      c.next = d.position();
      break;
    }
    case Lead::StmtAssignLocal: {
      uint8_t type;
      uint16_t n;
      if (!d.u8(type) || !d.u16(n) || !isNumeric(type) || !number(0)) return nullptr;
      finish(kSetLocal, 0, type, n);
      c.next = d.position();
      break;
    }
    case Lead::StmtAssignParam: {
      uint8_t kind, slot;
      if (!d.u8(kind) || !d.u8(slot)) return nullptr;
      if (isNumeric(kind)) {
        if (!number(0)) return nullptr;
        finish(kSetParam, 0, kind, slot);
      } else if (isNumericArrayKind(kind)) {
        // An element of an array passed by reference: the array number checked, the
        // subscripts, the value; none may call program code.
        const uint8_t type = uint8_t(kind - kFirstArrayKind);
        uint8_t subscripts;
        if (!d.u8(subscripts) || subscripts < 1 || subscripts > kDimensions) return nullptr;
        finish(kParamCheck, 0, type, slot);
        if (!d.subscripts(ops, 0, subscripts) || !number(subscripts) || CodeDecoder::callsIn(ops, 0)) return nullptr;
        finish(kSetParamElement, subscripts, type, slot);
        ops.back().count = subscripts;
        ops.back().y = uint32_t(widthOf(ValueType(type)));
      } else {
        return nullptr;
      }
      c.next = d.position();
      break;
    }
    case Lead::StmtSetResult:
      if (!number(0)) return nullptr;
      finish(kSetResult);
      c.next = d.position();
      break;
    case Lead::StmtEndBody:
      finish(kEndBody);
      c.next = at + 1;
      break;
    case Lead::StmtReturn:
      finish(kReturn);
      c.next = at + 1;
      break;
    default: return nullptr;
  }
  c.ops = finishOps(ops);
  // The expression decoding above may have grown the cache past its bound: still stored.
  CompiledStatement& stored = m_statements.emplace_back(std::move(c));
  m_bytes += sizeof stored + ops.size() * sizeof(MicroOp) + stored.pieces.size() * sizeof(TextPiece);
  slot = &stored;
  return &stored;
}

void decodeNothing(State& s) { s.compiled = std::make_unique<CompiledCache>(s.code.data(), s.code.size(), 0); }

CompiledCache& remakeCompiledCache(State& s) {
  s.compiled = std::make_unique<CompiledCache>(s.code.data(), s.code.size());
  return *s.compiled;
}

// --- Running --------------------------------------------------------------------------

namespace {

[[noreturn, gnu::cold]] void noString(int64_t n) { listIndexError(n); }

inline const std::string& globalString(State& s, uint32_t n) {
  auto& strings = s.stores.strings;
  if (n >= strings.size()) [[unlikely]]
    noString(n);
  return strings[n];
}

// Links to the decoded statement at `position`. Without per-statement checks (`slow`), a
// link to a plain jump whose own target is a decoded statement goes straight there: the
// jump cannot fail and nothing of it would be seen (the next statement records its own
// position). With the checks on, every jump is a statement of its own.
[[gnu::noinline]] const CompiledStatement* linkTo(State& s, CompiledCache& cache, const CompiledStatement*& link,
                                                  int64_t position, bool slow) {
  CodeReader& code = s.code;
  code.seek(position);  // a negative position raises the error here, as a jump would
  if (code.atEnd()) return nullptr;
  const CompiledStatement* next = cache.statement(code.position());
  if (next && !slow && next->ops[0].code == kJump) {
    if (!next->jumped && next->target >= 0 && next->target < int64_t(code.size()))
      next->jumped = cache.statement(uint32_t(next->target));
    if (next->jumped) next = next->jumped;
  }
  if (next) link = next;
  return next;
}

[[gnu::cold]] void genericForNext(State& s, uint32_t at) {
  if (s.stats) s.stats->countHandedOver(s.code.data()[at], uint8_t(Command::StmtForNext));
  s.code.seek(int64_t(at) + 2);
  execStmtForNext(s);
}

[[gnu::cold]] void stepChecks(State& s, const CompiledStatement& c) {
  s.code.seek(int64_t(c.at) + 1);  // as the generic path has it: after the lead byte
  slowStep(s, c.at, c.lead, true);
}

// The pieces appended in order, each as the generic path takes it (a variable checked, an
// operand's handler run); an error leaves the text as it was. No piece reads the text or
// calls program code, so none sees it half appended.
[[gnu::noinline]] void appendText(State& s, const CompiledStatement& c, uint32_t number) {
  auto& strings = s.stores.strings;
  globalString(s, number);
  s.resultNum = 0.0;  // as an evaluation starts; the pieces' own evaluations may set it
  const size_t original = strings[number].size();
  try {
    for (const TextPiece& p : c.pieces) {
      if (p.variable) {
        const std::string& piece = globalString(s, p.number);
        std::string& text = strings[number];
        roomToGrow(text, int64_t(text.size() + piece.size()));
        text += piece;
      } else if (!p.handler) {
        std::string& text = strings[number];
        roomToGrow(text, int64_t(text.size() + p.length));
        text.append(reinterpret_cast<const char*>(s.code.data()) + p.at, p.length);
      } else {
        // The operand's stack is kept from one piece to the next, so that its text slot
        // keeps its buffer: no piece calls program code, so no other append runs meanwhile.
        thread_local EvalStack e;
        e.numCount = 0;
        e.strCount = 0;
        e.mode = 1;
        s.code.seek(p.at);
        p.handler(s, e);
        std::string& text = strings[number];
        if (e.strCount > 0) {
          const std::string& piece = e.str[0];
          roomToGrow(text, int64_t(text.size() + piece.size()));
          text += piece;
        }
      }
    }
  } catch (...) {
    strings[number].resize(original);
    throw;
  }
  s.resultStr.clear();
}

inline void setResultNumber(State& s, double v) {
  s.resultNum = v;
  s.resultStr.clear();
}

// The byte offset of an element: subscripts (already truncated) in sub[0..n-1]; the one-
// and two-dimensional forms spelled out for the loop, from the same parts as the generic
// path's.
inline int64_t elementAt(const ArrayDescriptor& d, const double* sub, unsigned n, uint32_t width) {
  if (n == 1) return positionOf(d, lastSubscriptOffset(d, 0, int32_t(sub[0])), width);
  if (n == 2)
    return positionOf(d, subscriptOffset(d, 0, int32_t(sub[0])) + lastSubscriptOffset(d, 1, int32_t(sub[1])), width);
  return elementPositionOf(d, sub, n, width);
}

enum class RunEnd : uint8_t { Finished, Generic, Undecoded, Activation };

RunEnd run(State* state, CompiledCache* cache, const CompiledStatement* c, const MicroOp* op, double* r, EvalStack* e,
           bool slow);

const void* const* microLabels() {
  static const void* const* const labels = [] {
    run(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, false);
    return g_labels;
  }();
  return labels;
}

// A call made by a decoded statement: the body's first statement runs here when it is
// decoded, instead of through a dispatcher activation of its own.
[[gnu::noinline]] double callDecoded(State& s, CompiledCache& cache, int64_t target, uint32_t back, bool slow) {
  CallState& calls = s.calls;
  const CompiledStatement* body =
      target >= 0 && target + 4 < int64_t(s.code.size()) ? cache.statement(uint32_t(target + 4)) : nullptr;
  if (!body) [[unlikely]]
    return callNumberFunction(s, target, back);  // which refuses a target outside the image
  const double saved = calls.functionNumber;
  enterCheckedCall(s, target, back, true, [&]() __attribute__((always_inline)) {
    checkHostStack();  // as a dispatcher activation checks it: after the level rose
    prepareLocalFrames(s.stores, calls.level);
    double slots[kSlots];
    if (run(&s, &cache, body, nullptr, slots, nullptr, slow) == RunEnd::Undecoded) runStatements(s);
  });
  const double v = calls.functionNumber;
  calls.functionNumber = saved;
  return v;
}

// A procedure call made by a decoded statement, its arguments already passed: the body's
// first statement runs here when it is decoded, as in callDecoded.
[[gnu::noinline]] void callProcedureDecoded(State& s, CompiledCache& cache, int64_t target, uint32_t back, bool slow) {
  const CompiledStatement* body =
      target >= 0 && target + 4 < int64_t(s.code.size()) ? cache.statement(uint32_t(target + 4)) : nullptr;
  if (!body) [[unlikely]] {
    enterCall(s, target, back, true, [&] { runStatements(s); });  // which refuses a target outside the image
    return;
  }
  enterCheckedCall(s, target, back, true, [&]() __attribute__((always_inline)) {
    checkHostStack();
    prepareLocalFrames(s.stores, s.calls.level);
    double slots[kSlots];
    if (run(&s, &cache, body, nullptr, slots, nullptr, slow) == RunEnd::Undecoded) runStatements(s);
  });
}

// The step of a loop over any numeric type but a global Double: whether it goes on. A
// global's store is read and written here, in the variable's own type.
[[gnu::noinline]] bool loopOtherStep(State& s, const uint8_t* top) {
  const LoopEntry entry = loopEntryFrom(top);
  double v;
  if (entry.scope == kGlobalLoopScope) {
    const ValueType type = ValueType(entry.type);
    ByteStore& b = s.stores.scalars[entry.type];
    const uint32_t at = uint32_t(entry.variable) * uint32_t(widthOf(type));
    v = addStep(type, readNumeric(b, type, at), entry.step);
    writeNumeric(b, type, at, v);
  } else {
    const ValueType type = ValueType(entry.type);
    ByteStore& b = currentFrame(s.stores, s.calls.level).numbers[entry.type];
    const int64_t at = int64_t(entry.variable) * widthOf(type);
    v = addStep(type, readNumeric(b, type, at), entry.step);
    writeNumeric(b, type, at, v);
  }
  return loopGoesOn(entry, v);
}

// A case test whose selector turned out to be a text: the statement's own handler.
[[gnu::cold]] void genericCaseTest(State& s, uint32_t at) {
  if (s.stats) s.stats->countHandedOver(s.code.data()[at], uint8_t(Command::StmtCaseTest));
  s.code.seek(int64_t(at) + 2);
  execStmtCaseTest(s);
}

// The array of a reference parameter of a numeric array kind, checked as the generic path
// looks it up (the number must name an array).
inline const ArrayDescriptor& parameterArray(State& s, uint8_t type, uint32_t slot) {
  return arrayDescriptor(s, ValueType(type), referenceIndex(s.calls, slot));
}

// An element of a numeric array passed by reference; its subscripts in r[op.a] on.
[[gnu::noinline]] double parameterElement(State& s, const MicroOp& op, const double* r) {
  const int64_t at = elementAt(parameterArray(s, op.type, op.x), r + op.a, op.count, op.y);
  const ValueType type = ValueType(op.type);
  const ByteStore& b = s.stores.arrayBytes[op.type];
  return type == ValueType::Double ? b.read<double>(at) : readNumeric(b, type, at);
}

// The same element assigned, its subscripts in r[0] on. The array was checked before the
// subscripts, and nothing ran since that could change it.
[[gnu::noinline]] void setParameterElement(State& s, const MicroOp& op, const double* r, double v) {
  const int64_t at = elementAt(s.stores.descriptors[op.type][referenceIndex(s.calls, op.x)], r, op.count, op.y);
  setResultNumber(s, v);
  ByteStore& b = s.stores.arrayBytes[op.type];
  if (ValueType(op.type) == ValueType::Double) b.write<double>(at, v);
  else writeNumeric(b, ValueType(op.type), at, v);
}

// StmtSelectBegin of a number, its level already checked.
[[gnu::noinline]] void selectNumber(State& s, uint32_t level, double v) {
  setResultNumber(s, v);
  ControlState& control = s.control;
  control.selectionLevel = int32_t(level);
  Selector& selector = control.selectors[level];
  selector.number = v;
  selector.isText = false;
}

// The one loop over micro-operations. Expressions (c == nullptr) end at their End
// operation (Finished) or hand over to the evaluator loop after a generic operand
// (Generic); decoded statements (c given) go on from one to the next until the next one
// is not decoded or the activation ends. Each operation keeps its own dispatch jump (no
// shared tails), so the jumps predict well.
// Called with no state, it only hands out the addresses of its operations.
[[gnu::hot, gnu::optimize("no-crossjumping", "no-gcse")]] RunEnd run(State* state, CompiledCache* cache,
                                                                    const CompiledStatement* c, const MicroOp* op,
                                                                    double* r, EvalStack* e, bool slow) {
  static const void* const kLabels[] = {
#define MICRO_LABEL(name) &&op##name,
      MICRO_OPS(MICRO_LABEL)
#undef MICRO_LABEL
  };
  if (!state) [[unlikely]] {
    g_labels = kLabels;
    return RunEnd::Finished;
  }
  State& s = *state;
  double last = 0.0;  // the value the last operation produced
#define PUT(value) last = r[op->a] = (value)
  Stores& st = s.stores;
  const ByteStore& doubles = st.scalars[size_t(ValueType::Double)];
#define NEXT goto*(++op)->label
  // Goes on with the statement at `link` (decoded), or leaves the loop.
#define FOLLOW(link, position)                                                              \
  do {                                                                                      \
    const CompiledStatement* n_ = (link) ? (link) : linkTo(s, *cache, (link), (position), slow); \
    if (!n_) return RunEnd::Undecoded;                                                      \
    c = n_;                                                                                 \
    goto enter;                                                                             \
  } while (0)
  // A statement's end: a conditional jump on the value v, or v stored in a global Double at
  // byte offset `to`; either way v becomes the result number first.
#define BRANCH_ON(value)                          \
  do {                                            \
    const double v_ = (value);                    \
    setResultNumber(s, v_);                       \
    if (v_ == 0.0) FOLLOW(c->jumped, c->target);  \
    FOLLOW(c->follow, c->next);                   \
  } while (0)
#define STORE_DOUBLE(to, value)                                      \
  do {                                                               \
    const double v_ = (value);                                       \
    setResultNumber(s, v_);                                          \
    st.scalars[size_t(ValueType::Double)].write<double>((to), v_);   \
    FOLLOW(c->follow, c->next);                                      \
  } while (0)
  // A global Double as a 32-bit subscript (error 207 outside).
  auto globalInt = [&](uint32_t at) { return truncateToInt(doubles.read<double>(at)); };
  if (!c) goto* op->label;
enter:
  s.statementPosition = c->at;
  if (slow) [[unlikely]]
    stepChecks(s, *c);
  op = c->ops.get();
  goto* op->label;
opEnd:
  return RunEnd::Finished;
opConst:
  PUT(op->k);
  NEXT;
opGlobalDouble:
  PUT(doubles.read<double>(op->x));
  NEXT;
opGlobalNumber:
  PUT(readNumeric(st.scalars[op->type], ValueType(op->type), op->x));
  NEXT;
opLocal:
  PUT(readNumeric(currentFrame(st, s.calls.level).numbers[op->type], ValueType(op->type),
                  int64_t(op->x) * widthOf(ValueType(op->type))));
  NEXT;
opParam:
  PUT(readValueParameter(op->type, numberParameter(s.calls, op->x)));
  NEXT;
opTruncate:
  PUT(double(truncateToInt(r[op->a])));
  NEXT;
opElement: {
  const int64_t at = elementAt(st.descriptors[op->type][op->x], r + op->a, op->count, op->y);
  const ValueType type = ValueType(op->type);
  const ByteStore& b = st.arrayBytes[op->type];
  PUT(type == ValueType::Double ? b.read<double>(at) : readNumeric(b, type, at));
  NEXT;
}
opGElement: {
  const double sub = globalInt(op->y);
  const int64_t at = elementAt(st.descriptors[size_t(ValueType::Double)][op->x], &sub, 1, 8);
  PUT(st.arrayBytes[size_t(ValueType::Double)].read<double>(at));
  NEXT;
}
opGTruncate2:
  r[op->a - 1] = globalInt(op->x);
  PUT(double(globalInt(op->y)));
  NEXT;
opGElement2: {
  const double first = globalInt(op->x);  // the first subscript's error comes first
  const double sub[2] = {first, double(globalInt(op->y))};
  const int64_t at = elementAt(st.descriptors[size_t(ValueType::Double)][op->type], sub, 2, 8);
  PUT(st.arrayBytes[size_t(ValueType::Double)].read<double>(at));
  NEXT;
}
opParamElement:
  PUT(parameterElement(s, *op, r));
  NEXT;
opParamCheck:
  parameterArray(s, op->type, op->x);
  NEXT;
opRefArgument:
  setNextReferenceParameter(s, int(op->x), op->type, uint16_t(op->y));
  NEXT;
opRefForward:
  setNextReferenceParameter(s, int(op->x), op->type, referenceIndex(s.calls, op->y));
  NEXT;
opSelectLevel:
  checkSelectionLevel(uint8_t(op->x));
  NEXT;
opCaseStart: {
  const Selector& selector = s.control.selectors[size_t(s.control.selectionLevel)];
  if (selector.isText) [[unlikely]] {
    genericCaseTest(s, c->at);
    if (s.code.atEnd()) return RunEnd::Undecoded;
    c = cache->statement(s.code.position());
    if (!c) return RunEnd::Undecoded;
    goto enter;
  }
  s.control.caseMatched = false;
  NEXT;
}
// The items call no program code, so the selector stays as it was when the test began.
opCaseValue:
  s.control.caseMatched |= r[0] == s.control.selectors[size_t(s.control.selectionLevel)].number;
  NEXT;
opCaseRange: {
  const double selector = s.control.selectors[size_t(s.control.selectionLevel)].number;
  s.control.caseMatched |= r[0] <= selector && selector <= r[1];
  NEXT;
}
opCaseCondition:
  s.control.caseMatched |= r[0] != 0.0;
  NEXT;
opIntPart:
  PUT(std::trunc(r[op->a]));
  NEXT;
opTextLength: {
  // The argument's evaluation leaves its text in the result registers, as the generic
  // path does; programs can see it there (a String variable assigned this value).
  const std::string& text = globalString(s, op->x);
  PUT(double(text.size()));
  s.resultStr.assign(text);
  s.resultNum = 0.0;
  NEXT;
}
opGeneric: {
  // Only in Mixed expressions, which run with an evaluator stack.
  const int a = op->a;
  for (int i = 0; i < a; ++i) e->num[i] = r[i];
  e->numCount = a;
  e->mode = a ? 0 : 1;
  s.code.seek(op->x);
  op->handler(s, *e);
  if (op->end == 0 || e->numCount != a + 1 || e->mode != 0 || e->strCount != 0 || s.code.position() != op->end)
    return RunEnd::Generic;  // the evaluator loop goes on from here
  last = r[a] = e->num[a];
  NEXT;
}
opAdd: {
  const double right = op->fromLast ? last : r[op->a + 1];
  PUT(arith::checked(r[op->a], right, r[op->a] + right));
  NEXT;
}
opSub: {
  const double right = op->fromLast ? last : r[op->a + 1];
  PUT(arith::checked(r[op->a], right, r[op->a] - right));
  NEXT;
}
opMul: {
  const double right = op->fromLast ? last : r[op->a + 1];
  PUT(arith::checked(r[op->a], right, r[op->a] * right));
  NEXT;
}
opBinary:
  PUT(arith::binary(op->type, r[op->a], op->fromLast ? last : r[op->a + 1]));
  NEXT;
opCompare:
  PUT(arith::compareByMask(op->type, r[op->a], op->fromLast ? last : r[op->a + 1]));
  NEXT;
opNot:
  PUT(double(~roundToInt(r[op->a])));
  NEXT;
opNegate:
  PUT(-r[op->a]);
  NEXT;
opAddK:
  PUT(arith::checked(r[op->a], op->k, r[op->a] + op->k));
  NEXT;
opSubK:
  PUT(arith::checked(r[op->a], op->k, r[op->a] - op->k));
  NEXT;
opMulK:
  PUT(arith::checked(r[op->a], op->k, r[op->a] * op->k));
  NEXT;
opCompareK:
  PUT(arith::compareByMask(op->type, r[op->a], op->k));
  NEXT;
opAddG: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(r[op->a], g, r[op->a] + g));
  NEXT;
}
opSubG: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(r[op->a], g, r[op->a] - g));
  NEXT;
}
opMulG: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(r[op->a], g, r[op->a] * g));
  NEXT;
}
opCompareG:
  PUT(arith::compareByMask(op->type, r[op->a], doubles.read<double>(op->x)));
  NEXT;
opGAddK: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(g, op->k, g + op->k));
  NEXT;
}
opGSubK: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(g, op->k, g - op->k));
  NEXT;
}
opGMulK: {
  const double g = doubles.read<double>(op->x);
  PUT(arith::checked(g, op->k, g * op->k));
  NEXT;
}
opGCompareK:
  PUT(arith::compareByMask(op->type, doubles.read<double>(op->x), op->k));
  NEXT;
opGAddG: {
  const double g = doubles.read<double>(op->x), h = doubles.read<double>(op->y);
  PUT(arith::checked(g, h, g + h));
  NEXT;
}
opGSubG: {
  const double g = doubles.read<double>(op->x), h = doubles.read<double>(op->y);
  PUT(arith::checked(g, h, g - h));
  NEXT;
}
opGMulG: {
  const double g = doubles.read<double>(op->x), h = doubles.read<double>(op->y);
  PUT(arith::checked(g, h, g * h));
  NEXT;
}
opGCompareG:
  PUT(arith::compareByMask(op->type, doubles.read<double>(op->x), doubles.read<double>(op->y)));
  NEXT;
opGTruncate:
  PUT(double(globalInt(op->x)));
  NEXT;
opRound:
  // A number argument of a text piece: rounded, as the built-in takes it.
  PUT(double(roundToInt(r[op->a])));
  NEXT;
opModK:
  PUT(double(roundToInt(r[op->a]) % int32_t(op->x)));
  NEXT;
opCheckTexts:
  globalString(s, op->x);
  globalString(s, op->y);
  NEXT;
opFindText: {
  const std::string& hay = st.strings[op->x];  // both checked, and nothing ran since
  const std::string& needle = st.strings[op->y];
  const size_t at = needle.empty() ? std::string::npos : hay.find(needle);
  PUT(at == std::string::npos ? 0.0 : double(at + 1));
  NEXT;
}
opAssignPiece: {
  // The piece goes to the text register and to the variable, as the generic path leaves them.
  const std::string_view all = st.strings[op->y];
  const int64_t n = int64_t(r[0]);
  const std::string_view piece = op->type == uint8_t(Builtin::MidText)    ? midPiece(all, n, int64_t(r[1]))
                                 : op->type == uint8_t(Builtin::LeftText) ? leftPiece(all, n)
                                                                          : rightPiece(all, n);
  s.resultStr.assign(piece.data(), piece.size());
  s.resultNum = r[op->type == uint8_t(Builtin::MidText) ? 1 : 0];
  globalString(s, op->x);
  st.strings[op->x] = s.resultStr;
  FOLLOW(c->follow, c->next);
}
opArgument: {
  // As the generic path evaluates an argument: into the result registers, then the slot.
  const double v = op->fromLast ? last : r[op->a];
  setResultNumber(s, v);
  setNextNumberParameter(s.calls, op->x, v);
  NEXT;
}
opCall:
  PUT(cache ? callDecoded(s, *cache, int32_t(op->x), op->end, slow)
                   : callNumberFunction(s, int32_t(op->x), op->end));
  NEXT;
// --- the last operation of a statement ---
opJumpCompareK:
  BRANCH_ON(arith::compareByMask(op->type, r[op->a], op->k));
opJumpCompareG:
  BRANCH_ON(arith::compareByMask(op->type, r[op->a], doubles.read<double>(op->x)));
opJumpGCompareK:
  BRANCH_ON(arith::compareByMask(op->type, doubles.read<double>(op->x), op->k));
opJumpGCompareG:
  BRANCH_ON(arith::compareByMask(op->type, doubles.read<double>(op->x), doubles.read<double>(op->y)));
opSetGAddK: {
  const double g = doubles.read<double>(op->x);
  STORE_DOUBLE(op->y, arith::checked(g, op->k, g + op->k));
}
opSetGSubK: {
  const double g = doubles.read<double>(op->x);
  STORE_DOUBLE(op->y, arith::checked(g, op->k, g - op->k));
}
opSetDouble:
  STORE_DOUBLE(op->x, op->fromLast ? last : r[0]);
opSetNumber: {
  const double v = op->fromLast ? last : r[0];
  setResultNumber(s, v);
  writeNumeric(st.scalars[op->type], ValueType(op->type), op->x, v);
  FOLLOW(c->follow, c->next);
}
opSetElement: {
  const int64_t at = elementAt(st.descriptors[op->type][op->x], r, op->count, op->y);
  const ValueType type = ValueType(op->type);
  const double v = op->fromLast ? last : r[op->a];
  setResultNumber(s, v);
  ByteStore& b = st.arrayBytes[op->type];
  if (type == ValueType::Double) b.write<double>(at, v);
  else writeNumeric(b, type, at, v);
  FOLLOW(c->follow, c->next);
}
opAppendText:
  appendText(s, *c, op->x);
  FOLLOW(c->follow, c->next);
opJumpIfZero:
  BRANCH_ON(op->fromLast ? last : r[0]);
opJump:
  FOLLOW(c->jumped, c->target);
opForNext: {
  // A loop over a numeric type: the step taken here. Anything else (a loop stack out of
  // place, a type that does not count) takes the statement's own handler.
  ControlState& control = s.control;
  const uint8_t* top = loopTopBytes(control);
  uint16_t kind = 0;  // the scope and type bytes, as loopKind puts them together
  if (top) std::memcpy(&kind, top, 2);
  if (kind == loopKind(kGlobalLoopScope, uint8_t(ValueType::Double))) {
    const LoopEntry entry = loopEntryFrom(top);
    ByteStore& b = st.scalars[size_t(ValueType::Double)];
    const uint32_t at = uint32_t(entry.variable) * 8;
    const double v = addStep(ValueType::Double, b.read<double>(at), entry.step);
    b.write<double>(at, v);
    if (loopGoesOn(entry, v)) FOLLOW(c->jumped, c->target);
    loopPop(control);
    FOLLOW(c->follow, c->next);
  }
  if (top && isLoopType(top[1])) {
    if (loopOtherStep(s, top)) FOLLOW(c->jumped, c->target);
    loopPop(control);
    FOLLOW(c->follow, c->next);
  }
  genericForNext(s, c->at);
  // The handler left the code position where it goes on.
  if (s.code.atEnd()) return RunEnd::Undecoded;
  c = cache->statement(s.code.position());
  if (!c) return RunEnd::Undecoded;
  goto enter;
}
opSetResult: {
  const double v = op->fromLast ? last : r[0];
  setResultNumber(s, v);
  s.calls.functionIsText = false;
  s.calls.functionNumber = v;
  FOLLOW(c->follow, c->next);
}
opSetLocal: {
  const double v = op->fromLast ? last : r[0];
  setResultNumber(s, v);
  writeNumeric(currentFrame(st, s.calls.level).numbers[op->type], ValueType(op->type),
               int64_t(op->x) * widthOf(ValueType(op->type)), v);
  FOLLOW(c->follow, c->next);
}
opSetParam: {
  const double v = op->fromLast ? last : r[0];
  setResultNumber(s, v);
  assignValueParameter(s.calls, op->type, op->x, v);
  FOLLOW(c->follow, c->next);
}
opSetParamElement:
  setParameterElement(s, *op, r, op->fromLast ? last : r[op->a]);
  FOLLOW(c->follow, c->next);
opCallProc:
  callProcedureDecoded(s, *cache, int32_t(op->x), c->next, slow);
  FOLLOW(c->follow, c->next);
opSelectBegin:
  selectNumber(s, op->x, op->fromLast ? last : r[0]);
  FOLLOW(c->follow, c->next);
opCaseJump:
  if (!s.control.caseMatched) FOLLOW(c->jumped, c->target);
  FOLLOW(c->follow, c->next);
opSelectEnd:
  if (s.control.selectionLevel > 0) --s.control.selectionLevel;
  FOLLOW(c->follow, c->next);
opDeclare:
  declareScalarVariable(s, op->count, ValueType(op->type), uint16_t(op->x));
  FOLLOW(c->follow, c->next);
opEndBody:
  s.code.seek(c->next);
  leaveCallLevel(s);
  return RunEnd::Activation;
opReturn:
  s.code.seek(c->next);
  return RunEnd::Activation;
#undef FOLLOW
#undef BRANCH_ON
#undef STORE_DOUBLE
#undef NEXT
#undef PUT
}

}  // namespace

double runNumber(State& s, const CompiledExpression& x) {
  double r[kSlots];
  run(&s, nullptr, nullptr, x.ops.get(), r, nullptr, false);
  return r[0];
}

bool runMixed(State& s, const CompiledExpression& x, EvalStack& e) {
  double r[kSlots];
  if (run(&s, nullptr, nullptr, x.ops.get(), r, &e, false) != RunEnd::Finished) return false;
  e.num[0] = r[0];
  e.numCount = 1;
  e.mode = 0;
  s.code.seek(x.end);
  return true;
}

BlockEnd runDecoded(State& s, CompiledCache& cache, const CompiledStatement* c, double* r, bool slow) {
  return run(&s, &cache, c, nullptr, r, nullptr, slow) == RunEnd::Activation ? BlockEnd::Activation
                                                                             : BlockEnd::Undecoded;
}

}  // namespace tavrin
