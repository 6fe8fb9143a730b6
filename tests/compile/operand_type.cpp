// EXPECT: a member's operand types do not match its row's argument words
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

void exchange(MemberCall&, Mark, int32_t, Mark, int32_t) {}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP(6, Exchange, Arguments, W, exchange, "mark num mark text")
};
#undef PROP

}  // namespace
}  // namespace tavrin
