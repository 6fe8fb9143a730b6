// INI file contents: parsing by lines and edits that keep the untouched bytes.
#include "lib/win32/profile.h"

#include "lib/win32/standin.h"

namespace tavrin::win32::profile {
namespace {

struct Line {
  size_t begin, end;  // the line's bytes without its ending
  size_t next;        // where the next line begins (after "\n")
};

std::vector<Line> splitLines(std::string_view c) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < c.size()) {
    size_t nl = c.find('\n', at);
    size_t next = nl == std::string_view::npos ? c.size() : nl + 1;
    size_t end = nl == std::string_view::npos ? c.size() : nl;
    if (end > at && c[end - 1] == '\r') --end;
    lines.push_back({at, end, next});
    at = next;
  }
  return lines;
}

std::string_view trim(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}


enum class Kind { Blank, Comment, Section, Key };
struct Parsed {
  Kind kind;
  std::string_view name;   // the section's or the key's name
  std::string_view value;  // a key's value, trimmed
};

Parsed parse(std::string_view text) {
  const std::string_view t = trim(text);
  if (t.empty()) return {Kind::Blank, {}, {}};
  if (t.front() == ';') return {Kind::Comment, {}, {}};
  if (t.front() == '[') {
    size_t close = t.find(']');
    return {Kind::Section, trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)), {}};
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return {Kind::Key, t, {}};
  return {Kind::Key, trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// The lines of the first section named `section`: the header's index and one past the
// section's last line; header < 0 when there is none.
struct SectionSpan {
  long header = -1;
  size_t end = 0;
};
SectionSpan findSection(std::string_view c, const std::vector<Line>& lines, std::string_view section) {
  SectionSpan span;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = parse(c.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (p.kind != Kind::Section) continue;
    if (span.header >= 0) {
      span.end = i;
      return span;
    }
    if (sameNoCase(p.name, section)) span.header = long(i);
  }
  span.end = lines.size();
  return span;
}

Parsed parseLine(std::string_view c, const Line& l) { return parse(c.substr(l.begin, l.end - l.begin)); }

}  // namespace

std::optional<std::string> lookup(std::string_view c, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = splitLines(c);
  const SectionSpan span = findSection(c, lines, section);
  if (span.header < 0) return std::nullopt;
  for (size_t i = size_t(span.header) + 1; i < span.end; ++i) {
    const Parsed p = parseLine(c, lines[i]);
    if (p.kind != Kind::Key || !sameNoCase(p.name, key)) continue;
    std::string_view v = p.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return std::string(v);
  }
  return std::nullopt;
}

std::vector<std::string> sectionNames(std::string_view c) {
  std::vector<std::string> out;
  for (const Line& l : splitLines(c)) {
    const Parsed p = parseLine(c, l);
    if (p.kind == Kind::Section) out.emplace_back(p.name);
  }
  return out;
}

std::vector<std::string> keyNames(std::string_view c, std::string_view section) {
  std::vector<std::string> out;
  const std::vector<Line> lines = splitLines(c);
  const SectionSpan span = findSection(c, lines, section);
  if (span.header < 0) return out;
  for (size_t i = size_t(span.header) + 1; i < span.end; ++i) {
    const Parsed p = parseLine(c, lines[i]);
    if (p.kind == Kind::Key) out.emplace_back(p.name);
  }
  return out;
}

std::string write(std::string_view c, std::string_view section, std::optional<std::string_view> key,
                  std::optional<std::string_view> value) {
  const std::vector<Line> lines = splitLines(c);
  const SectionSpan span = findSection(c, lines, section);
  std::string out;
  if (span.header < 0) {
    if (!key || !value) return std::string(c);  // nothing to remove
    out.assign(c);
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += "[";
    out += section;
    out += "]\r\n";
    out += *key;
    out += "=";
    out += *value;
    out += "\r\n";
    return out;
  }
  const size_t headerAt = lines[size_t(span.header)].begin;
  const size_t sectionEnd = span.end < lines.size() ? lines[span.end].begin : c.size();
  if (!key) {  // the whole section goes
    out.assign(c.substr(0, headerAt));
    out.append(c.substr(sectionEnd));
    return out;
  }
  for (size_t i = size_t(span.header) + 1; i < span.end; ++i) {
    const Parsed p = parseLine(c, lines[i]);
    if (p.kind != Kind::Key || !sameNoCase(p.name, *key)) continue;
    out.assign(c.substr(0, lines[i].begin));
    if (value) {
      out += *key;
      out += "=";
      out += *value;
      out.append(c.substr(lines[i].end, lines[i].next - lines[i].end));  // the line's own ending
    }
    out.append(c.substr(lines[i].next));
    return out;
  }
  if (!value) return std::string(c);
  // A new key after the section's last line that is not blank.
  size_t last = size_t(span.header);
  for (size_t i = last + 1; i < span.end; ++i)
    if (parseLine(c, lines[i]).kind != Kind::Blank) last = i;
  const Line& after = lines[last];
  out.assign(c.substr(0, after.next));
  if (after.next == after.end) out += "\r\n";  // the last line of the file had no ending
  out += *key;
  out += "=";
  out += *value;
  out += "\r\n";
  out.append(c.substr(after.next));
  return out;
}

}  // namespace tavrin::win32::profile
