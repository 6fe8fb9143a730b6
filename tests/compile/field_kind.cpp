// EXPECT: a field's statement row reads one operand of the field's kind
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
PROP(0, A, Text, W, field<&Rec::a>, "")
};
#undef PROP

}  // namespace
}  // namespace tavrin
