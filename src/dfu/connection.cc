#include "dfu/connection.h"

#include <string>

#include "dfu/mode_control.h"
#include "dfu/version_report.h"
#include "image/image_store.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "output/status_printers.h"
#include "platform/platform.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/device_selection.h"
#include "transport/hid_link.h"

namespace {

void ScanForNewDevices(bool useFilter) {
  RefreshDevices(&CurrentDevices, useFilter);
  PruneVanishedKnown();
  DropKnownFromCurrent();
  MergeCurrentIntoKnown();
}

bool ReadVersionText(uint8_t selector, std::string* text) {
  uint8_t record[8] = {};
  int32_t length = sizeof(record);
  if (!ReadVersionInfo(selector, record, &length))
    return false;
  *text = FormatVersionText(record);
  (selector == kControllerSelector ? LastVersionsRead.controller : LastVersionsRead.app) = *text;
  return true;
}

struct VersionCheck {
  bool checkVersion;
  bool twoPart;
  bool singlePart;
  bool appSelected;
  std::string expected;
};

// Whether the freshly opened interface is the device coming back.
bool ProbeAccepts(const VersionCheck& check) {
  if (!check.checkVersion)
    return Handshake() == 1;
  std::string controller;
  std::string app;
  if (!check.twoPart) {
    if (!ReadVersionText(kControllerSelector, &controller))
      return false;
    if (controller == check.expected)
      return true;
    return ReadVersionText(kAppSelector, &app) && app == check.expected;
  }
  if (check.singlePart) {
    uint8_t selector = check.appSelected ? kAppSelector : kControllerSelector;
    return ReadVersionText(selector, &app) && app == check.expected;
  }
  return ReadVersionText(kControllerSelector, &controller) && ReadVersionText(kAppSelector, &app) &&
         controller + " | " + app == check.expected;
}

// Whether this command already told the user about a refused open: one
// hint is enough, however many cycles and interfaces are refused.
bool PermissionHintShown = false;

// Why candidates could not be opened in one cycle.
struct OpenRefusals {
  bool denied = false;        // the system refused for lack of access rights
  std::string heldElsewhere;  // display name of one held by another instance
};

// Tries the candidates in list order; leaves the link open on the accepted
// one and returns its entry. Records in *refusals, when given, why others
// could not be opened.
const DeviceEntry* AcceptFirstCandidate(bool (*accepts)(const VersionCheck&),
                                        const VersionCheck& check, OpenRefusals* refusals) {
  for (const DeviceEntry& candidate : CurrentDevices.entries) {
    // Another device of the same kind is never opened: it may be another
    // instance's, in the middle of its own update.
    if (!SelectionAccepts(candidate))
      continue;
    if (OpenLink(candidate.hasPath ? candidate.path.c_str() : nullptr) != 1) {
      if (refusals != nullptr && HidLink.lastOpenDenied)
        refusals->denied = true;
      if (refusals != nullptr && HidLink.lastOpenHeldElsewhere)
        refusals->heldElsewhere = candidate.displayName;
      continue;
    }
    LastVersionsRead = VersionTexts();  // this candidate's, when it is accepted
    if (accepts(check)) {
      ConnectedDevice = candidate;
      return &candidate;
    }
    CloseLink();
  }
  return nullptr;
}

// The wait skips interfaces it cannot open and goes on waiting; without this
// line an unprivileged user whose device lacks the udev rule would wait
// forever without knowing why.
// At the prompt it is a log line; in command-line mode, where standard
// output keeps to the progress and result lines, it goes to standard error.
void HintAtDeniedAccess() {
  if (PermissionHintShown)
    return;
  PermissionHintShown = true;
  if (LogEnabled) {
    PrintLogLine(Text(Msg::kPermissionHint));
  } else {
    WriteErrorLine("quorvel-dfu" + Text(Msg::kPermissionHint));
  }
}

// The first connection waits without a time-out; after this long a person
// is told what it waits for and how to stop it.
constexpr int32_t kWaitingNoteAfterMs = 2000;

// A device named by --serial or --port that is not there is waited for like
// any absent device, and the line names it: whoever watches a production
// line sees which device an instance still waits for.
void NoteWaiting() {
  std::string interface = CurrentDevices.interfaceNumber < 0
                              ? std::string("any interface")
                              : "interface " + std::to_string(CurrentDevices.interfaceNumber);
  std::string selection;
  if (!SelectedDevice.serial.empty())
    selection += " with serial number " + SelectedDevice.serial;
  if (!SelectedDevice.port.empty())
    selection += " at USB port " + SelectedDevice.port;
  WriteErrorLine("quorvel-dfu: waiting for device " + FormatHex(CurrentDevices.vendorId, 4, false) +
                 ":" + FormatHex(CurrentDevices.productId, 4, false) + " (" + interface + ")" +
                 selection + " to be connected and to answer; press Ctrl-C to stop");
}

bool HandshakeAnswers(const VersionCheck&) {
  return Handshake() > 0;
}

void ReportTimeout(WaitKind waitKind, bool checkVersion, int32_t timeoutMs, int32_t elapsed) {
  NoteStepFailed();
  if (!LogEnabled)
    return;
  PrintWaitProgress(timeoutMs, elapsed, true);
  Msg message = (waitKind == kWaitRestart && checkVersion) ? Msg::kTimeoutNoNewerVersion
                                                           : Msg::kTimeoutNotConnected;
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRunsOn, Text(message));
}

