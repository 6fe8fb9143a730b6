// EXPECT: a field's read row reads no operands
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
PROP(0, A, Number, R, field<&Rec::a>, "")
};
#undef PROP

}  // namespace
}  // namespace tavrin
