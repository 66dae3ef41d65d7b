// The station's live view: a port line for every state, the in-place redraw,
// the plain lines for logs and pipes, and the totals.
#include "output/station_view.h"

#include <gtest/gtest.h>

namespace {

StationPort Port(StationPortState state) {
  StationPort port;
  port.port = "1-3.2";
  port.serial = "QV24A01X";
  port.state = state;
  port.startedMs = 1000;
  port.endedMs = 66500;
  return port;
}

// The visible text of a drawn line: without its erase sequence and line end.
std::string Visible(const std::string& line) {
  const std::string end = "\x1b[K\n";
  EXPECT_GE(line.size(), end.size());
  EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
  return line.substr(0, line.size() - end.size());
}

// Lines of one drawing, each with its end.
std::vector<std::string> DrawnLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end + 1 - start));
    start = end + 1;
  }
  return lines;
}

TEST(StationView, APortLineShowsItsStateElapsedTimeAndResult) {
  struct Row {
    const char* label;
    StationPortState state;
    std::string phase;
    int percent;
    std::string expected;  // the visible line at NowMs() 8000
  } rows[] = {
      {"empty", StationPortState::kEmpty, "", -1, "1-3.2        QV24A01X         empty"},
      {"queued", StationPortState::kQueued, "", -1, "1-3.2        QV24A01X         queued"},
      {"running", StationPortState::kRunning, "connecting", -1,
       "1-3.2        QV24A01X         connecting                     0:07"},
      {"downloading", StationPortState::kRunning, "downloading", 37,
       "1-3.2        QV24A01X         downloading 37%                0:07"},
      {"no phase yet", StationPortState::kRunning, "", -1,
       "1-3.2        QV24A01X         running                        0:07"},
      {"done", StationPortState::kDone, "", -1,
       "1-3.2        QV24A01X         done                           1:05  01-02-0000-00000105"},
      {"current", StationPortState::kCurrent, "", -1,
       "1-3.2        QV24A01X         current                        1:05  current"},
      {"failed", StationPortState::kFailed, "", -1,
       "1-3.2        QV24A01X         failed                         1:05  failed: Download "
       "firmware program"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    StationBoard board;
    board.ports.push_back(Port(row.state));
    board.ports[0].phase = row.phase;
    board.ports[0].percent = row.percent;
    board.ports[0].newVersion = "01-02-0000-00000105";
    board.ports[0].failedStep = "Download firmware program";
    int drawn = 0;
    std::vector<std::string> lines = DrawnLines(DrawStationBoard(board, 8000, 0, &drawn));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Visible(lines[0]), row.expected);
    EXPECT_EQ(drawn, 2);
  }
}

TEST(StationView, NoSerialShowsADashAndAFailureWithoutAStepSaysFailed) {
  StationBoard board;
  board.ports.push_back(Port(StationPortState::kFailed));
  board.ports[0].serial.clear();
  int drawn = 0;
  std::vector<std::string> lines = DrawnLines(DrawStationBoard(board, 0, 0, &drawn));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Visible(lines[0]),
            "1-3.2        -                failed                         "
            "1:05  failed");
}

TEST(StationView, LongTextsAreCutToTheLineWidth) {
  StationBoard board;
  board.ports.push_back(Port(StationPortState::kFailed));
  board.ports[0].serial = "SERIAL-0123456789-ABCDEFGHIJ-TAIL";
  board.ports[0].port = "1-3.2.4.1.2.3";
  board.ports[0].failedStep = "Wait for the reboot verification to update the version information";
  int drawn = 0;
  std::vector<std::string> lines = DrawnLines(DrawStationBoard(board, 0, 0, &drawn));
  ASSERT_EQ(lines.size(), 2u);
  const std::string line = Visible(lines[0]);
  EXPECT_EQ(line.size(), static_cast<size_t>(kStationViewColumns)) << line;
  // Head and tail of the serial stay: that is what tells dongles apart; the
  // result reads from its head.
  EXPECT_EQ(line.substr(0, 30), "1-3.2~.1.2.3 SERIAL-~HIJ-TAIL ") << line;
  EXPECT_EQ(line.substr(67), "failed: Wait for the reboot veri~") << line;
}

