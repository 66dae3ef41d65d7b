// The station's children: the arguments each child gets, and real child
// processes with their pipes, exit statuses, interrupts and process group.
#include "console/station_child.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/child_process.h"

namespace {

using Args = std::vector<std::string>;

TEST(StationChild, EveryChildIsTheSameUpdatePinnedToItsPort) {
  struct Row {
    Args given;
    bool reflash;
    Args child;
  } rows[] = {
      {{"248a", "8266", "-s", "4", "-d", "fw.bin", "--station", "--log", "l.jsonl"},
       false,
       {"248a", "8266", "-s", "4", "-d", "fw.bin", "--port", "1-3.2", "--events",
        "--skip-current"}},
      // Station options anywhere, the selection by serial kept, --json and
      // the events options the station sets itself.
      {{"248a", "8266", "--jobs", "4", "-d", "fw.bin", "--port", "1-3.1,1-3.2", "--json",
        "--serial", "QV", "--count", "9", "--events", "-c", "0", "--reflash", "--station"},
       true,
       {"248a", "8266", "-d", "fw.bin", "--serial", "QV", "-c", "0", "--port", "1-3.2",
        "--events"}},
      // A value that looks like an option is a value.
      {{"248a", "8266", "-d", "--station", "--station"},
       false,
       {"248a", "8266", "-d", "--station", "--port", "1-3.2", "--events", "--skip-current"}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(StationChildArguments(row.given, "1-3.2", row.reflash), row.child);
}

std::string ReadAll(intptr_t pipe) {
  std::string text;
  char buffer[256];
  int64_t got;
  while ((got = ReadChildPipe(pipe, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(got));
  return text;
}

TEST(StationChild, AChildsPipesAndExitStatus) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(StartChildProcess(
      {"/bin/sh", "-c", "echo out; echo err >&2; read line || echo no-input; exit 3"}, &child,
      &error))
      << error;
  EXPECT_EQ(ReadAll(child.outPipe), "out\nno-input\n");
  EXPECT_EQ(ReadAll(child.errPipe), "err\n");
  CloseChildPipe(child.outPipe);
  CloseChildPipe(child.errPipe);
  EXPECT_EQ(WaitForChildProcess(&child), 3);
  EXPECT_FALSE(StartChildProcess({"/nonexistent/program"}, &child, &error));
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
}

// Its own process group, so that a terminal's Ctrl-C is the station's
// alone; the station's interrupt reaches it as SIGINT.
TEST(StationChild, AnInterruptReachesTheChildInItsOwnGroup) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(StartChildProcess({"/bin/sh", "-c",
                                 "trap 'echo stopped; exit 7' INT; echo ready; "
                                 "while :; do sleep 0.01; done"},
                                &child, &error))
      << error;
  char buffer[16];
  ASSERT_EQ(ReadChildPipe(child.outPipe, buffer, 6), 6);
  EXPECT_EQ(std::string(buffer, 6), "ready\n");
  EXPECT_EQ(getpgid(static_cast<pid_t>(child.process)), static_cast<pid_t>(child.process));
  EXPECT_NE(getpgid(static_cast<pid_t>(child.process)), getpgid(0));
  ASSERT_TRUE(InterruptChildProcess(child));
  EXPECT_EQ(ReadAll(child.outPipe), "stopped\n");
  CloseChildPipe(child.outPipe);
  CloseChildPipe(child.errPipe);
  EXPECT_EQ(WaitForChildProcess(&child), 7);
}

// Reading without blocking: nothing while a child keeps its pipe open
// and silent, its bytes once it writes, the end once it has gone.
TEST(StationChild, APipeIsReadWithoutWaitingForIt) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(StartChildProcess({"/bin/sh", "-c",
                                 "trap 'echo later; exit 0' INT; echo ready; "
                                 "while :; do sleep 0.01; done"},
                                &child, &error))
      << error;
  char buffer[16];
  std::string text;
  for (int64_t got = 0; text.size() < 6 && got >= 0; usleep(1000)) {
    got = ReadChildPipeNow(child.outPipe, buffer, sizeof buffer);
    text.append(buffer, static_cast<size_t>(got > 0 ? got : 0));
  }
  EXPECT_EQ(text, "ready\n");
  EXPECT_EQ(ReadChildPipeNow(child.outPipe, buffer, sizeof buffer), 0);
  ASSERT_TRUE(InterruptChildProcess(child));
  EXPECT_EQ(WaitForChildProcess(&child), 0);
  // The shell's last sleep may hold the pipe a moment after the shell is
  // gone; the loop's bound is a hang guard only.
  text.clear();
  int64_t got = 0;
  for (int turn = 0; turn < 60000 && (got = ReadChildPipeNow(child.outPipe, buffer, 16)) >= 0;
       ++turn, usleep(1000)) {
    text.append(buffer, static_cast<size_t>(got));
  }
  EXPECT_EQ(got, -1);
  EXPECT_EQ(text, "later\n");
  CloseChildPipe(child.outPipe);
  CloseChildPipe(child.errPipe);
}

TEST(StationChild, LinesOfBothPipesComeWithTheirEnds) {
  StationChild child;
  child.id = 41;
  std::string error;
  ASSERT_TRUE(
      StartStationChild({"/bin/sh", "-c", "printf 'a\\r\\nb\\nlast'; echo e >&2"}, &child, &error))
      << error;
  std::vector<ChildLine> lines;
  int ends = 0;
  // A hang guard only: the child ends at once.
  for (int turn = 0; ends < 2 && turn < 60000; ++turn, usleep(1000)) {
    std::vector<ChildLine> taken;
    TakeChildLines(&child, &taken);
    for (const ChildLine& line : taken) {
      EXPECT_EQ(line.child, 41);
      ends += line.end ? 1 : 0;
      if (!line.end)
        lines.push_back(line);
    }
  }
  EXPECT_EQ(ends, 2);
  std::vector<ChildLine> after;
  TakeChildLines(&child, &after);
  EXPECT_TRUE(after.empty());  // an ended pipe is not read again
  EXPECT_EQ(EndStationChild(&child), 0);
  std::vector<std::string> out;
  std::vector<std::string> err;
  for (const ChildLine& line : lines)
    (line.fromErr ? err : out).push_back(line.text);
  EXPECT_EQ(out, (std::vector<std::string>{"a", "b", "last"}));
  EXPECT_EQ(err, std::vector<std::string>{"e"});
}

}  // namespace
