// EXPECT: a member takes another number of operands than its row reads
#include "ui/binding.h"

namespace tavrin {
namespace {

struct Rec {
  int32_t a = 0;
  bool on = false;
};

}  // namespace
template <>
Rec& subject<Rec>(MemberCall& c);
namespace {

void put(MemberCall&, int32_t) {}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP(10, Strings, Arguments, W, put, "num text")
};
#undef PROP

}  // namespace
}  // namespace tavrin
