// Every (type, id, direction) of the property tables, generated from the tables: the
// assembler writes it by name and the disassembler prints it back to the same bytes, and
// the dispatcher reads exactly the operands the row's layout states, whatever the member
// then does (many fail on the dummy operands, after reading them).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/object_hooks.h"
#include "interp/tables.h"
#include "lib/streams.h"
#include "lib/string_list.h"
#include "runtime/loader.h"
#include "runtime/low_memory.h"
#include "interp/state.h"
#include "tools/asm.h"
#include "ui/object_model.h"
#include "ui/property_tables.h"
#include "ui/types/streams.h"

namespace tavrin {
namespace {

// Operands in assembly for the layout words the tables use.
std::string operandsFor(std::string_view layout) {
  std::string out;
  size_t i = 0;
  while (i < layout.size()) {
    size_t j = layout.find(' ', i);
    if (j == std::string_view::npos) j = layout.size();
    std::string_view w = layout.substr(i, j - i);
    i = j + 1;
    if (w == "expr") out += " { const Long 1 }";
    else if (w == "u8") out += " 5";
    else if (w == "u32") out += " 7";
    else if (w == "objref") out += " obj otMemoryStream 0";
    else if (w == "items") out += " ( { const Long 1 } sep 3 { const Long 0 } )";
    else if (w == "exprs") out += " ( { const Long 1 } { const Long 3 } )";
    else if (w == "arrayref") out += " array Long 1";
    else if (w == "wholeref") out += " record 0";
    else ADD_FAILURE() << "layout word " << w << " has no test operand";
  }
  return out;
}

struct Row {
  uint8_t type;
  uint8_t id;
  bool write;
  const PropertyInfo* info;
};

std::vector<Row> allRows() {
  std::vector<Row> rows;
  for (int type = 30; type <= 86; ++type)
    for (int id = 0; id < 256; ++id)
      for (bool write : {true, false})
        if (const PropertyInfo* p = findProperty(uint8_t(type), uint8_t(id), write))
          rows.push_back(Row{uint8_t(type), uint8_t(id), write, p});
  return rows;
}

std::string statementFor(const Row& r) {
  const std::string type(kObjectTypes[r.type].name);
  const std::string ops = operandsFor(propertyLayout(*r.info));
  if (r.write) return "  StmtObjectMember " + type + " 0 " + std::string(r.info->name) + ops + "\n";
  return "  StmtPrint { prop " + type + " 0 " + std::string(r.info->name) + ops + " } break\n";
}

TEST(PropertyTables, RowsAreWellFormed) {
  const auto rows = allRows();
  ASSERT_GT(rows.size(), 90u);
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(kObjectTypes[r.type].name) + "." + std::string(r.info->name));
    uint8_t id = 0;
    EXPECT_EQ(findPropertyByName(r.type, r.info->name, r.write, &id), r.info);
    EXPECT_EQ(id, r.id);
    // A per-item word runs the member once per item: nothing may follow it.
    for (int k = 0; k + 1 < r.info->args.count; ++k)
      EXPECT_TRUE(r.info->args.word[size_t(k)] != Arg::Items && r.info->args.word[size_t(k)] != Arg::Set);
  }
  // Font ids on a control with a font, and none on a type without.
  ASSERT_NE(findProperty(30, 201, false), nullptr);
  EXPECT_EQ(findProperty(30, 201, false)->name, "FontName");
  EXPECT_EQ(findProperty(30, 201, false)->kind, PropKind::None);
  EXPECT_EQ(findProperty(30, 203, true)->kind, PropKind::Set);
  EXPECT_EQ(findProperty(74, 201, false), nullptr);
  EXPECT_EQ(findProperty(55, 0, true), nullptr);
}

TEST(PropertyTables, EveryMemberRoundTripsThroughTheTools) {
  for (const Row& r : allRows()) {
    const std::string src = ".main\n" + statementFor(r) + "  StmtEnd\n";
    SCOPED_TRACE(src);
    std::vector<uint8_t> image;
    ASSERT_NO_THROW(image = assemble(src, "t.tasm"));
    const std::string text = disassemble(image);
    EXPECT_NE(text.find(" " + std::string(r.info->name)), std::string::npos) << text;
    EXPECT_EQ(assemble(text, "t.tasm"), image) << text;
  }
}

class DispatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() / ("tavrin-objects-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_dir);
    m_old = std::filesystem::current_path();
    std::filesystem::current_path(m_dir);
  }
  void TearDown() override {
    std::filesystem::current_path(m_old);
    std::filesystem::remove_all(m_dir);
  }
  std::filesystem::path m_dir, m_old;
};

