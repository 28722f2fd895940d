#include "log/logger.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/clock.h"
#include "platform/paths.h"
#include "portrelay/portrelay.h"
#include "support/temp_dir.h"
#include "tools/platform/fake_platform.h"
#include "support/text_pattern.h"

namespace portrelay {
namespace {

using testing::ScopedDocumentsFolder;
using testing::readFile;

// "[INFO] [YYYY-MM-DD HH:MM:SS] message" with the platform's text-mode line end.
const testing::TextPattern& logLine() {
  static const testing::TextPattern line(R"(\[(INFO|ERROR)\] \[(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})\] (.*))");
  return line;
}

bool isVersion(const std::string& text) { return testing::TextPattern(R"(\d+\.\d+\.\d+)").match(text).has_value(); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

// Hosts compare the version they loaded with the one the log starts with.
TEST(Logger, VersionLineNamesTheExportedVersion) {
  const std::string version = getPortRelayVersion();
  EXPECT_TRUE(isVersion(version)) << version;
  EXPECT_EQ(libraryVersionLine(), "PortRelay " + version);
}

// The version line comes with the first logger of a process, so this case
// runs in a process of its own (a fresh one, not a copy of this one): exit
// code 0 when the file holds the version line and then the three lines.
[[noreturn]] void logThreeLinesInAFreshProcess() {
  ScopedDocumentsFolder documents;
  {
    Logger logger;
    if (!logger.hasFile()) std::_Exit(10);
    logger.info("Port closed.");
    logger.error("Opening port: 4321");
    logger.info("");
  }
  const auto written = lines(readFile(documents.logFile()));
  if (written.size() != 4u) std::_Exit(11);
  const std::pair<const char*, std::string> expected[] = {
      {"INFO", std::string("PortRelay ") + PORTRELAY_VERSION},
      {"INFO", "Port closed."},
      {"ERROR", "Opening port: 4321"},
      {"INFO", ""}};
  for (size_t i = 0; i < 4; ++i) {
    const auto match = logLine().match(written[i]);
    if (!match) std::_Exit(20 + static_cast<int>(i));
    if ((*match)[1] != expected[i].first || (*match)[3] != expected[i].second) std::_Exit(30 + static_cast<int>(i));
  }
  std::_Exit(0);
}

TEST(Logger, LineFormatAfterTheVersionLine) {
  EXPECT_TRUE(isVersion(PORTRELAY_VERSION));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(logThreeLinesInAFreshProcess(), ::testing::ExitedWithCode(0), "");
}

TEST(Logger, TimestampIsLocalTimeOf19Characters) {
  const std::string stamp = currentTimestamp();
  EXPECT_EQ(stamp.size(), 19u);
  const std::tm local = platform::localTime(std::time(nullptr));
  char hour[3];
  std::strftime(hour, sizeof hour, "%H", &local);
  EXPECT_EQ(stamp.substr(11, 2), hour);  // may fail only at the turn of an hour
}

TEST(Logger, TwoLoggersAppendInFlushOrder) {
  ScopedDocumentsFolder documents;
  std::filesystem::create_directories(documents.logFile().parent_path());
  { std::ofstream(documents.logFile()) << "earlier run\n"; }
  {
    Logger first;
    Logger second;
    first.info("one");
    second.info("two");
    first.error("three");
  }
  Logger third;
  third.info("four");
  auto written = lines(readFile(documents.logFile()));
  // The version line comes once per process, before the first line the
  // process writes; a run of the whole suite in one process has written it.
  if (written.size() > 1 && written[1].ends_with("] " + libraryVersionLine()))
    written.erase(written.begin() + 1);
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(written[0], "earlier run");
  const char* expected[] = {"one", "two", "three", "four"};
  for (int i = 0; i < 4; ++i) {
    const auto match = logLine().match(written[static_cast<size_t>(i) + 1]);
    ASSERT_TRUE(match);
    EXPECT_EQ((*match)[3], expected[i]);
  }
}

// The Documents folder itself, and the folders above it, may not exist yet.
TEST(Logger, CreatesTheFolderWithItsMissingParents) {
  testing::TempDir dir;
  const auto documents = dir.path() / "home" / "rig owner" / "Documents";
  {
    const platform::ScopedPlatform folder(platform::FakePlatform().withDocumentsFolder(documents.string()));
    Logger logger;
    EXPECT_TRUE(logger.hasFile());
    logger.info("first line");
  }
  const auto written = lines(readFile(documents / "tiltaverse" / "errorlog.txt"));
  ASSERT_FALSE(written.empty());  // the version line may come first
  const auto match = logLine().match(written.back());
  ASSERT_TRUE(match) << written.back();
  EXPECT_EQ((*match)[3], "first line");
}

TEST(Logger, UnresolvableDocumentsFolder) {
  const platform::ScopedPlatform folder(platform::FakePlatform().withDocumentsFolder(""));
  ::testing::internal::CaptureStderr();
  {
    Logger logger;
    EXPECT_FALSE(logger.hasFile());
    logger.info("lost");
    logger.error("lost too");
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "Failed to retrieve the Documents path\n"
            "Log failed: Unable to write to log file.\n"
            "Log failed: Unable to write to log file.\n");
}

TEST(Logger, UnusableDocumentsFolder) {
  testing::TempDir dir;
  const auto notAFolder = dir.path() / "file";
  { std::ofstream(notAFolder) << "x"; }
  const platform::ScopedPlatform folder(platform::FakePlatform().withDocumentsFolder(notAFolder.string()));
  ::testing::internal::CaptureStderr();
  {
    Logger logger;
    logger.info("lost");
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Failed to open log file\nLog failed: Unable to write to log file.\n");
  EXPECT_FALSE(std::filesystem::exists(notAFolder.string() + "/tiltaverse"));
}

}  // namespace
}  // namespace portrelay
