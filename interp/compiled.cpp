// Decoding statements and expressions into the cache, and running the decoded forms.
// Hazards: the slots of a decoded expression are the evaluator's stack positions (a
// sub-expression of a subscript or an argument starts at the slot its value lands in), so
// every operator sees the operands the evaluator loop would; the decoder refuses whatever
// would make the loop keep its odd counts (an operator short of operands, more than eight
// slots, a text) and leaves it to the generic path. A generic operand is run by its own
// handler; the decoded rest follows only when the handler left exactly the stack and the
// code position the decoder expected, otherwise the evaluator loop goes on from there.
#include "interp/compiled.h"

#include <cmath>
#include <cstring>

#include "interp/calls.h"
#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/stores.h"
#include "interp/tables.h"
#include "interp/value_ops.h"
#include "runtime/memory_limit.h"
#include "runtime/state.h"

namespace tavrin {

namespace {

#define MICRO_OPS(X)                                                                            \
  X(End) X(Const) X(GlobalDouble) X(GlobalNumber) X(Local) X(Param) X(Truncate) X(Element)      \
  X(IntPart) X(TextLength) X(Generic) X(Add) X(Sub) X(Mul) X(Binary) X(Not) X(Negate) X(AddK)   \
  X(SubK) X(MulK) X(CompareK) X(AddG) X(SubG) X(MulG) X(CompareG) X(Compare)

enum Micro : uint8_t {
#define MICRO_ENUM(name) k##name,
  MICRO_OPS(MICRO_ENUM)
#undef MICRO_ENUM
};

constexpr uint8_t kEndByte = 11;
constexpr int kSlots = 64;  // every slot of nested sub-expressions together
constexpr uint8_t kContinuationByte = 33;

constexpr bool isNumeric(uint8_t type) { return type >= 1 && type <= 7; }

inline double readDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
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

private:
  static OperandHandler handlerOf(uint8_t tag) {
    switch (tag) {
#define OPERAND(t, name, asmName, layout) \
  case t: return &eval##name;
#include "interp/operands.def"
#undef OPERAND
      default: return nullptr;
    }
  }

  // A sub-expression evaluated on its own (a subscript, an argument) whose value lands in
  // slot `a`: numbers only.
  bool subExpression(std::vector<MicroOp>& ops, int a) {
    bool tail = false, generic = false;
    if (!expression(ops, a, false, tail, generic)) return false;
    ops.pop_back();  // its End: the value stays in slot a
    return true;
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
        uint8_t kind, slot;
        if (!u8(kind) || !u8(slot)) return Decoded::No;
        if (!isNumeric(kind)) return Decoded::No;
        push(ops, kParam, a, kind, slot);
        return Decoded::Pushed;
      }
      case Operand::OpArrayElement: {
        uint8_t type, count;
        uint16_t array;
        if (!u8(type) || !u16(array)) return Decoded::No;
        if (!isNumeric(type) || array >= kArrayNumbers) return Decoded::No;
        if (!u8(count) || count < 1 || count > kDimensions || a + count > kSlots) return Decoded::No;
        for (int i = 0; i < count; ++i) {
          if (!subExpression(ops, a + i)) return Decoded::No;
          push(ops, kTruncate, a + i);
        }
        push(ops, kElement, a, type, array);
        ops.back().count = count;
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
        if (code == uint8_t(Builtin::TextLength) && m_at + 5 <= m_size && m_image[m_at] == uint8_t(Operand::OpGlobal) &&
            m_image[m_at + 1] == uint8_t(ValueType::String) && m_image[m_at + 4] == kEndByte) {
          uint16_t n;
          std::memcpy(&n, m_image + m_at + 2, 2);
          m_at += 5;
          push(ops, kTextLength, a, 0, n);
          return Decoded::Pushed;
        }
        m_at = start;
        return Decoded::Generic;
      }
      default: return Decoded::Generic;
    }
  }

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
        default:
          if (isCompare) fused = constant ? kCompareK : kCompareG;
          break;
      }
      if (fused) {
        last->code = fused;
        last->a = uint8_t(a);
        last->type = b;
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
    push(ops, code, a, b);
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
        const bool valueKind = kind <= 8 || (kind >= 10 && kind <= 12);
        if (!valueKind || !argument()) return false;
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
  x.ops = std::make_unique<MicroOp[]>(ops.size());
  std::copy(ops.begin(), ops.end(), x.ops.get());
  m_bytes += sizeof x + ops.size() * sizeof(MicroOp);
  slot = &x;
  return &x;
}

