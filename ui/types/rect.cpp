// The otRect binding: the four-integer record. Its 51 records are one fixed table in
// program memory (the low arena), so the address an external call receives fits in 31
// bits and the callee's writes are read back field by field. A declaration makes nothing.
#include <new>

#include "runtime/low_memory.h"
#include "interp/state.h"
#include "ui/object_model.h"

namespace tavrin {

namespace {

struct RectRecord {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
static_assert(sizeof(RectRecord) == 16, "the record is four 32-bit fields with no padding");

constexpr int32_t kRectRecords = 51;  // instances 0..50
constexpr size_t kTableBytes = sizeof(RectRecord) * kRectRecords;

// Made on the first use of an otRect, zeroed; given back with the run's objects.
struct RectTable final : TypeState {
  RectTable() : records(static_cast<RectRecord*>(lowAlloc(kTableBytes))) {
    for (int32_t i = 0; i < kRectRecords; ++i) new (&records[i]) RectRecord{};
  }
  ~RectTable() override { lowFree(records, kTableBytes); }
  RectTable(const RectTable&) = delete;
  RectTable& operator=(const RectTable&) = delete;
  RectRecord* records;
};

RectRecord& rectAt(State& s, int64_t instance) {
  if (instance < 0 || instance >= kRectRecords) NoSuchObject(otRect, instance);
  return typeState<RectTable>(s, otRect).records[instance];
}

uint32_t rectAddress(State& s, int32_t instance) {
  return uint32_t(reinterpret_cast<uintptr_t>(&rectAt(s, instance)));
}

}  // namespace

template <>
RectRecord& subject<RectRecord>(MemberCall& c) {
  return rectAt(c.s, c.instance);
}

namespace {

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_rect.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(rect){.members = kMembers, .address = &rectAddress};

}  // namespace tavrin
