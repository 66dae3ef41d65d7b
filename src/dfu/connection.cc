#include "dfu/connection.h"

#include <string>

#include "dfu/device_modes.h"
#include "dfu/mode_control.h"
#include "dfu/version_report.h"
#include "output/console_encoding.h"
#include "output/event_stream.h"
#include "output/log_printers.h"
#include "platform/platform.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

void ScanForNewDevices(DeviceFilter filter) {
  RefreshDevices(&CurrentDevices, filter);
  PruneVanishedKnown();
  DropKnownFromCurrent();
  MergeCurrentIntoKnown();
}

bool ReadVersionText(uint8_t selector, std::string* text, VersionTexts* read) {
  uint8_t record[8] = {};
  int32_t length = sizeof(record);
  if (!ReadVersionInfo(selector, record, &length))
    return false;
  *text = FormatVersionText(record);
  (selector == kControllerSelector ? read->controller : read->app) = *text;
  return true;
}

// What a wait asks of the interface it opens: with checkVersion, to report
// the expected version text of the part sent.
struct VersionCheck {
  bool checkVersion = false;
  bool twoPart = false;
  ImagePart part = ImagePart::kWhole;
  std::string expected;
};

// Whether the freshly opened interface is the device coming back.
bool ProbeAccepts(const VersionCheck& check, VersionTexts* read) {
  if (!check.checkVersion)
    return Handshake() == 1;
  std::string controller;
  std::string app;
  if (!check.twoPart) {
    if (!ReadVersionText(kControllerSelector, &controller, read))
      return false;
    if (controller == check.expected)
      return true;
    return ReadVersionText(kAppSelector, &app, read) && app == check.expected;
  }
  if (check.part != ImagePart::kWhole) {
    uint8_t selector = check.part == ImagePart::kApp ? kAppSelector : kControllerSelector;
    return ReadVersionText(selector, &app, read) && app == check.expected;
  }
  return ReadVersionText(kControllerSelector, &controller, read) &&
         ReadVersionText(kAppSelector, &app, read) && controller + " | " + app == check.expected;
}

// Why candidates could not be opened in one cycle.
struct OpenRefusals {
  bool denied = false;        // the system refused for lack of access rights
  std::string heldElsewhere;  // display name of one held by another instance
};

using Acceptance = bool (*)(const VersionCheck&, VersionTexts*);

// In the wait for the new version of a command pinned to a port, a device
// that reports a serial number other than the one the command's device
// first reported is another device: a dongle plugged into the port after
// this one was pulled during its restart. Only there: a boot loader may
// report none or a serial number of its own, but the firmware that comes
// back reports the device's again. One that reports none stays a candidate.
bool IsAnotherDevice(const DeviceSelection& selection, const VersionCheck& check,
                     const RunRecord& record, const DeviceEntry& candidate) {
  return check.checkVersion && !selection.port.empty() && !record.deviceSerial.empty() &&
         candidate.hasSerial && !candidate.serial.empty() &&
         candidate.serial != record.deviceSerial;
}

// Another device is not opened, and whoever watches is told once per
// appearance (the waits offer only newly attached interfaces).
void NoteAnotherDevice(const RunRecord& record, const DeviceEntry& candidate) {
  std::string where = candidate.port.empty() ? std::string() : " at USB port " + candidate.port;
  WriteErrorLine("quorvel-dfu: the device" + where + " with serial number " + candidate.serial +
                 " is not the one this command updates (serial number " + record.deviceSerial +
                 "); it is left alone");
  NoteAnotherDeviceMet(record.deviceSerial);
}

// Tries the candidates in list order; leaves the link open on the accepted
// one and returns its entry. Records in *refusals, when given, why others
// could not be opened.
const DeviceEntry* AcceptFirstCandidate(const DeviceSelection& selection, Acceptance accepts,
                                        const VersionCheck& check, RunRecord* record,
                                        OpenRefusals* refusals) {
  for (const DeviceEntry& candidate : CurrentDevices.entries) {
    // Another device of the same kind is never opened: it may be another
    // instance's, in the middle of its own update.
    if (!SelectionAccepts(selection, candidate))
      continue;
    if (IsAnotherDevice(selection, check, *record, candidate)) {
      NoteAnotherDevice(*record, candidate);
      continue;
    }
    if (OpenLink(candidate.hasPath ? candidate.path.c_str() : nullptr) != 1) {
      if (refusals != nullptr && HidLink.lastOpenDenied)
        refusals->denied = true;
      if (refusals != nullptr && HidLink.lastOpenHeldElsewhere)
        refusals->heldElsewhere = candidate.displayName;
      continue;
    }
    record->versionsRead = VersionTexts();  // this candidate's, when it is accepted
    if (accepts(check, &record->versionsRead)) {
      record->connected = candidate;
      if (record->deviceSerial.empty() && candidate.hasSerial)
        record->deviceSerial = candidate.serial;
      NoteDeviceSeenAt(candidate.port);
      return &candidate;
    }
    CloseLink();
  }
  return nullptr;
}

