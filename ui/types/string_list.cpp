// The otStringList binding: string list objects, their loading and saving through files
// and streams, and AddStrings from any object that has strings.
#include "lib/string_list.h"

#include "lib/streams.h"
#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/object_model.h"
#include "ui/types/streams.h"

namespace tavrin {

namespace {

class StringListObject final : public Object {
public:
  StringListObject() : Object(otStringList) {}
  StringList* strings() override { return &m_list; }

private:
  StringList m_list;
};

}  // namespace

template <>
StringList& subject<StringList>(MemberCall& c) {
  return *c.object().strings();  // the object is checked to be an otStringList
}

namespace {

StringList& listOf(MemberCall& c) { return subject<StringList>(c); }

std::string readAll(Stream& st) {
  std::string text;
  int64_t left = st.size() - st.position();
  if (left <= 0) return text;
  text.resize(size_t(left));
  text.resize(size_t(st.read(text.data(), left)));
  return text;
}

void writeAll(Stream& st, const std::string& text) { st.write(text.data(), int64_t(text.size())); }

void listClear(MemberCall& c, Mark) { listOf(c).clear(); }
void listAdd(MemberCall& c, Mark, const Item& i) { listOf(c).add(i.text); }

// The k-th index is taken k lower, so that every index names a string of the list as it
// stood before the statement.
void listDelete(MemberCall& c, Mark, const Item& i) { listOf(c).remove(int64_t(i.value) - i.number); }

void listExchange(MemberCall& c, Mark, int32_t i, Mark, int32_t j) { listOf(c).exchange(i, j); }
void listInsert(MemberCall& c, Mark, int32_t at, Mark, const std::string& t) { listOf(c).insert(at, t); }
void listSort(MemberCall& c, Mark) { listOf(c).sort(); }
void listPut(MemberCall& c, int32_t at, const std::string& t) { listOf(c).put(at, t); }

void listLoadFromFile(MemberCall& c, Mark, const std::string& name) {
  StringList& list = listOf(c);
  int error = 0;
  auto st = c.s.sandbox ? nullptr : openFileStream(name, 0x20, error);
  if (!st) raiseIo(ErrorNumber(error ? error : int(ErrorNumber::AccessDenied)), "Cannot open file " + name);
  list.setText(readAll(*st));
}

void listSaveToFile(MemberCall& c, Mark, const std::string& name) {
  const std::string text = listOf(c).text();
  int error = 0;
  auto st = c.s.sandbox ? nullptr : openFileStream(name, 0xFFFF, error);
  if (!st) raiseIo(ErrorNumber(error ? error : int(ErrorNumber::AccessDenied)), "Cannot create file " + name);
  st->write(text.data(), int64_t(text.size()));
  st->flush();  // a short write is error 101
}

void listLoadFromStream(MemberCall& c, Mark, const ObjectRef& from, Mark) {
  StringList& list = listOf(c);
  list.setText(readAll(streamOf(c.s, from)));
}

void listSaveToStream(MemberCall& c, Mark, const ObjectRef& to, Mark) {
  const std::string text = listOf(c).text();
  writeAll(streamOf(c.s, to), text);
}

void listAddStrings(MemberCall& c, Mark, const ObjectRef& ref, Mark) {
  StringList* from = ObjectAt(c.s, ref.type, ref.instance).strings();
  if (!from) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[ref.type].name) + " has no strings");
  StringList& to = listOf(c);
  const std::vector<std::string> items = from->items();  // the list may be its own source
  for (const std::string& t : items) to.add(t);
}

void listSplit(MemberCall& c, const std::string& text, const std::string& separator) {
  listOf(c).split(text, separator);
}

double listSorted(MemberCall& c) { return listOf(c).sorted() ? -1.0 : 0.0; }
void listText(MemberCall& c) { c.pushTextSlot() = listOf(c).text(); }
void listJoin(MemberCall& c, int32_t first, int32_t last, const std::string& separator) {
  c.pushTextSlot() = listOf(c).join(first, last, separator);
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_string_list.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(string_list){kMembers, &makeObject<StringListObject>};

}  // namespace tavrin
