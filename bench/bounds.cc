// Least times a run can take, derived from the emulated device's timing model
// and from the waits the update sequence must make whatever the device does.
//
// The device model (emulator/model/presence.cc, transfer.cc): with a frame time F > 0,
// a request written by the program goes out on the next free OUT frame
// boundary, and a reply becomes readable on the first IN frame boundary at
// or after its due time (request + replyMs, acknowledgement + eraseMs or
// verifyMs, frame + blockWriteMs), never in the same IN frame as the reply
// before it. A program that reads a reply in frame n can therefore get its
// next request out in frame n + 1 at the earliest. With F = 0 nothing is
// rounded and only the device's own delays count.
#include <algorithm>

#include "bench.h"

namespace bench {
namespace {

constexpr int64_t kFramePayload = 62;

// The waits of a command-line platform 4 update with version check, in ms:
// the connection cycle's sleep, the settle time of its scan, the input drain
// after the device answered; the bus snapshot before entering the forced
// upgrade mode and the one before the restart; the restart wait's scan delay
// (20 s time-out), the settle time of its first scan and the drain after the
// device came back with the new version.
constexpr int64_t kConnectSleepMs = 400;
constexpr int64_t kSettleMs = 200;
constexpr int64_t kDrainMs = 50;
constexpr int64_t kScanDelayMs = 3000;
constexpr int64_t kScanCycleMs = 400;  // a later scan: 200 ms sleep + 200 ms settle
constexpr int64_t kSettlesPerUpdate = 4;
constexpr int64_t kDrainsPerUpdate = 2;

// Requests answered by a first reply: handshake, forced mode on, upgrade
// mode, firmware information, start, verify, restart, version query, forced
// mode off.
constexpr int64_t kFirstReplies = 9;
// Requests written right after reading a reply, so a frame later at the
// earliest: upgrade mode, firmware information, start. (The first data
// frame and the verify request are inside the download bound.)
constexpr int64_t kBackToBackRequests = 3;

int64_t UpToFrame(int64_t us, int64_t frameUs) {
  return frameUs > 0 ? (us + frameUs - 1) / frameUs * frameUs : us;
}

// A second reply due `delayUs` after the first: the first IN frame at or
// after that, and not the first reply's frame.
int64_t CompletionDelayUs(int64_t delayUs, int64_t frameUs) {
  return frameUs > 0 ? std::max(UpToFrame(delayUs, frameUs), frameUs) : delayUs;
}

}  // namespace

TransferShape CountTransfer(int64_t length, int bsize) {
  TransferShape shape;
  int64_t sent = 0;
  int64_t acknowledged = 0;
  while (sent < length) {
    sent += std::min(kFramePayload, length - sent);
    ++shape.frames;
    int64_t completed = sent / bsize;
    if (completed > acknowledged || sent == length) {
      // The partial last block gets an acknowledgement of its own.
      acknowledged = completed == acknowledged ? completed + 1 : completed;
      ++shape.acks;
    }
  }
  return shape;
}

int64_t StartCompletionUs(int64_t startRequestUs, const DeviceTiming& t) {
  return startRequestUs + UpToFrame(t.replyUs, t.frameUs) + CompletionDelayUs(t.eraseUs, t.frameUs);
}

// Per block of k frames: k OUT frames back to back, the acknowledgement on
// the IN frame blockWriteMs (rounded up to frames) after the last one, and
// the frame in which the program's next write can go out. Summed: one frame
// for the first data frame after the start completion, one per data frame,
// and the rounded block write time per acknowledgement; the verify request
// takes the place of the next block's first frame.
int64_t DownloadBoundUs(const TransferShape& shape, const DeviceTiming& t) {
  return t.frameUs + shape.frames * t.frameUs + shape.acks * UpToFrame(t.blockWriteUs, t.frameUs);
}

int64_t MandatedWaitsUs() {
  return (kConnectSleepMs + kSettlesPerUpdate * kSettleMs + kDrainsPerUpdate * kDrainMs +
          kScanDelayMs) *
         1000;
}

int64_t MandatedBusyWaitUs() {
  return kDrainsPerUpdate * kDrainMs * 1000;
}

int64_t CommandBoundUs(const DeviceTiming& t, int64_t downloadBoundUs) {
  int64_t device = kFirstReplies * UpToFrame(t.replyUs, t.frameUs) +
                   kBackToBackRequests * t.frameUs + CompletionDelayUs(t.eraseUs, t.frameUs) +
                   CompletionDelayUs(t.verifyUs, t.frameUs);
  // The restart wait finds the device at its first scan, 3200 ms in, when
  // the device is back by then; otherwise each later scan costs a cycle.
  int64_t firstScanUs = (kScanDelayMs + kSettleMs) * 1000;
  int64_t rebootUs = t.leaveUs + t.awayUs;
  int64_t lateUs = 0;
  if (rebootUs > firstScanUs) {
    int64_t cycleUs = kScanCycleMs * 1000;
    lateUs = (rebootUs - firstScanUs + cycleUs - 1) / cycleUs * cycleUs;
  }
  return MandatedWaitsUs() + device + downloadBoundUs + lateUs;
}

}  // namespace bench