// The operands a row states are exactly the bytes its member statement or read consumes.
TEST_F(DispatchTest, EveryRowReadsExactlyItsOperands) {
  for (const Row& r : allRows()) {
    const Creation how = kTypeTraits[r.type].creation;
    if (how == Creation::Visual || how == Creation::NotBuilt) continue;  // no objects of these types exist yet
    const std::string src = ".main\n" + statementFor(r) + "  StmtEnd\n";
    SCOPED_TRACE(src);
    State s;
    // Socket members refuse in the sandbox (after reading their operands) instead of
    // reaching the network with dummy handles.
    s.sandbox = r.type == otSocket;
    ASSERT_TRUE(loadImage(s, assemble(src, "t.tasm")));
    for (uint8_t t : {otFont, otMemoryStream, otStringList, otSocket}) CreateObjects(s, t, 0);
    ObjectAt(s, otStringList, 0).strings()->setText("a\nb\nc");
    int error = 0;
    *fileSlot(s, 0, true) = openFileStream("f.bin", 0xFFFF, error);
    ASSERT_TRUE(*fileSlot(s, 0, false));
    const uint32_t end = s.code.size() - 2;  // StmtEnd: sub-opcode byte 0, 14
    try {
      if (r.write) {
        ASSERT_EQ(s.code.u8(), 8);
        execStmtObjectMember(s);
        EXPECT_EQ(s.code.position(), end);
      } else {
        s.code.skip(2);  // StmtPrint
        evaluate(s);
        EXPECT_EQ(s.code.u8(), 0);  // the terminator comes right after the expression
        EXPECT_EQ(s.code.position(), end);
      }
    } catch (const RunError& e) {
      // A member may refuse its dummy operands, but only after reading all of them (a
      // read then stops before the expression's closing 11 and the terminator).
      EXPECT_EQ(s.code.position(), r.write ? end : end - 2) << e.message;
    }
  }
}

// Every id whose statement and read rows are both plain fields: the statements store a
// different value in each, and each read gives back its own id's value, so a read row
// bound to another field than its statement row (or two ids sharing one) shows.
TEST_F(DispatchTest, FieldRowsRoundTripTheirOwnValue) {
  int typesChecked = 0;
  for (int type = 30; type <= 86; ++type) {
    const TypeBinding* b = BindingOf(uint8_t(type));
    if (!b) continue;
    const auto rows = rowsOf(uint8_t(type));
    struct Pair { const PropertyInfo* w; const PropertyInfo* r; };
    std::vector<Pair> pairs;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i].write || !b->members[i].field) continue;
      const RowRef read = findRow(uint8_t(type), rows[i].id, false);
      if (read.found && read.table == type && b->members[read.row].field) pairs.push_back({&rows[i], &rows[read.row]});
    }
    if (pairs.empty()) continue;
    ++typesChecked;
    const std::string name(kObjectTypes[size_t(type)].name);
    auto valueOf = [](const PropertyInfo& row) {
      const int v = 1000 + 37 * row.id;
      return row.kind == PropKind::Text ? "\"t" + std::to_string(row.id) + "\"" : std::to_string(row.id % 2 ? -v : v);
    };
    std::string src = ".main\n";
    for (const Pair& p : pairs)
      src += "  StmtObjectMember " + name + " 7 " + std::string(p.w->name) + " { const " +
             (p.w->kind == PropKind::Text ? "String " : "Long ") + valueOf(*p.w) + " }\n";
    for (const Pair& p : pairs) src += "  StmtPrint { prop " + name + " 7 " + std::string(p.r->name) + " } break\n";
    src += "  StmtEnd\n";
    SCOPED_TRACE(src);
    State s;
    ASSERT_TRUE(loadImage(s, assemble(src, "t.tasm")));
    CreateObjects(s, uint8_t(type), 7);
    for (size_t i = 0; i < pairs.size(); ++i) {
      ASSERT_EQ(s.code.u8(), 8);
      execStmtObjectMember(s);
    }
    for (const Pair& p : pairs) {
      SCOPED_TRACE(p.r->name);
      s.code.skip(2);  // StmtPrint
      evaluate(s);
      ASSERT_EQ(s.code.u8(), 0);  // break
      if (p.w->kind == PropKind::Text) EXPECT_EQ("\"" + s.resultStr + "\"", valueOf(*p.w));
      else EXPECT_EQ(std::to_string(int(s.resultNum)), valueOf(*p.w));
    }
  }
  EXPECT_GE(typesChecked, 3);  // otFont, otSocket, otRect at least
}

