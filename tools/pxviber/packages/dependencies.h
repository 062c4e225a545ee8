// Debian version numbers and the relations of a package's Depends field, as the
// package manager reads them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pxviber::packages {

// Compares two versions ("[epoch:]upstream[-revision]") the way dpkg does:
// negative, zero or positive as `a` sorts before, with or after `b`. "~" sorts
// before everything, the end of the text included: 1.0~rc1 < 1.0 < 1.0a.
int compareVersions(std::string_view a, std::string_view b);

// One relation: a package, and a version it must have when `op` is not empty
// (one of "<<", "<=", "=", ">=", ">>").
struct Relation {
  std::string package;
  std::string op;
  std::string version;
};

// Relations of which any one satisfies the dependency ("b | c").
using Alternatives = std::vector<Relation>;

// The dependencies of a Depends field ("a (>= 1.0), b | c"). Throws
// platform::Error saying what is malformed.
std::vector<Alternatives> parseDepends(std::string_view field);

// Whether an installed `version` satisfies the relation's version constraint.
bool versionSatisfies(std::string_view version, const Relation& relation);

// The dependency as written in a field: "firmware (>= 7.0)", "b | c".
std::string describe(const Alternatives& alternatives);

}  // namespace pxviber::packages
