// Where a run leaves the decoded path: how many statements ran decoded and, for those that
// did not, how many of each statement class. Counted only when asked for (`tavrin run
// --stats`, or TAVRIN_STATS=1 in the environment), through the per-statement checks, so an
// ordinary run pays nothing for it.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>

#include "interp/tables.h"

namespace tavrin {

struct State;

struct StatementStats {
  uint64_t decoded = 0;
  uint64_t generic = 0;
  // Generic statements by lead byte (kLeadCount entries, the last for bytes past the
  // table) and, for StmtCommand, by sub-opcode (the last for unassigned ones).
  std::array<uint64_t, kLeadCount + 1> byLead{};
  std::array<uint64_t, kCommandCount + 1> byCommand{};

  // One statement on the generic path: its lead byte and, for StmtCommand, the byte after it.
  void countGeneric(uint8_t lead, int sub) {
    ++generic;
    if (lead >= kLeadCount) {
      ++byLead[kLeadCount];
    } else if (kLeads[lead].cls == 1) {
      ++byCommand[sub >= 0 && sub < int(kCommandCount) ? size_t(sub) : size_t(kCommandCount)];
    } else {
      ++byLead[lead];
    }
  }
  // A decoded statement that handed its work to the generic handler after all.
  void countHandedOver(uint8_t lead, int sub) {
    --decoded;
    countGeneric(lead, sub);
  }
};

// Turns counting on for the run (from now on every statement goes through the checks).
void startStatementStats(State& s);
// The counts on `out`, most frequent generic class first; nothing when counting is off.
void printStatementStats(const State& s, std::FILE* out);

}  // namespace tavrin
