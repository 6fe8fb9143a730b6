// EXPECT: a statement's member returns nothing
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

int32_t count(MemberCall&) { return 0; }

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP(1, Count, None, W, count, "")
};
#undef PROP

}  // namespace
}  // namespace tavrin
