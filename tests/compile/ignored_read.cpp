// EXPECT: a read must push a value
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



#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP(0, Nothing, Arguments, R, ignored, "any")
};
#undef PROP

}  // namespace
}  // namespace tavrin