const CompiledStatement* CompiledCache::decodeStatementAt(uint32_t at) {
  if (at + 1 >= m_size || m_bytes > m_bound) return nullptr;
  bool ok;
  const CompiledStatement*& slot = slotFor(m_statementPages, at, ok);
  if (!ok) return nullptr;
  slot = &m_noStatement;
  CompiledStatement c;
  c.at = at;
  c.lead = m_image[at];
  CodeDecoder d(*this, at + 1);
  // A Number expression at the decoder's position, taken from the expression cache.
  auto number = [&](const CompiledExpression*& x) {
    x = expression(d.position());
    if (!x || x->form != ExpressionForm::Number) return false;
    d.seek(x->end);
    return true;
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
        case Command::StmtJump: c.form = StatementForm::Jump; break;
        case Command::StmtForNext: c.form = StatementForm::ForNext; break;
        case Command::StmtJumpIfZero:
          c.form = StatementForm::JumpIfZero;
          if (!number(c.value)) return nullptr;
          break;
        default: return nullptr;
      }
      if (!jumpOffset()) return nullptr;
      break;
    }
    case Lead::StmtAssignGlobal: {
      uint16_t n;
      if (!d.u8(c.type) || !d.u16(n)) return nullptr;
      c.number = n;
      if (isNumeric(c.type)) {
        c.form = StatementForm::AssignNumber;
        if (!number(c.value)) return nullptr;
        c.next = d.position();
        break;
      }
      if (c.type != uint8_t(ValueType::String)) return nullptr;
      // n = n + piece + piece ...: the variable itself first, then only constant texts and
      // other String variables, each added at once; nothing else can read or change it.
      uint8_t b, type;
      uint16_t m;
      if (!d.u8(b) || b != uint8_t(Operand::OpGlobal) || !d.u8(type) || type != uint8_t(ValueType::String) || !d.u16(m) ||
          m != n)
        return nullptr;
      for (;;) {
        if (!d.u8(b)) return nullptr;
        if (b == kEndByte) break;
        TextPiece piece;
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
      c.form = StatementForm::AppendText;
      c.next = d.position();
      break;
    }
    case Lead::StmtAssignArrayElement: {
      uint16_t array;
      if (!d.u8(c.type) || !d.u16(array) || !isNumeric(c.type) || array >= kArrayNumbers) return nullptr;
      c.number = array;
      if (!d.u8(c.subscripts) || c.subscripts < 1 || c.subscripts > kDimensions) return nullptr;
      for (int i = 0; i < c.subscripts; ++i)
        if (!number(c.subs[i])) return nullptr;
      if (!number(c.value)) return nullptr;
      c.form = StatementForm::AssignElement;
      c.next = d.position();
      break;
    }
    case Lead::StmtSetResult:
      if (!number(c.value)) return nullptr;
      c.form = StatementForm::SetResult;
      c.next = d.position();
      break;
    default: return nullptr;
  }
  // The expression decoding above may have grown the cache past its bound: still stored.
  CompiledStatement& stored = m_statements.emplace_back(std::move(c));
  m_bytes += sizeof stored + stored.pieces.size() * sizeof(TextPiece);
  slot = &stored;
  return &stored;
}

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

