// INI files as the platform's profile functions read and write them: "[section]" lines,
// "key=value" lines, names compared without case, and every byte of the file that a write
// does not concern kept as it was (new lines end in CR LF).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::win32::profile {

// The value of `key` in `section` (blanks around it removed, then one pair of matching
// quotes), nullopt when either is missing. Lines starting with ';' are comments.
std::optional<std::string> lookup(std::string_view content, std::string_view section, std::string_view key);
// The section names, and the key names of one section, in file order.
std::vector<std::string> sectionNames(std::string_view content);
std::vector<std::string> keyNames(std::string_view content, std::string_view section);
// The content after a write: `key` set to `value` (a missing value removes the key, a
// missing key the whole section). A new key goes after the section's last line that is not
// blank, a new section at the end.
std::string write(std::string_view content, std::string_view section, std::optional<std::string_view> key,
                  std::optional<std::string_view> value);

}  // namespace tavrin::win32::profile