TEST(StationView, ARedrawMovesUpExactlyOverTheLinesDrawnBefore) {
  StationBoard board;
  for (const char* name : {"1-3.1", "1-3.2", "1-3.3"}) {
    board.ports.push_back(Port(StationPortState::kQueued));
    board.ports.back().port = name;
  }
  int drawn = 0;
  const std::string first = DrawStationBoard(board, 0, 0, &drawn);
  EXPECT_EQ(first.find('\x1b'), first.find("\x1b[K")) << "nothing moves before a first drawing";
  EXPECT_EQ(drawn, 4);
  EXPECT_EQ(DrawnLines(first).size(), 4u);
  board.ports.push_back(Port(StationPortState::kEmpty));
  int again = 0;
  const std::string second = DrawStationBoard(board, 0, drawn, &again);
  EXPECT_EQ(second.substr(0, 5), "\r\x1b[4A");
  EXPECT_EQ(again, 5);
  EXPECT_EQ(DrawnLines(second).size(), 5u);
  EXPECT_EQ(second.find("\x1b[J"), std::string::npos);
  // A shorter drawing clears what is left of the longer one below it.
  board.ports.resize(1);
  int third = 0;
  const std::string shorter = DrawStationBoard(board, 0, again, &third);
  EXPECT_EQ(shorter.substr(0, 5), "\r\x1b[5A");
  EXPECT_EQ(third, 2);
  EXPECT_EQ(shorter.substr(shorter.size() - 3), "\x1b[J");
}

TEST(StationView, TheTotalsLineEndsTheDrawing) {
  StationBoard board;
  board.totals = {3, 1, 1, 2, 0};
  int drawn = 0;
  EXPECT_EQ(StationTotalsLine(board.totals), "done 3, current 1, failed 1, running 2, queued 0");
  EXPECT_EQ(DrawStationBoard(board, 0, 0, &drawn),
            "done 3, current 1, failed 1, running 2, queued 0\x1b[K\n");
  board.ending = true;
  EXPECT_EQ(DrawStationBoard(board, 0, 0, &drawn),
            "done 3, current 1, failed 1, running 2, queued 0, ending\x1b[K\n");
}

TEST(StationView, PlainLinesHaveTheTimeAndNoEscapeByte) {
  const std::string time = "2026-12-09T18:40:02.123+01:00";
  struct Row {
    StationPortState state;
    std::string phase;
    int percent;
    std::string expected;
  } rows[] = {
      {StationPortState::kRunning, "downloading", 37, time + " 1-3.2 QV24A01X downloading 37%\n"},
      {StationPortState::kRunning, "verifying", -1, time + " 1-3.2 QV24A01X verifying\n"},
      {StationPortState::kQueued, "", -1, time + " 1-3.2 QV24A01X queued\n"},
      {StationPortState::kEmpty, "", -1, time + " 1-3.2 QV24A01X empty\n"},
      {StationPortState::kDone, "", -1, time + " 1-3.2 QV24A01X done 01-02-0000-00000105\n"},
      {StationPortState::kCurrent, "", -1, time + " 1-3.2 QV24A01X current\n"},
      {StationPortState::kFailed, "", -1, time + " 1-3.2 QV24A01X failed: Verify\n"},
  };
  for (const Row& row : rows) {
    StationPort port = Port(row.state);
    port.phase = row.phase;
    port.percent = row.percent;
    port.newVersion = "01-02-0000-00000105";
    port.failedStep = "Verify";
    EXPECT_EQ(PlainStationLine(time, port), row.expected);
  }
  // A device's serial with control bytes cannot reach the terminal as such.
  StationPort hostile = Port(StationPortState::kRunning);
  hostile.serial = "QV\x1b[2J\r\x07";
  hostile.phase = "connecting";
  const std::string plain = PlainStationLine(time, hostile);
  EXPECT_EQ(plain, time + " 1-3.2 QV?[2J?? connecting\n");
  StationBoard board;
  board.ports.push_back(hostile);
  int drawn = 0;
  const std::string drawing = DrawStationBoard(board, 0, 0, &drawn);
  EXPECT_EQ(drawing.find("QV\x1b"), std::string::npos);
}

TEST(StationView, ElapsedTimeInMinutesAndSeconds) {
  EXPECT_EQ(FormatElapsed(0), "0:00");
  EXPECT_EQ(FormatElapsed(7999), "0:07");
  EXPECT_EQ(FormatElapsed(65000), "1:05");
  EXPECT_EQ(FormatElapsed(725000), "12:05");
  EXPECT_EQ(FormatElapsed(-20), "0:00");
}

}  // namespace
