// EXPECT: unknown argument word
// A row with a word the frame does not know, as ui/property_tables.cpp expands it.
#include "ui/property_tables.h"

namespace tavrin {
namespace {

constexpr PropertyInfo kRows[] = {
    PropertyInfo{0, "X", PropKind::Arguments, true, detail::argsOf(uint8_t(PropKind::Arguments), "num nums")},
};

}  // namespace
}  // namespace tavrin