template <bool kMixed>
// Each operation keeps its own dispatch jump (no shared tails), so the jumps predict well.
[[gnu::hot, gnu::optimize("no-crossjumping", "no-gcse")]] bool run(State& s, const CompiledExpression& x, double* r, EvalStack* e) {
  static const void* const kLabels[] = {
#define MICRO_LABEL(name) &&op##name,
      MICRO_OPS(MICRO_LABEL)
#undef MICRO_LABEL
  };
  Stores& st = s.stores;
  const ByteStore& doubles = st.scalars[size_t(ValueType::Double)];
  const MicroOp* op = x.ops.get();
#define NEXT goto* kLabels[(++op)->code]
  goto* kLabels[op->code];
opEnd:
  return true;
opConst:
  r[op->a] = op->k;
  NEXT;
opGlobalDouble:
  r[op->a] = doubles.read<double>(op->x);
  NEXT;
opGlobalNumber:
  r[op->a] = readNumeric(st.scalars[op->type], ValueType(op->type), op->x);
  NEXT;
opLocal:
  r[op->a] = readNumber(s, false, ValueType(op->type), uint16_t(op->x));
  NEXT;
opParam:
  r[op->a] = readValueParameter(op->type, numberParameter(s.calls, op->x));
  NEXT;
opTruncate:
  r[op->a] = double(truncateToInt(r[op->a]));
  NEXT;
opElement: {
  const ArrayDescriptor& d = st.descriptors[op->type][op->x];
  const double* sub = r + op->a;
  const unsigned n = op->count;
  uint32_t offset = 0;
  for (unsigned i = 0; i + 1 < n; ++i)
    offset += (uint32_t(int32_t(sub[i])) + uint32_t(d.bias[i])) * uint32_t(d.span[i + 1]);
  offset += uint32_t(int32_t(sub[n - 1])) + uint32_t(d.bias[n - 1]);
  const ValueType type = ValueType(op->type);
  const int64_t at = int32_t(uint32_t(d.base) + offset * uint32_t(widthOf(type)));
  const ByteStore& b = st.arrayBytes[op->type];
  r[op->a] = type == ValueType::Double ? b.read<double>(at) : readNumeric(b, type, at);
  NEXT;
}
opIntPart:
  r[op->a] = std::trunc(r[op->a]);
  NEXT;
opTextLength: {
  // The argument's evaluation leaves its text in the result registers, as the generic
  // path does; programs can see it there (a String variable assigned this value).
  const std::string& text = globalString(s, op->x);
  r[op->a] = double(text.size());
  s.resultStr.assign(text);
  s.resultNum = 0.0;
  NEXT;
}
opGeneric:
  if constexpr (kMixed) {
    const int a = op->a;
    for (int i = 0; i < a; ++i) e->num[i] = r[i];
    e->numCount = a;
    e->mode = a ? 0 : 1;
    s.code.seek(op->x);
    op->handler(s, *e);
    if (op->end == 0 || e->numCount != a + 1 || e->mode != 0 || e->strCount != 0 || s.code.position() != op->end)
      return false;  // the evaluator loop goes on from here
    r[a] = e->num[a];
    NEXT;
  }
  return true;  // never decoded into a Number expression
opAdd:
  r[op->a] = arith::checked(r[op->a], r[op->a + 1], r[op->a] + r[op->a + 1]);
  NEXT;
opSub:
  r[op->a] = arith::checked(r[op->a], r[op->a + 1], r[op->a] - r[op->a + 1]);
  NEXT;
opMul:
  r[op->a] = arith::checked(r[op->a], r[op->a + 1], r[op->a] * r[op->a + 1]);
  NEXT;
opBinary:
  r[op->a] = arith::binary(op->type, r[op->a], r[op->a + 1]);
  NEXT;
opCompare:
  r[op->a] = arith::compare(op->type, r[op->a], r[op->a + 1]);
  NEXT;
opNot:
  r[op->a] = double(~roundToInt(r[op->a]));
  NEXT;
opNegate:
  r[op->a] = -r[op->a];
  NEXT;
opAddK:
  r[op->a] = arith::checked(r[op->a], op->k, r[op->a] + op->k);
  NEXT;
opSubK:
  r[op->a] = arith::checked(r[op->a], op->k, r[op->a] - op->k);
  NEXT;
opMulK:
  r[op->a] = arith::checked(r[op->a], op->k, r[op->a] * op->k);
  NEXT;
opCompareK:
  r[op->a] = arith::compare(op->type, r[op->a], op->k);
  NEXT;
opAddG: {
  const double g = doubles.read<double>(op->x);
  r[op->a] = arith::checked(r[op->a], g, r[op->a] + g);
  NEXT;
}
opSubG: {
  const double g = doubles.read<double>(op->x);
  r[op->a] = arith::checked(r[op->a], g, r[op->a] - g);
  NEXT;
}
opMulG: {
  const double g = doubles.read<double>(op->x);
  r[op->a] = arith::checked(r[op->a], g, r[op->a] * g);
  NEXT;
}
opCompareG:
  r[op->a] = arith::compare(op->type, r[op->a], doubles.read<double>(op->x));
  NEXT;
#undef NEXT
}

[[gnu::cold]] void genericForNext(State& s, uint32_t at) {
  s.code.seek(int64_t(at) + 2);
  execStmtForNext(s);
}

}  // namespace

double runNumber(State& s, const CompiledExpression& x) {
  double r[kSlots];
  run<false>(s, x, r, nullptr);
  return r[0];
}

bool runMixed(State& s, const CompiledExpression& x, EvalStack& e) {
  double r[kSlots];
  if (!run<true>(s, x, r, &e)) return false;
  e.num[0] = r[0];
  e.numCount = 1;
  e.mode = 0;
  s.code.seek(x.end);
  return true;
}

namespace {

[[gnu::noinline]] const CompiledStatement* linkTo(State& s, CompiledCache& cache, const CompiledStatement*& link,
                                                  int64_t position) {
  CodeReader& code = s.code;
  code.seek(position);  // a negative position raises the error here, as a jump would
  if (code.atEnd()) return nullptr;
  const CompiledStatement* next = cache.statement(code.position());
  if (next) link = next;
  return next;
}

inline const CompiledStatement* go(State& s, CompiledCache& cache, const CompiledStatement*& link, int64_t position) {
  if (link) [[likely]]
    return link;
  return linkTo(s, cache, link, position);
}

}  // namespace

