// EXPECT: compiles
// Every kind of member the tables use, matched to its row.
#include "ui/binding.h"

namespace tavrin {
namespace {

struct Rec {
  int32_t a = 0;
  std::string t;
  void touch() {}
  int32_t count() const { return 0; }
  void setFlag(bool) {}
};

}  // namespace
template <>
Rec& subject<Rec>(MemberCall& c);
namespace {

void exchange(MemberCall&, Mark, int32_t, Mark, int32_t) {}
void add(MemberCall&, Mark, const Item&) {}
void transfer(MemberCall&, const VariableRef&, int32_t, int32_t) {}
void data(MemberCall&, ImagePos) {}
std::string name(MemberCall&, std::string_view) { return {}; }
double accept(MemberCall&, double) { return 0; }
void pushes(MemberCall&, int64_t) {}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
PROP( 0, A,        Number,    W, (field<&Rec::a, &Rec::touch>), "")
PROP( 0, A,        None,      R, field<&Rec::a>,                "")
PROP( 1, T,        Text,      W, field<&Rec::t>,                "")
PROP( 2, Count,    None,      R, method<&Rec::count>,           "")
PROP( 3, Flag,     Number,    W, method<&Rec::setFlag>,         "")
PROP( 4, Exchange, Arguments, W, exchange,                      "mark num mark num")
PROP( 5, Add,      Arguments, W, add,                           "mark items")
PROP( 6, Move,     Arguments, W, transfer,                      "array num num")
PROP( 7, Data,     Arguments, W, data,                          "pos")
PROP( 8, Name,     Text,      R, name,                          "")
PROP( 9, Accept,   Arguments, R, accept,                        "real")
PROP(10, Pushes,   Number,    R, pushes,                        "")
PROP(11, Nothing,  Arguments, W, ignored,                       "any any")
};
#undef PROP

}  // namespace
}  // namespace tavrin
