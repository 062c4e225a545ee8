#include "tools/pxviber/packages/control_fields.h"

#include <strings.h>

#include "platform/foundation/error.h"

namespace pxviber::packages {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Adds one non-empty line to `stanza`; `number` names it in an error.
void addLine(ControlFields& stanza, std::string_view line, int number) {
  if (line.front() == ' ' || line.front() == '\t') {
    if (stanza.empty())
      throw platform::Error("line " + std::to_string(number) + " continues no field");
    stanza.back().second += "\n" + std::string(line);
    return;
  }
  auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0)
    throw platform::Error("line " + std::to_string(number) + " is not a \"Name: value\" field");
  stanza.emplace_back(std::string(line.substr(0, colon)),
                      std::string(trimmed(line.substr(colon + 1))));
}

}  // namespace

std::vector<ControlFields> parseStanzas(std::string_view text) {
  std::vector<ControlFields> stanzas;
  ControlFields current;
  int number = 0;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (trimmed(line).empty()) {
      if (!current.empty()) stanzas.push_back(std::move(current));
      current.clear();
      continue;
    }
    addLine(current, line, number);
  }
  if (!current.empty()) stanzas.push_back(std::move(current));
  return stanzas;
}

std::string formatStanza(const ControlFields& fields) {
  std::string out;
  for (auto& [name, value] : fields) out += name + ": " + value + "\n";
  return out;
}

std::optional<std::string> fieldOf(const ControlFields& fields, std::string_view name) {
  for (auto& [n, v] : fields) {
    if (sameName(n, name)) return v;
  }
  return std::nullopt;
}

void setField(ControlFields& fields, const std::string& name, const std::string& value) {
  for (auto& [n, v] : fields) {
    if (sameName(n, name)) {
      v = value;
      return;
    }
  }
  fields.emplace_back(name, value);
}

}  // namespace pxviber::packages
