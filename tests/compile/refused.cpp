// The members the binding must refuse: check.sh compiles this file once per case, with
// -DCASE_<name>, and expects the text given beside the case among the errors.
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

// CASE bool_read: a read returns a number or a text, not bool
#if defined(CASE_bool_read)
constexpr MemberEntry kMembers[] = {
PROP(0, On, None, R, field<&Rec::on>, "")
};
#endif

// CASE field_kind: a field's statement row reads one operand of the field's kind
#if defined(CASE_field_kind)
constexpr MemberEntry kMembers[] = {
PROP(0, A, Text, W, field<&Rec::a>, "")
};
#endif

// CASE field_read_operands: a field's read row reads no operands
#if defined(CASE_field_read_operands)
constexpr MemberEntry kMembers[] = {
PROP(0, A, Number, R, field<&Rec::a>, "")
};
#endif

// CASE ignored_read: a read must push a value
#if defined(CASE_ignored_read)
constexpr MemberEntry kMembers[] = {
PROP(0, Nothing, Arguments, R, ignored, "any")
};
#endif

// CASE items_last: a per-item operand must be the row's last
#if defined(CASE_items_last)
void add(MemberCall&, const Item&, Mark) {}
constexpr MemberEntry kMembers[] = {
PROP(4, Add, Arguments, W, add, "items mark")
};
#endif

// CASE operand_count: a member takes another number of operands than its row reads
#if defined(CASE_operand_count)
void put(MemberCall&, int32_t) {}
constexpr MemberEntry kMembers[] = {
PROP(10, Strings, Arguments, W, put, "num text")
};
#endif

// CASE operand_type: a member's operand types do not match its row's argument words
#if defined(CASE_operand_type)
void exchange(MemberCall&, Mark, int32_t, Mark, int32_t) {}
constexpr MemberEntry kMembers[] = {
PROP(6, Exchange, Arguments, W, exchange, "mark num mark text")
};
#endif

// CASE statement_result: a statement's member returns nothing
#if defined(CASE_statement_result)
int32_t count(MemberCall&) { return 0; }
constexpr MemberEntry kMembers[] = {
PROP(1, Count, None, W, count, "")
};
#endif

#undef PROP

}  // namespace
}  // namespace tavrin
