// Counting statements for `--stats` and printing the counts.
#include "interp/statement_stats.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interp/state.h"

namespace tavrin {

void startStatementStats(State& s) { s.stats = std::make_unique<StatementStats>(); }

void printStatementStats(const State& s, std::FILE* out) {
  const StatementStats* st = s.stats.get();
  if (!st) return;
  const uint64_t total = st->decoded + st->generic;
  std::fprintf(out, "tavrin stats: %llu statements, %llu decoded (%.2f %%), %llu generic\n",
               (unsigned long long)total, (unsigned long long)st->decoded,
               total ? 100.0 * double(st->decoded) / double(total) : 100.0, (unsigned long long)st->generic);
  std::vector<std::pair<uint64_t, std::string>> rows;
  for (int i = 0; i < kLeadCount; ++i)
    if (st->byLead[i])
      rows.emplace_back(st->byLead[i], kLeads[i].name.empty() ? "lead byte " + std::to_string(i) : std::string(kLeads[i].name));
  if (st->byLead[kLeadCount]) rows.emplace_back(st->byLead[kLeadCount], "lead bytes past the table");
  for (int i = 0; i < kCommandCount; ++i)
    if (st->byCommand[i])
      rows.emplace_back(st->byCommand[i],
                        kCommands[i].name.empty() ? "sub-opcode " + std::to_string(i) : std::string(kCommands[i].name));
  if (st->byCommand[kCommandCount]) rows.emplace_back(st->byCommand[kCommandCount], "sub-opcodes past the table");
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [count, name] : rows)
    std::fprintf(out, "tavrin stats:   %-28s %12llu generic (%.2f %%)\n", name.c_str(), (unsigned long long)count,
                 100.0 * double(count) / double(total));
}

}  // namespace tavrin
