#include "tools/pxviber/packages/dependencies.h"

#include <cctype>

#include "platform/foundation/error.h"

namespace pxviber::packages {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The sort weight of one character of a non-digit part: letters before other
// characters, "~" before everything, the end as nothing.
int weight(std::string_view s, std::size_t i) {
  if (i >= s.size() || isDigit(s[i])) return 0;
  char c = s[i];
  if (std::isalpha(static_cast<unsigned char>(c))) return c;
  if (c == '~') return -1;
  return static_cast<unsigned char>(c) + 256;
}

// dpkg's comparison of one upstream version or one revision.
int comparePart(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    while ((i < a.size() && !isDigit(a[i])) || (j < b.size() && !isDigit(b[j]))) {
      int d = weight(a, i) - weight(b, j);
      if (d != 0) return d;
      ++i, ++j;
    }
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    int firstDifference = 0;
    for (; i < a.size() && j < b.size() && isDigit(a[i]) && isDigit(b[j]); ++i, ++j) {
      if (!firstDifference) firstDifference = a[i] - b[j];
    }
    if (i < a.size() && isDigit(a[i])) return 1;
    if (j < b.size() && isDigit(b[j])) return -1;
    if (firstDifference) return firstDifference;
  }
  return 0;
}

struct Version {
  long long epoch = 0;
  std::string_view upstream, revision;
};

Version split(std::string_view v) {
  Version out;
  if (auto colon = v.find(':'); colon != std::string_view::npos) {
    out.epoch = std::atoll(std::string(v.substr(0, colon)).c_str());
    v.remove_prefix(colon + 1);
  }
  auto dash = v.rfind('-');
  out.upstream = v.substr(0, dash);
  if (dash != std::string_view::npos) out.revision = v.substr(dash + 1);
  return out;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> splitOn(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at; (at = s.find(separator)) != std::string_view::npos; s.remove_prefix(at + 1))
    parts.push_back(trimmed(s.substr(0, at)));
  parts.push_back(trimmed(s));
  return parts;
}

// "name" or "name (op version)".
Relation parseRelation(std::string_view text) {
  Relation r;
  auto open = text.find('(');
  r.package = std::string(trimmed(text.substr(0, open)));
  if (r.package.empty() || r.package.find(' ') != std::string::npos)
    throw platform::Error("malformed dependency \"" + std::string(text) + "\"");
  if (open == std::string_view::npos) return r;
  auto close = text.find(')', open);
  std::string_view inner = trimmed(text.substr(open + 1, close - open - 1));
  std::size_t opEnd = 0;
  while (opEnd < inner.size() &&
         (inner[opEnd] == '<' || inner[opEnd] == '>' || inner[opEnd] == '='))
    ++opEnd;
  r.op = std::string(inner.substr(0, opEnd));
  r.version = std::string(trimmed(inner.substr(opEnd)));
  static const char* kOps[] = {"<<", "<=", "=", ">=", ">>"};
  bool known = false;
  for (const char* op : kOps) known = known || r.op == op;
  if (close == std::string_view::npos || !known || r.version.empty() ||
      !trimmed(text.substr(close + 1)).empty())
    throw platform::Error("malformed dependency \"" + std::string(text) + "\"");
  return r;
}

}  // namespace

int compareVersions(std::string_view a, std::string_view b) {
  Version va = split(a), vb = split(b);
  if (va.epoch != vb.epoch) return va.epoch < vb.epoch ? -1 : 1;
  if (int d = comparePart(va.upstream, vb.upstream)) return d;
  return comparePart(va.revision, vb.revision);
}

std::vector<Alternatives> parseDepends(std::string_view field) {
  std::vector<Alternatives> out;
  if (trimmed(field).empty()) return out;
  for (auto group : splitOn(field, ',')) {
    Alternatives alternatives;
    for (auto one : splitOn(group, '|')) alternatives.push_back(parseRelation(one));
    out.push_back(std::move(alternatives));
  }
  return out;
}

bool versionSatisfies(std::string_view version, const Relation& r) {
  if (r.op.empty()) return true;
  int d = compareVersions(version, r.version);
  if (r.op == "<<") return d < 0;
  if (r.op == "<=") return d <= 0;
  if (r.op == "=") return d == 0;
  if (r.op == ">=") return d >= 0;
  return d > 0;
}

std::string describe(const Alternatives& alternatives) {
  std::string out;
  for (auto& r : alternatives) {
    if (!out.empty()) out += " | ";
    out += r.package + (r.op.empty() ? "" : " (" + r.op + " " + r.version + ")");
  }
  return out;
}

}  // namespace pxviber::packages