// What one first connection has told the user so far: each note once,
// however many cycles and interfaces it concerns.
struct ConnectNotes {
  bool permissionHint = false;
  bool heldElsewhere = false;
  bool waiting = false;
};

// The wait skips interfaces it cannot open and goes on waiting; without this
// line an unprivileged user whose device lacks the udev rule would wait
// forever without knowing why.
// At the prompt it is a log line; in command-line mode, where standard
// output keeps to the progress and result lines, it goes to standard error.
void HintAtDeniedAccess() {
  if (LogEnabled) {
    PrintLogLine(Text(Msg::kPermissionHint));
  } else {
    WriteErrorLine("quorvel-dfu" + Text(Msg::kPermissionHint));
  }
}

void NoteRefusals(const OpenRefusals& refusals, ConnectNotes* notes) {
  if (refusals.denied && !notes->permissionHint) {
    notes->permissionHint = true;
    HintAtDeniedAccess();
  }
  if (!refusals.heldElsewhere.empty() && !notes->heldElsewhere) {
    notes->heldElsewhere = true;
    WriteErrorLine("quorvel-dfu: \"" + refusals.heldElsewhere +
                   "\" is held by another quorvel-dfu process; waiting until it lets go");
  }
}

// The first connection waits without a time-out; after this long a person
// is told what it waits for and how to stop it.
constexpr int32_t kWaitingNoteAfterMs = 2000;

// A device named by --serial or --port that is not there is waited for like
// any absent device, and the line names it: whoever watches a production
// line sees which device an instance still waits for.
void NoteWaiting(const DeviceSelection& selection) {
  NoteEventPhase(kPhaseWaiting);
  std::string interface = CurrentDevices.interfaceNumber < 0
                              ? std::string("any interface")
                              : "interface " + std::to_string(CurrentDevices.interfaceNumber);
  std::string named;
  if (!selection.serial.empty())
    named += " with serial number " + selection.serial;
  if (!selection.port.empty())
    named += " at USB port " + selection.port;
  WriteErrorLine("quorvel-dfu: waiting for device " +
                 FormatHex(CurrentDevices.vendorId, 4, HexStyle::kBare) + ":" +
                 FormatHex(CurrentDevices.productId, 4, HexStyle::kBare) + " (" + interface + ")" +
                 named + " to be connected and to answer; press Ctrl-C to stop");
}

bool HandshakeAnswers(const VersionCheck&, VersionTexts*) {
  return Handshake() > 0;
}

// One cycle of the first connection: the first time every matching
// interface is a candidate, later only those newly attached.
const DeviceEntry* ConnectCycle(const DeviceSelection& selection, bool firstCycle,
                                RunRecord* record, OpenRefusals* refusals) {
  SleepMs(kConnectCycleSleepMs);
  if (firstCycle) {
    RefreshDevices(&CurrentDevices, DeviceFilter::kListFilter);
    ClearDevices(&KnownDevices);
    MergeCurrentIntoKnown();
  } else {
    ScanForNewDevices(DeviceFilter::kListFilter);
  }
  return AcceptFirstCandidate(selection, HandshakeAnswers, VersionCheck(), record, refusals);
}

void ReportTimeout(WaitKind waitKind, bool checkVersion, int32_t timeoutMs, int32_t elapsed) {
  NoteStepFailed();
  if (!LogEnabled)
    return;
  PrintWaitProgress(timeoutMs, elapsed, Progress::kFinal);
  Msg message = (waitKind == kWaitRestart && checkVersion) ? Msg::kTimeoutNoNewerVersion
                                                           : Msg::kTimeoutNotConnected;
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRunsOn, Text(message));
}

void ReportAccepted(WaitKind waitKind, bool checkVersion, const std::string& displayName) {
  if (!LogEnabled)
    return;
  PrintWaitProgress(100, 100, Progress::kFinal);
  if (waitKind == kWaitRestart && !checkVersion) {
    PrintDeviceWait(DeviceWaitLine::kWaitToConnect, displayName);
  } else {
    PrintStepResult(true);
  }
}

