// EXPECT: a read returns a number or a text, not bool
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
PROP(0, On, None, R, field<&Rec::on>, "")
};
#undef PROP

}  // namespace
}  // namespace tavrin