// The four-integer record lies in program memory: what a statement stores is at its
// address, and what a callee writes there is what the reads give.
TEST_F(DispatchTest, RectRecordsLieInProgramMemory) {
  const std::string src =
      ".main\n  StmtObjectMember otRect 3 Left { const Long -5 }\n"
      "  StmtObjectMember otRect 3 Bottom { const Long 70000 }\n"
      "  StmtPrint { prop otRect 3 Right } break\n  StmtEnd\n";
  State s;
  ASSERT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  const uint32_t at = ObjectAddress(s, otRect, 3);
  ASSERT_NE(at, 0u);
  EXPECT_LT(at, 0x80000000u);
  EXPECT_TRUE(lowContains(at, 16));
  EXPECT_EQ(ObjectAddress(s, otRect, 4), at + 16);  // one table, records in order
  EXPECT_EQ(ObjectAddress(s, otRect, 0) + 3 * 16, at);
  EXPECT_EQ(objectArgumentAddress(s, otRect, 3), at);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(s.code.u8(), 8);
    execStmtObjectMember(s);
  }
  int32_t fields[4];
  std::memcpy(fields, reinterpret_cast<const void*>(uintptr_t(at)), sizeof fields);
  EXPECT_EQ(fields[0], -5);
  EXPECT_EQ(fields[1], 0);
  EXPECT_EQ(fields[2], 0);
  EXPECT_EQ(fields[3], 70000);
  const int32_t right = -123456;  // as a callee that fills the rectangle would
  std::memcpy(reinterpret_cast<void*>(uintptr_t(at) + 8), &right, 4);
  s.code.skip(2);
  evaluate(s);
  EXPECT_EQ(s.resultNum, -123456.0);
  // Outside the table, and types without records.
  EXPECT_THROW(ObjectAddress(s, otRect, 51), RunError);
  EXPECT_THROW(ObjectAddress(s, otRect, -1), RunError);
  EXPECT_EQ(ObjectAddress(s, otStringList, 0), 0u);
  EXPECT_EQ(ObjectAddress(s, 55, 0), 0u);
}

TEST_F(DispatchTest, ContainersAreTheTypesTheTableMarks) {
  State s;
  CreateObjects(s, otStringList, 0);
  CreateObjects(s, otMemoryStream, 0);
  EXPECT_EQ(ResolveContainer(s, otStringList, 0), &ObjectAt(s, otStringList, 0));
  EXPECT_EQ(ResolveContainer(s, otMemoryStream, 0), nullptr);
  EXPECT_EQ(ResolveContainer(s, 55, 0), nullptr);
  EXPECT_THROW(ResolveContainer(s, otStringList, 1), RunError);  // a container that does not exist
}

TEST_F(DispatchTest, InstancesOutsideTheListAreRunTimeError213) {
  State s;
  CreateObjects(s, otStringList, 2);
  EXPECT_EQ(objectState(s).lists[otStringList].items.size(), 3u);
  try {
    ObjectAt(s, otStringList, 3);
    ADD_FAILURE() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number, 213);
  }
  EXPECT_THROW(ObjectAt(s, otStringList, -1), RunError);
  EXPECT_THROW(ObjectAt(s, otMemoryStream, 0), RunError);
}

TEST_F(DispatchTest, ResizedArraysShareObjects) {
  State s;
  CreateObjects(s, otStringList, 1);
  DimensionList dims;
  dims.bounds.span = {5, 1, 1, 1, 1};
  dims.total = 5;
  DeclareObjectArray(s, otStringList, 0, dims);
  auto& list = objectState(s).lists[otStringList];
  ASSERT_EQ(list.items.size(), 57u);  // 51 plain objects, then 6 for five elements
  EXPECT_EQ(list.arrays[0]->base, 51);
  dims.bounds.span[0] = 3;
  dims.total = 3;
  RedimObjectArray(s, otStringList, 0, dims);
  ASSERT_EQ(list.items.size(), 60u);
  EXPECT_EQ(list.arrays[0]->base, 57);
  EXPECT_EQ(list.items[57], list.items[51]);
  EXPECT_EQ(list.items[59], list.items[53]);
  EXPECT_EQ(list.owned.size(), 57u);  // nothing new was made
}

}  // namespace
}  // namespace tavrin
