// The messenger side is a line: read from the sources, no piece of
// tweak/bridge reaches itself again through its includes, and only the
// executor's own files include the executor (the pieces answer values; they
// do not call back into it). A piece is a header and its .cc file; tests and
// their fixtures are left out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace tweak {
namespace {

namespace fs = std::filesystem;
using Graph = std::map<std::string, std::set<std::string>>;

bool isTestCode(const std::string& stem) {
  return stem.ends_with("_test") || stem.ends_with("_fixture") || stem.ends_with("_environment");
}

// Piece -> the pieces of tweak/bridge its header and .cc file include.
Graph bridgeIncludes() {
  static const std::regex include(R"(^#include "tweak/bridge/([a-z_]+)\.h")");
  Graph graph;
  for (const auto& entry : fs::directory_iterator(fs::path(PXVIBER_SOURCE_DIR) / "tweak/bridge")) {
    std::string stem = entry.path().stem().string();
    if (entry.path().extension() == ".txt" || isTestCode(stem)) continue;
    graph[stem];
    std::ifstream in(entry.path());
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
      if (std::regex_search(line, m, include) && m[1] != stem) graph[stem].insert(m[1]);
    }
  }
  return graph;
}

// A path of includes that comes back to where it started; empty when none does.
std::vector<std::string> cycle(const Graph& graph) {
  std::map<std::string, int> state;  // 1: on the current path, 2: done
  std::vector<std::string> path;
  std::function<bool(const std::string&)> visit = [&](const std::string& piece) {
    state[piece] = 1;
    path.push_back(piece);
    auto it = graph.find(piece);
    for (const auto& next : it == graph.end() ? std::set<std::string>{} : it->second) {
      if (state[next] == 1) {
        path.push_back(next);
        return true;
      }
      if (state[next] == 0 && visit(next)) return true;
    }
    path.pop_back();
    state[piece] = 2;
    return false;
  };
  for (const auto& [piece, _] : graph) {
    if (state[piece] == 0 && visit(piece)) return path;
  }
  return {};
}

TEST(BridgeLayering, NoPieceReachesItselfThroughItsIncludes) {
  Graph graph = bridgeIncludes();
  ASSERT_TRUE(graph.count("send_executor")) << "the sources were not found";
  auto found = cycle(graph);
  std::string shown;
  for (const auto& piece : found) shown += (shown.empty() ? "" : " -> ") + piece;
  EXPECT_TRUE(found.empty()) << shown;
}

TEST(BridgeLayering, OnlyTheExecutorIncludesTheExecutor) {
  std::vector<std::string> callers;
  for (const auto& [piece, includes] : bridgeIncludes()) {
    if (includes.count("send_executor")) callers.push_back(piece);
  }
  EXPECT_EQ(callers, std::vector<std::string>{});
}

}  // namespace
}  // namespace tweak
