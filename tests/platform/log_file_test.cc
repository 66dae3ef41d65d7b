// The append-only log file and the local time: a log is appended to and
// never truncated, each line whole; a path that cannot be a log says why;
// the time carries its zone's offset with the right sign.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "image/temp_files.h"
#include "platform/local_time.h"
#include "platform/platform.h"

namespace {

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Append(const std::string& path, const std::string& line, std::string* error) {
  intptr_t handle = -1;
  if (!OpenLogForAppend(path, &handle, error))
    return false;
  const bool written = AppendAndSync(handle, line, error);
  CloseLog(handle);
  return written;
}

TEST(LogFile, AppendsAndNeverTruncates) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  const std::string path = files.Path("line.jsonl");
  std::string error;
  ASSERT_TRUE(Append(path, "{\"first\":1}\n", &error)) << error;
  EXPECT_EQ(FileText(path), "{\"first\":1}\n");
  // A log kept from an earlier run keeps its lines; a second handle open at
  // the same time appends after them too.
  intptr_t first = -1;
  intptr_t second = -1;
  ASSERT_TRUE(OpenLogForAppend(path, &first, &error)) << error;
  ASSERT_TRUE(OpenLogForAppend(path, &second, &error)) << error;
  EXPECT_TRUE(AppendAndSync(first, "{\"second\":2}\n", &error)) << error;
  EXPECT_TRUE(AppendAndSync(second, "{\"third\":3}\n", &error)) << error;
  CloseLog(first);
  CloseLog(second);
  EXPECT_EQ(FileText(path), "{\"first\":1}\n{\"second\":2}\n{\"third\":3}\n");
}

TEST(LogFile, NewLogsAreReadableByOthers) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  const std::string path = files.Path("new.jsonl");
  const mode_t saved = umask(022);
  std::string error;
  EXPECT_TRUE(Append(path, "x\n", &error)) << error;
  umask(saved);
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST(LogFile, APathThatCannotBeALogFailsWithTheReason) {
  TempFiles files;
  ASSERT_TRUE(files.ok());
  std::vector<std::string> rows = {files.MakeDirectory("dir"), files.Path("missing/line.jsonl"),
                                   files.MakeFifo("fifo")};
  const std::vector<std::string> reasons = {"Is a directory", "No such file or directory",
                                            "not a regular file"};
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_FALSE(rows[i].empty());
    intptr_t handle = -1;
    std::string error;
    EXPECT_FALSE(OpenLogForAppend(rows[i], &handle, &error)) << rows[i];
    EXPECT_EQ(error, reasons[i]) << rows[i];
  }
  // Nothing was created in the missing directory's place.
  EXPECT_FALSE(std::filesystem::exists(files.Path("missing")));
}

TEST(LogFile, AFailedWriteIsReported) {
  intptr_t handle = -1;
  std::string error;
  // /dev/full takes no byte.
  const int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  handle = fd;
  EXPECT_FALSE(AppendAndSync(handle, "line\n", &error));
  EXPECT_EQ(error, "No space left on device");
  CloseLog(handle);
}

TEST(LocalTime, TheOffsetAlwaysHasItsSignHoursAndMinutes) {
  struct Row {
    int offset;
    const char* expected;
  } rows[] = {
      {60, "2026-12-09T18:40:02.123+01:00"},   {0, "2026-12-09T18:40:02.123+00:00"},
      {-300, "2026-12-09T18:40:02.123-05:00"}, {330, "2026-12-09T18:40:02.123+05:30"},
      {-570, "2026-12-09T18:40:02.123-09:30"}, {765, "2026-12-09T18:40:02.123+12:45"},
  };
  for (const Row& row : rows) {
    LocalTimeReading reading{2026, 12, 9, 18, 40, 2, 123, row.offset};
    EXPECT_EQ(FormatLocalTime(reading), row.expected);
  }
  LocalTimeReading padded{987, 1, 2, 3, 4, 5, 6, 0};
  EXPECT_EQ(FormatLocalTime(padded), "0987-01-02T03:04:05.006+00:00");
}

// The system's own reading, in a zone set for the test.
TEST(LocalTime, TheNativeReadingHasTheZonesOffset) {
  const char* saved = getenv("TZ");
  const std::string savedZone = saved != nullptr ? saved : "";
  const struct {
    const char* zone;
    const char* suffix;
  } rows[] = {{"UTC0", "+00:00"}, {"EST5", "-05:00"}, {"IST-5:30", "+05:30"}};
  for (const auto& row : rows) {
    setenv("TZ", row.zone, 1);
    const std::string now = NativePlatform().localTimeIso8601();
    EXPECT_TRUE(
        std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
        << now;
    EXPECT_EQ(now.substr(now.size() - 6), row.suffix) << row.zone;
  }
  if (saved != nullptr)
    setenv("TZ", savedZone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
