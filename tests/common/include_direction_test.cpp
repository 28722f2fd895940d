// The library's folders form layers, and an #include may only point down: a
// file sees its own folder and the layers below it, never a sibling of its own
// layer nor anything above. The exports (exports_*.cpp, in any folder) sit on
// top and may include everything; the public headers (portrelay/...) carry no
// code of src/ and may be included anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/text_pattern.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExportsLayer = 100;

// Lower numbers are lower layers; folders of one number are siblings.
const std::map<std::string, int>& layers() {
  static const std::map<std::string, int> table{
      {"platform", 0},                                  // the OS services
      {"common", 1},                                    // the pacer, the sample record
      {"log", 2},                                       // the log file and the console
      {"filters", 3}, {"simclient", 3}, {"riglink", 3}, // independent subsystems
      {"net", 4},                                       // UDP endpoints over the rig link's frames
      {"sources", 5},                                   // games, over net and simclient
      {"engine", 6},                                    // the engine over all of them
  };
  return table;
}

struct Include {
  std::string file;    // relative to src/
  std::string target;  // as written
};

int layerOfFile(const fs::path& relative) {
  if (relative.filename().string().rfind("exports_", 0) == 0) return kExportsLayer;
  const auto it = layers().find(relative.begin()->string());
  return it == layers().end() ? -1 : it->second;
}

std::vector<Include> includesUnder(const fs::path& root) {
  static const portrelay::testing::TextPattern line(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::vector<Include> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto ext = entry.path().extension();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    std::ifstream in(entry.path());
    std::string text;
    while (std::getline(in, text))
      if (const auto match = line.search(text))
        found.push_back({fs::relative(entry.path(), root).generic_string(), (*match)[1]});
  }
  return found;
}

// Empty when the include is allowed, else why not.
std::string violation(const Include& include) {
  const fs::path file(include.file);
  const int from = layerOfFile(file);
  if (from < 0) return "a file outside every known layer";
  const std::string targetFolder = fs::path(include.target).begin()->string();
  if (targetFolder == "portrelay") return "";  // the public headers
  if (targetFolder == file.begin()->string()) return "";
  const auto it = layers().find(targetFolder);
  if (it == layers().end()) return "a header outside the library's layers";
  if (it->second < from) return "";
  return it->second == from ? "a sibling of its own layer" : "a layer above it";
}

std::vector<std::string> violations(const std::vector<Include>& includes) {
  std::vector<std::string> out;
  for (const auto& include : includes)
    if (const auto why = violation(include); !why.empty())
      out.push_back(include.file + " includes \"" + include.target + "\": " + why);
  return out;
}

TEST(IncludeDirection, EveryIncludeUnderSrcPointsDown) {
  const auto includes = includesUnder(fs::path(PORTRELAY_SOURCE_DIR) / "src");
  ASSERT_GT(includes.size(), 300u);  // the tree was found and read
  EXPECT_EQ(violations(includes), std::vector<std::string>{});
}

TEST(IncludeDirection, TheRuleCatchesWhatPointsUpOrSideways) {
  struct Case {
    Include include;
    bool allowed;
  };
  const Case cases[] = {
      {{"riglink/relay_loop.cpp", "common/cycle_timer.h"}, true},
      {{"riglink/relay_loop.cpp", "engine/motion_engine.h"}, false},
      {{"riglink/relay_loop.cpp", "filters/filter_sys.h"}, false},
      {{"net/udp_link.h", "riglink/link_state.h"}, true},
      {{"common/cycle_timer.h", "log/console.h"}, false},
      {{"platform/posix/clock.cpp", "platform/clock.h"}, true},
      {{"platform/clock.h", "common/cycle_timer.h"}, false},
      {{"sources/readers/iracing.cpp", "sources/page_watch.h"}, true},
      {{"riglink/exports_riglink.cpp", "engine/motion_engine.h"}, true},
      {{"log/logger.cpp", "portrelay/portrelay.h"}, true},
      {{"engine/fade.cpp", "tools/platform/child_process.h"}, false},
      {{"tools/child_process.cpp", "platform/clock.h"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(violation(c.include).empty(), c.allowed) << c.include.file << " -> " << c.include.target;
}

}  // namespace
