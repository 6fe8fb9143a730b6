// The stream members that otFileStream and otMemoryStream share: typed number reads and
// writes, texts and lines, copies, array and whole-variable transfers, the image's data
// blocks; the file stream slots. Counts that run past a text, a buffer or a stream are
// cut to what is there; type codes above 8 are refused.
#include "ui/types/streams.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "interp/evaluator.h"
#include "interp/stores.h"
#include "lib/streams.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/object_model.h"

namespace tavrin {

namespace {

struct FileSlots final : TypeState {
  std::vector<std::unique_ptr<Stream>> slots;
};

}  // namespace

std::unique_ptr<Stream>* fileSlot(State& s, int64_t instance, bool grow) {
  auto& slots = typeState<FileSlots>(s, otFileStream).slots;
  if (instance < 0) return nullptr;
  if (size_t(instance) >= slots.size()) {
    if (!grow) return nullptr;
    slots.resize(size_t(instance) + 1);
  }
  return &slots[size_t(instance)];
}

namespace {
[[noreturn, gnu::cold]] void notOpen(int64_t instance) {
  raiseIo(ErrorNumber::FileNotOpen, "File not open: otFileStream " + std::to_string(instance) + " is not open");
}
}  // namespace

Stream& fileStreamAt(State& s, int64_t instance) {
  std::unique_ptr<Stream>* slot = fileSlot(s, instance, false);
  if (!slot || !*slot) notOpen(instance);
  return **slot;
}

Stream& streamTarget(MemberCall& c) {
  if (c.type == otFileStream) return fileStreamAt(c.s, c.instance);
  return *c.object().stream();  // the object is checked to be of the call's type
}

Stream& streamOf(State& s, const ObjectRef& ref) {
  if (ref.type == otFileStream) return fileStreamAt(s, ref.instance);
  Object& o = ObjectAt(s, ref.type, ref.instance);
  Stream* st = o.stream();
  if (!st) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[ref.type].name) + " is not a stream");
  return *st;
}

namespace {

// Number type codes: bytes of each (7 and 0 take that many bytes of a Double).
constexpr int kTypeWidth[9] = {0, 1, 2, 2, 4, 4, 4, 7, 8};

[[noreturn, gnu::cold]] void badTypeCode(int64_t code) {
  raise(ErrorNumber::RangeCheck, "number type code " + std::to_string(code) + " is above 8");
}

// The byte form of a value under a type code 0..8; returns the byte count.
int encodeNumber(double v, int code, uint8_t out[8]) {
  switch (code) {
    case 1: out[0] = uint8_t(truncateToInt(v)); return 1;
    case 2:
    case 3: {
      uint16_t w = uint16_t(truncateToInt(v));
      std::memcpy(out, &w, 2);
      return 2;
    }
    case 4:
    case 5: {
      int32_t l = truncateToInt(v);
      std::memcpy(out, &l, 4);
      return 4;
    }
    case 6: {
      float f = float(v);
      if (std::isinf(f) && std::isfinite(v)) raise(ErrorNumber::FloatOverflow);
      std::memcpy(out, &f, 4);
      return 4;
    }
    default:
      std::memcpy(out, &v, 8);
      return kTypeWidth[code];
  }
}

double decodeNumber(const uint8_t in[8], int code) {
  switch (code) {
    case 1: return in[0];
    case 2: { int16_t v; std::memcpy(&v, in, 2); return v; }
    case 3: { uint16_t v; std::memcpy(&v, in, 2); return v; }
    case 4:
    case 5: { int32_t v; std::memcpy(&v, in, 4); return v; }
    case 6: { float v; std::memcpy(&v, in, 4); return v; }
    default: { double v; std::memcpy(&v, in, 8); return v; }
  }
}

// Bytes left after the position (0 when the position is at or past the end).
int64_t remaining(Stream& st) {
  int64_t left = st.size() - st.position();
  return left > 0 ? left : 0;
}

// Copies n bytes from a stream's position into another's, stopping at a short read.
void copyBytes(Stream& from, Stream& to, int64_t n) {
  uint8_t buffer[32768];
  while (n > 0) {
    int64_t want = n < int64_t(sizeof buffer) ? n : int64_t(sizeof buffer);
    int64_t got = from.read(buffer, want);
    if (got <= 0) break;
    to.write(buffer, got);
    if (got < want) break;
    n -= got;
  }
}

}  // namespace

