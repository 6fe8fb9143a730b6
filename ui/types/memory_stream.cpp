// The otMemoryStream binding: a growable block of program-visible memory with a position,
// the stream members it shares with otFileStream, and raw transfers between the stream
// and program memory, which must lie in memory the engine handed out.
#include <cstring>

#include "lib/streams.h"
#include "runtime/low_memory.h"
#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/object_model.h"
#include "ui/types/streams.h"

namespace tavrin {

namespace {

class MemoryStreamObject final : public Object {
public:
  MemoryStreamObject() : Object(otMemoryStream) {}
  Stream* stream() override { return &memory; }
  MemoryStream memory;
};

}  // namespace

template <>
MemoryStream& subject<MemoryStream>(MemberCall& c) {
  return static_cast<MemoryStreamObject&>(c.object()).memory;  // checked to be of this type
}

namespace {

MemoryStream& memoryOf(MemberCall& c) { return subject<MemoryStream>(c); }

void memoryWritePieces(MemberCall& c, const std::string& t, int32_t count) {
  constexpr int64_t kPiece = 32000;
  MemoryStream& st = memoryOf(c);
  int64_t n = count;
  if (n > int64_t(t.size())) n = int64_t(t.size());
  try {
    for (int64_t at = 0; at < n; at += kPiece) st.write(t.data() + at, n - at < kPiece ? n - at : kPiece);
  } catch (const RunError& error) {
    // A write the memory cannot take ends quietly; the user's --max-memory bound does not.
    if (error.number != int(ErrorNumber::HeapOverflow) || error.kind == ErrorKind::Limit) throw;
  }
}

void memoryWriteRaw(MemberCall& c, int32_t address, int32_t count) {
  const int64_t n = count;
  if (n <= 0) return;
  if (address <= 0 || !lowContains(uintptr_t(address), size_t(n)))
    raise(ErrorNumber::AccessViolation, "raw memory write from an address outside the program's memory");
  // Copied first: the source may lie in the stream's own block, which may move.
  std::string bytes(reinterpret_cast<const char*>(uintptr_t(address)), size_t(n));
  memoryOf(c).write(bytes.data(), n);
}

void memoryReadRaw(MemberCall& c, int32_t address, int32_t count) {
  MemoryStream& st = memoryOf(c);
  const int64_t n = count;
  if (n <= 0) return;
  // A position before the start has no stream bytes under it.
  int64_t left = st.position() < 0 ? 0 : st.size() - st.position();
  if (left < 0) left = 0;
  if (left > n) left = n;
  if (left > 0) {
    if (address <= 0 || !lowContains(uintptr_t(address), size_t(left)))
      raise(ErrorNumber::AccessViolation, "raw memory read into an address outside the program's memory");
    std::memmove(reinterpret_cast<void*>(uintptr_t(address)), st.data() + st.position(), size_t(left));
  }
  st.seek(n, 1);
}

double memoryAddress(MemberCall& c) {
  MemoryStream& st = memoryOf(c);
  return st.size() ? double(reinterpret_cast<uintptr_t>(st.data())) : 0.0;
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_memory_stream.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(memory_stream){kMembers, &makeObject<MemoryStreamObject>};

}  // namespace tavrin
