// EXPECT: a per-item operand must be the row's last
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

void add(MemberCall&, const Item&, Mark) {}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP(4, Add, Arguments, W, add, "items mark")
};
#undef PROP

}  // namespace
}  // namespace tavrin