void streamWriteNumber(MemberCall& c, double value, int32_t code) {
  if (code > 8) badTypeCode(code);
  if (code <= 0) return;  // no bytes
  uint8_t bytes[8];
  const int n = encodeNumber(value, code, bytes);
  streamTarget(c).write(bytes, n);
}

double streamReadNumber(MemberCall& c, int32_t typeCode) {
  const int64_t code = std::llabs(int64_t(typeCode));
  if (code > 8) badTypeCode(code);
  uint8_t bytes[8] = {};  // a partial read leaves the rest 0
  streamTarget(c).read(bytes, kTypeWidth[code]);
  return decodeNumber(bytes, int(code));
}

void streamWriteText(MemberCall& c, const std::string& t, int32_t count) {
  int64_t n = count;
  if (n > int64_t(t.size())) n = int64_t(t.size());
  if (n > 0) streamTarget(c).write(t.data(), n);
}

void streamReadText(MemberCall& c, int32_t count) {
  Stream& st = streamTarget(c);
  int64_t n = count;
  if (n < 0) n = 0;
  const int64_t left = remaining(st);
  if (n > left) n = left;
  roomForText(n);
  std::string& out = c.pushTextSlot();
  out.resize(size_t(n));
  out.resize(size_t(st.read(out.data(), n)));
}

void streamSeek(MemberCall& c, int32_t offset, int32_t origin) { streamTarget(c).seek(offset, origin); }
void streamSetPosition(MemberCall& c, int32_t position) { streamTarget(c).seek(position, 0); }

void streamCopyFrom(MemberCall& c, const ObjectRef& source, int32_t count) {
  Stream& to = streamTarget(c);
  Stream& from = streamOf(c.s, source);
  int64_t n = count;
  if (n == 0) {
    from.seek(0, 0);
    n = from.size();
  }
  copyBytes(from, to, n);
}

void streamWriteLine(MemberCall& c, const std::string& text) {
  Stream& st = streamTarget(c);
  st.write(text.data(), int64_t(text.size()));
  st.write("\r\n", 2);
}

double streamSize(MemberCall& c) { return double(streamTarget(c).size()); }
double streamPosition(MemberCall& c) { return double(streamTarget(c).position()); }

double streamEof(MemberCall& c) {
  return streamTarget(c).atEnd() ? -1.0 : 0.0;
}

int32_t streamReadByte(MemberCall& c) {
  uint8_t b = 0;
  streamTarget(c).read(&b, 1);
  return b;
}

void streamReadLine(MemberCall& c) {
  std::string line = readStreamLine(streamTarget(c));
  c.pushTextSlot().swap(line);
}

double streamLineCount(MemberCall& c) {
  Stream& st = streamTarget(c);
  const int64_t at = st.position();
  st.seek(0, 0);
  static char piece[32000];
  int64_t lines = 0;
  for (;;) {
    const int64_t got = st.read(piece, sizeof piece);
    for (int64_t i = 0; i < got; ++i) lines += piece[i] == '\n';
    if (got < int64_t(sizeof piece)) break;
  }
  st.seek(at, 0);
  return double(lines);
}

void streamWriteData(MemberCall& c, ImagePos block) {
  const std::vector<uint8_t>& image = c.s.image;
  const uint64_t at = block.at;
  uint32_t length = 0;
  if (at + 4 > image.size()) raiseByteCode("data block at " + std::to_string(at) + " lies outside the image");
  std::memcpy(&length, image.data() + at, 4);
  if (at + 4 + length > image.size())
    raiseByteCode("data block at " + std::to_string(at) + " runs past the end of the image");
  streamTarget(c).write(image.data() + at + 4, length);
}

// --- Array and whole-variable transfers -------------------------------------------------