void ReportAccepted(WaitKind waitKind, bool checkVersion, const std::string& displayName) {
  if (!LogEnabled)
    return;
  PrintWaitProgress(100, 100, true);
  if (waitKind == kWaitRestart && !checkVersion) {
    PrintDeviceWait(DeviceWaitLine::kWaitToConnect, displayName);
  } else {
    PrintStepResult(true, false);
  }
}

}  // namespace

DeviceEntry ConnectedDevice;
VersionTexts LastVersionsRead;

int32_t ScanDelay(WaitKind waitKind, int32_t timeoutMs) {
  if (waitKind != kWaitRestart)
    return 0;
  return timeoutMs >= 12000 ? 3000 : timeoutMs / 4;
}

int ConnectDevice(bool waitUntilFound) {
  bool firstCycle = true;
  VersionCheck none{false, false, false, false, ""};
  // Each call serves one command (dfu, ctrl or cv), which gets its own hint.
  PermissionHintShown = false;
  const int32_t waitStart = NowMs();
  bool waitingNoted = false;
  bool heldNoted = false;
  while (true) {
    SleepMs(kConnectCycleSleepMs);
    if (firstCycle) {
      // Every matching interface is a candidate the first time.
      RefreshDevices(&CurrentDevices, true);
      ClearDevices(&KnownDevices);
      MergeCurrentIntoKnown();
      firstCycle = false;
    } else {
      ScanForNewDevices(true);
    }
    OpenRefusals refusals;
    const DeviceEntry* accepted = AcceptFirstCandidate(HandshakeAnswers, none, &refusals);
    if (accepted != nullptr) {
      DrainInput();
      PrintDeviceWait(DeviceWaitLine::kQueryConnected, accepted->displayName);
      return 1;
    }
    if (refusals.denied)
      HintAtDeniedAccess();
    if (!refusals.heldElsewhere.empty() && !heldNoted) {
      heldNoted = true;
      WriteErrorLine("quorvel-dfu: \"" + refusals.heldElsewhere +
                     "\" is held by another quorvel-dfu process; waiting until it lets go");
    }
    if (!waitUntilFound)
      return 0;
    if (!waitingNoted && NowMs() - waitStart >= kWaitingNoteAfterMs) {
      waitingNoted = true;
      NoteWaiting();
    }
  }
}

bool WaitForDevice(WaitKind waitKind, bool singlePart, int32_t timeoutMs, bool checkVersion,
                   bool appSelected) {
  PrintWaitReason(waitKind, checkVersion, timeoutMs);
  VersionCheck check{checkVersion, TwoPartImage, singlePart, appSelected, ""};
  if (checkVersion)
    check.expected = ImageVersionText(singlePart, appSelected);
  int32_t scanDelay = ScanDelay(waitKind, timeoutMs);
  int32_t start = NowMs();
  while (true) {
    SleepMs(kWaitCycleSleepMs);
    int32_t elapsed = NowMs() - start;
    PrintWaitProgress(timeoutMs, elapsed, false);
    // Command-line mode: the download's bar runs on from 90 % to 100 %.
    if (!LogEnabled)
      PrintDownloadProgress(timeoutMs, elapsed + timeoutMs * 9 / 10, false);
    if (elapsed >= timeoutMs) {
      ReportTimeout(waitKind, checkVersion, timeoutMs, elapsed);
      return false;
    }
    // Probing before the device has left the bus would find the old firmware.
    if (elapsed < scanDelay)
      continue;
    ScanForNewDevices(false);
    const DeviceEntry* accepted = AcceptFirstCandidate(ProbeAccepts, check, nullptr);
    if (accepted != nullptr) {
      DrainInput();
      ReportAccepted(waitKind, checkVersion, accepted->displayName);
      return true;
    }
  }
}

VersionTexts ReadCurrentVersions() {
  LastVersionsRead = VersionTexts();
  std::string text;
  ReadVersionText(kControllerSelector, &text);
  ReadVersionText(kAppSelector, &text);
  // A device that answers a query late must not answer the next request
  // with it.
  DrainInput();
  VersionTexts read = LastVersionsRead;
  LastVersionsRead = VersionTexts();
  return read;
}

bool WaitForReturn(WaitKind waitKind, int32_t timeoutMs) {
  return WaitForDevice(waitKind, false, timeoutMs, false, false);
}

bool WaitForVersion(bool singlePart, bool appSelected, int32_t timeoutMs) {
  return WaitForDevice(kWaitRestart, singlePart, timeoutMs, true, appSelected);
}