const CompiledStatement* runStatement(State& s, CompiledCache& cache, const CompiledStatement& c) {
  CodeReader& code = s.code;
  switch (c.form) {
    case StatementForm::AssignNumber: {
      const double v = runNumber(s, *c.value);
      s.resultNum = v;
      s.resultStr.clear();
      const ValueType type = ValueType(c.type);
      ByteStore& b = s.stores.scalars[c.type];
      if (type == ValueType::Double) b.write<double>(int64_t(c.number) * 8, v);
      else writeNumeric(b, type, int64_t(c.number) * widthOf(type), v);
      return go(s, cache, c.follow, c.next);
    }
    case StatementForm::AssignElement: {
      const ArrayDescriptor& d = s.stores.descriptors[c.type][c.number];
      const unsigned n = c.subscripts;
      uint32_t offset = 0;
      for (unsigned i = 0; i + 1 < n; ++i) {
        const int32_t sub = truncateToInt(runNumber(s, *c.subs[i]));
        offset += (uint32_t(sub) + uint32_t(d.bias[i])) * uint32_t(d.span[i + 1]);
      }
      const int32_t last = truncateToInt(runNumber(s, *c.subs[n - 1]));
      offset += uint32_t(last) + uint32_t(d.bias[n - 1]);
      const ValueType type = ValueType(c.type);
      const int64_t at = int32_t(uint32_t(d.base) + offset * uint32_t(widthOf(type)));
      const double v = runNumber(s, *c.value);
      s.resultNum = v;
      s.resultStr.clear();
      ByteStore& b = s.stores.arrayBytes[c.type];
      if (type == ValueType::Double) b.write<double>(at, v);
      else writeNumeric(b, type, at, v);
      return go(s, cache, c.follow, c.next);
    }
    case StatementForm::AppendText: {
      auto& strings = s.stores.strings;
      // Every variable is checked before anything is appended: an error leaves the text.
      globalString(s, c.number);
      for (const TextPiece& p : c.pieces)
        if (p.variable) globalString(s, p.number);
      std::string& text = strings[c.number];
      size_t length = text.size();
      for (const TextPiece& p : c.pieces) length += p.variable ? strings[p.number].size() : p.length;
      if (int64_t(length) > kMaxText) [[unlikely]]
        textTooLong(int64_t(length));
      for (const TextPiece& p : c.pieces) {
        if (p.variable) text += strings[p.number];
        else text.append(reinterpret_cast<const char*>(code.data()) + p.at, p.length);
      }
      s.resultNum = 0.0;
      s.resultStr.clear();
      return go(s, cache, c.follow, c.next);
    }
    case StatementForm::JumpIfZero: {
      const double v = runNumber(s, *c.value);
      s.resultNum = v;
      s.resultStr.clear();
      return v == 0.0 ? go(s, cache, c.jumped, c.target) : go(s, cache, c.follow, c.next);
    }
    case StatementForm::Jump: return go(s, cache, c.jumped, c.target);
    case StatementForm::ForNext: {
      // A global Double loop variable: the loop stack entry read directly. Anything else
      // takes the statement's own handler.
      ControlState& control = s.control;
      const int64_t top = control.loopPosition - kLoopEntryBytes;
      if (top >= 0 && uint64_t(top) + kLoopEntryBytes <= control.loopStack.size()) {
        const uint8_t* p = control.loopStack.data() + top;
        if (p[0] == 1 && p[1] == uint8_t(ValueType::Double)) {
          uint16_t variable;
          std::memcpy(&variable, p + 2, 2);
          const double limit = readDouble(p + 4), step = readDouble(p + 12);
          ByteStore& b = s.stores.scalars[size_t(ValueType::Double)];
          const double old = b.read<double>(int64_t(variable) * 8);
          const double v = arith::checked(old, step, old + step);  // as the handler's addStep
          b.write<double>(int64_t(variable) * 8, v);
          if ((step < 0.0 && v >= limit) || (step > 0.0 && v <= limit)) return go(s, cache, c.jumped, c.target);
          control.loopPosition -= kLoopEntryBytes;
          return go(s, cache, c.follow, c.next);
        }
      }
      genericForNext(s, c.at);
      // The handler left the code position where it goes on.
      if (code.atEnd()) return nullptr;
      return cache.statement(code.position());
    }
    case StatementForm::SetResult: {
      const double v = runNumber(s, *c.value);
      s.resultNum = v;
      s.resultStr.clear();
      s.calls.functionIsText = false;
      s.calls.functionNumber = v;
      return go(s, cache, c.follow, c.next);
    }
  }
  return nullptr;  // every form returns above; an unknown one runs through the handlers
}

}  // namespace tavrin