namespace {

constexpr int kValueWidth[10] = {0, 1, 2, 4, 2, 4, 4, 8, 0, 0};

// Writes (or reads) `count` elements of an array from flat element `first` on.
void transferElements(MemberCall& c, const VariableRef& v, int64_t first, int64_t count, bool toStream) {
  if (count <= 0 || first < 0) return;
  State& s = c.s;
  Stream& st = streamTarget(c);
  Stores& stores = s.stores;
  const ValueType type = v.type;
  if (type == ValueType::Variant) {
    const ArrayDescriptor& d = variantArrayDescriptor(s, v.number);
    for (int64_t i = 0; i < count; ++i) {
      const int64_t cell = int64_t(d.base) + first + i;
      if (cell < 0 || cell >= int64_t(stores.cells.size())) break;
      if (toStream) {
        const VariantCell& vc = stores.cells[size_t(cell)];
        if (vc.kind == VariantKind::Text) {
          st.write(vc.text.data(), int64_t(vc.text.size()));
        } else {
          double x = vc.kind == VariantKind::Integer ? double(vc.integer) : vc.real;
          st.write(&x, 8);
        }
      } else {
        double x = 0.0;
        if (st.read(&x, 8) < 8) break;
        storeVariantCell(s, uint32_t(cell), false, x, std::string());
      }
    }
    return;
  }
  const ArrayDescriptor& d = arrayDescriptor(s, type, v.number);
  if (type == ValueType::String || type == ValueType::FixedString) {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t item = int64_t(d.base) + first + i;
      if (type == ValueType::String) {
        if (item < 0 || item >= int64_t(stores.arrayStrings.size())) break;
        std::string& text = stores.arrayStrings[size_t(item)];
        if (toStream) st.write(text.data(), int64_t(text.size()));
        else text.resize(size_t(st.read(text.data(), int64_t(text.size()))));
      } else {
        if (item < 0 || item >= int64_t(stores.arrayFixed.size())) break;
        TFixString& f = stores.arrayFixed[size_t(item)];
        if (toStream) {
          std::string padded = f.text;
          if (int64_t(padded.size()) < f.length) padded.resize(size_t(f.length), ' ');
          st.write(padded.data(), int64_t(padded.size()));
        } else {
          std::string text(size_t(f.length > 0 ? f.length : 0), '\0');
          text.resize(size_t(st.read(text.data(), int64_t(text.size()))));
          f.text = std::move(text);
        }
      }
    }
    return;
  }
  const int width = kValueWidth[size_t(type)];
  ByteStore& bytes = stores.arrayBytes[size_t(type)];
  const int64_t at = int64_t(d.base) + first * width;
  int64_t n = count * width;
  if (toStream) {
    if (at < 0 || at >= int64_t(bytes.size())) return;
    if (n > int64_t(bytes.size()) - at) n = int64_t(bytes.size()) - at;
    st.write(bytes.data() + at, n);
  } else {
    if (at < 0) return;
    const int64_t left = remaining(st);
    if (n > left) n = left;
    if (n <= 0) return;
    bytes.ensure(size_t(at + n));
    st.read(bytes.data() + at, n);
  }
}

void transferWhole(MemberCall& c, const VariableRef& v, bool toStream) {
  if (v.record) {
    TStructs& r = recordAt(c.s, v.number);
    Stream& st = streamTarget(c);
    int64_t n = r.size;
    if (n > int64_t(r.bytes.size())) n = int64_t(r.bytes.size());
    if (n <= 0) return;
    if (toStream) st.write(r.bytes.data(), n);
    else st.read(r.bytes.data(), n);
    return;
  }
  const ArrayDescriptor& d =
      v.type == ValueType::Variant ? variantArrayDescriptor(c.s, v.number) : arrayDescriptor(c.s, v.type, v.number);
  transferElements(c, v, 0, d.span[0], toStream);
}

}  // namespace

void streamWriteArray(MemberCall& c, const VariableRef& array, int32_t first, int32_t count) {
  transferElements(c, array, first, count, true);
}
void streamReadArray(MemberCall& c, const VariableRef& array, int32_t first, int32_t count) {
  transferElements(c, array, first, count, false);
}
void streamWriteWhole(MemberCall& c, const VariableRef& variable) { transferWhole(c, variable, true); }
void streamReadWhole(MemberCall& c, const VariableRef& variable) { transferWhole(c, variable, false); }

}  // namespace tavrin