// Both waits: scans for newly attached interfaces until one passes the
// check or timeoutMs has passed.
bool WaitForDevice(const DeviceSelection& selection, WaitKind waitKind, const VersionCheck& check,
                   int32_t timeoutMs, RunRecord* record) {
  PrintWaitReason(waitKind, check.checkVersion, timeoutMs);
  int32_t scanDelay = ScanDelay(waitKind, timeoutMs);
  int32_t start = NowMs();
  while (true) {
    SleepMs(kWaitCycleSleepMs);
    int32_t elapsed = NowMs() - start;
    PrintWaitProgress(timeoutMs, elapsed, Progress::kRunning);
    // Command-line mode: the download's bar runs on from 90 % to 100 %.
    if (!LogEnabled)
      PrintDownloadProgress(timeoutMs, elapsed + timeoutMs * 9 / 10, Progress::kRunning);
    if (elapsed >= timeoutMs) {
      ReportTimeout(waitKind, check.checkVersion, timeoutMs, elapsed);
      return false;
    }
    // Probing before the device has left the bus would find the old firmware.
    if (elapsed < scanDelay)
      continue;
    ScanForNewDevices(DeviceFilter::kEveryInterface);
    const DeviceEntry* accepted =
        AcceptFirstCandidate(selection, ProbeAccepts, check, record, nullptr);
    if (accepted != nullptr) {
      DrainInput();
      ReportAccepted(waitKind, check.checkVersion, accepted->displayName);
      return true;
    }
  }
}

}  // namespace

int32_t ScanDelay(WaitKind waitKind, int32_t timeoutMs) {
  if (waitKind != kWaitRestart)
    return 0;
  return timeoutMs >= 12000 ? 3000 : timeoutMs / 4;
}

int ConnectDevice(const DeviceSelection& selection, ConnectWait wait, RunRecord* record) {
  // Each call serves one command (dfu, ctrl or cv), which gets its own notes.
  ConnectNotes notes;
  NoteEventPhase(kPhaseConnecting);
  const int32_t waitStart = NowMs();
  for (bool firstCycle = true;; firstCycle = false) {
    OpenRefusals refusals;
    const DeviceEntry* accepted = ConnectCycle(selection, firstCycle, record, &refusals);
    if (accepted != nullptr) {
      // After "waiting", the device found is being connected.
      NoteEventPhase(kPhaseConnecting);
      DrainInput();
      PrintDeviceWait(DeviceWaitLine::kQueryConnected, accepted->displayName);
      return 1;
    }
    NoteRefusals(refusals, &notes);
    if (wait == ConnectWait::kOneScan)
      return 0;
    if (!notes.waiting && NowMs() - waitStart >= kWaitingNoteAfterMs) {
      notes.waiting = true;
      NoteWaiting(selection);
    }
  }
}

namespace {

// The check reads the App version only when the Controller's is not the
// one sent, and one part's version only for a part of a two-part image.
void ReadMissingVersions(VersionTexts* read) {
  std::string text;
  if (!read->controller)
    ReadVersionText(kControllerSelector, &text, read);
  if (!read->app)
    ReadVersionText(kAppSelector, &text, read);
  DrainInput();
}

}  // namespace

VersionTexts ReadCurrentVersions() {
  VersionTexts read;
  std::string text;
  ReadVersionText(kControllerSelector, &text, &read);
  ReadVersionText(kAppSelector, &text, &read);
  // A device that answers a query late must not answer the next request
  // with it.
  DrainInput();
  return read;
}

bool WaitForReturn(const DeviceSelection& selection, WaitKind waitKind, int32_t timeoutMs,
                   RunRecord* record) {
  return WaitForDevice(selection, waitKind, VersionCheck(), timeoutMs, record);
}

bool WaitForVersion(const DeviceSelection& selection, const TransferImage& sent, int32_t timeoutMs,
                    RunRecord* record) {
  VersionCheck check{true, sent.twoPart, sent.part, sent.versionText};
  bool accepted = WaitForDevice(selection, kWaitRestart, check, timeoutMs, record);
  if (accepted && record->readBothVersionsAfter)
    ReadMissingVersions(&record->versionsRead);
  // A device that came back with another version has still said which.
  if (record->versionsRead.controller || record->versionsRead.app)
    record->versionsAfter = record->versionsRead;
  return accepted;
}
