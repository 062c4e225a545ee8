#include "tools/pxviber/packages/path_resolver.h"

#include <deque>
#include <vector>

namespace pxviber::packages {

namespace {

// As many links as Linux follows in one path before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

std::deque<std::string> namesOf(std::string_view path) {
  std::deque<std::string> names;
  std::size_t at = 0;
  while (at <= path.size()) {
    auto slash = path.find('/', at);
    if (slash == std::string_view::npos) slash = path.size();
    if (slash > at) names.emplace_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (auto& n : names) out += (out.empty() ? "" : "/") + n;
  return out;
}

}  // namespace

void PathResolver::plan(const std::string& place, DeviceTree::Entry entry) {
  planned_[place] = std::move(entry);
}

DeviceTree::Entry PathResolver::entryAt(const std::string& place) const {
  if (place.empty()) return {DeviceTree::Entry::Kind::Folder, ""};
  if (auto it = planned_.find(place); it != planned_.end()) return it->second;
  return tree_.look(place);
}

PathResolver::Result PathResolver::resolve(std::string_view from, std::string_view path,
                                           bool followLast) const {
  using Kind = DeviceTree::Entry::Kind;
  using Outcome = Result::Outcome;
  std::vector<std::string> stack;
  for (auto& n : namesOf(from)) stack.push_back(n);
  std::deque<std::string> todo = namesOf(path);
  // Whether a name on the stack does not exist (yet): nothing below it does.
  bool missing = false;
  int links = 0;
  while (!todo.empty()) {
    std::string name = std::move(todo.front());
    todo.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (stack.empty()) return {Outcome::Outside, ""};
      // The system finds no ".." in a folder that is not there.
      if (missing) return {Outcome::Missing, joined(stack)};
      stack.pop_back();
      continue;
    }
    stack.push_back(name);
    if (missing) continue;
    std::string here = joined(stack);
    if (tree_.hostPath(here).native().size() > tree_.pathLimit()) return {Outcome::TooLong, here};
    DeviceTree::Entry entry = entryAt(here);
    bool last = todo.empty();
    if (entry.kind == Kind::Link && (!last || followLast)) {
      if (++links > kMaxLinks) return {Outcome::Loop, here};
      if (entry.target.empty() || entry.target.front() == '/') return {Outcome::Outside, here};
      // A link's target is followed from the folder that holds the link.
      stack.pop_back();
      auto target = namesOf(entry.target);
      todo.insert(todo.begin(), target.begin(), target.end());
      continue;
    }
    if (entry.kind == Kind::Missing) {
      missing = true;
    } else if (!last && entry.kind != Kind::Folder) {
      return {Outcome::NotAFolder, here};
    }
  }
  return {Outcome::Inside, joined(stack)};
}

}  // namespace pxviber::packages
