// The --events lines: their exact form, the phase of every step heading, and
// the stream's rule of one line per phase change and per percentage.
#include "output/event_stream.h"

#include <gtest/gtest.h>

#include "output/console_encoding.h"
#include "support/output_test.h"

namespace {

using EventStreamTest = OutputTest;

TEST_F(EventStreamTest, LinesHaveTheirFixedForm) {
  EXPECT_EQ(FormatPhaseEvent("connecting", 12),
            R"({"event":"phase","phase":"connecting","ms":12})");
  EXPECT_EQ(FormatProgressEvent("downloading", 37, 900),
            R"({"event":"progress","phase":"downloading","percent":37,"ms":900})");
  EXPECT_EQ(FormatPhaseEvent("verifying", -5), R"({"event":"phase","phase":"verifying","ms":-5})");
}

TEST_F(EventStreamTest, EveryStepHeadingBelongsToItsPhase) {
  const struct {
    Msg heading;
    const char* phase;  // nullptr: none
  } rows[] = {
      {Msg::kEnterForcedMode, "upgradeMode"},
      {Msg::kEnterUpgradeMode, "upgradeMode"},
      {Msg::kWaitForcedMode, "upgradeMode"},
      {Msg::kConfirmFirmwareInfo, "upgradeMode"},
      {Msg::kUpgradeStarts, "upgradeMode"},
      {Msg::kDownloadFirmware, "downloading"},
      {Msg::kDownloadPassthrough, "downloadingPassthrough"},
      {Msg::kVerifyResult, "verifying"},
      {Msg::kRestartDevice, "restarting"},
      {Msg::kResetToBootloader, "restarting"},
      {Msg::kWaitRestartConnection, "restarting"},
      {Msg::kWaitBootloader, "restarting"},
      {Msg::kWaitVerifyVersion, "checkingVersion"},
      {Msg::kSwitchPassthroughOn, "passthrough"},
      {Msg::kSwitchPassthroughOff, "passthrough"},
      {Msg::kExitForcedMode, "leavingUpgradeMode"},
      {Msg::kReadFirmwareVersion, nullptr},
      {Msg::kEnterDfu, nullptr},
  };
  for (const auto& row : rows) {
    const char* phase = PhaseOfStep(row.heading);
    EXPECT_EQ(phase == nullptr ? std::string("(none)") : std::string(phase),
              row.phase == nullptr ? std::string("(none)") : std::string(row.phase))
        << static_cast<int>(row.heading);
  }
}

TEST_F(EventStreamTest, OnePhaseLineAPhaseAndOneProgressLineAPercentage) {
  // Text output is suppressed as for --json; the lines pass.
  TextOutputSuppressed = true;
  BeginEventStream(true);
  g_virtual.now = 40;
  NoteEventPhase(kPhaseConnecting);
  NoteEventPhase(kPhaseConnecting);
  g_virtual.now = 90;
  NoteStepHeading(Msg::kDownloadFirmware);
  NoteTransferProgress(300, 0);
  NoteTransferProgress(300, 1);  // still 0 %
  g_virtual.now = 120;
  NoteTransferProgress(300, 186);
  NoteTransferProgress(300, 300);
  NoteTransferProgress(300, 400);  // beyond the length: 100 %, not again
  NoteStepHeading(Msg::kVerifyResult);
  PrintLogLine("suppressed text");
  EXPECT_EQ(TakeOutput(),
            "{\"event\":\"phase\",\"phase\":\"connecting\",\"ms\":40}\n"
            "{\"event\":\"phase\",\"phase\":\"downloading\",\"ms\":90}\n"
            "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":0,\"ms\":90}\n"
            "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":62,\"ms\":120}\n"
            "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":100,\"ms\":120}\n"
            "{\"event\":\"phase\",\"phase\":\"verifying\",\"ms\":120}\n");
}

TEST_F(EventStreamTest, ANewPhaseShowsItsPercentagesFromTheStart) {
  BeginEventStream(true);
  NoteStepHeading(Msg::kDownloadFirmware);
  NoteTransferProgress(100, 100);
  NoteStepHeading(Msg::kDownloadPassthrough);
  NoteTransferProgress(100, 100);
  EXPECT_EQ(TakeOutput(),
            "{\"event\":\"phase\",\"phase\":\"downloading\",\"ms\":0}\n"
            "{\"event\":\"progress\",\"phase\":\"downloading\",\"percent\":100,\"ms\":0}\n"
            "{\"event\":\"phase\",\"phase\":\"downloadingPassthrough\",\"ms\":0}\n"
            "{\"event\":\"progress\",\"phase\":\"downloadingPassthrough\",\"percent\":100,"
            "\"ms\":0}\n");
}

TEST_F(EventStreamTest, NothingWithoutTheStreamOrAfterItsEnd) {
  BeginEventStream(false);
  NoteEventPhase(kPhaseConnecting);
  NoteStepHeading(Msg::kDownloadFirmware);
  NoteTransferProgress(100, 50);
  EXPECT_EQ(TakeOutput(), "");
  BeginEventStream(true);
  EndEventStream();
  NoteEventPhase(kPhaseWaiting);
  EXPECT_EQ(TakeOutput(), "");
  // A reset of the output state ends a stream too.
  BeginEventStream(true);
  ResetOutputState();
  NoteEventPhase(kPhaseWaiting);
  EXPECT_EQ(TakeOutput(), "");
}

}  // namespace
