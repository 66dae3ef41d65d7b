#include "front_end/front_end_options.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>

namespace emu {
namespace {

// The protocol's data frame command.
constexpr uint8_t kDataFrameCommand = 0x10;

}  // namespace

bool ParseFrontEndArguments(int argc, char** argv, FrontEndOptions* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--record" && i + 1 < argc) {
      options->record = argv[++i];
    } else if (arg == "--trace") {
      options->trace = true;
    } else if (!arg.empty() && arg[0] != '-' && options->scenario.empty()) {
      options->scenario = arg;
    } else {
      return false;
    }
  }
  return !options->scenario.empty();
}

int FrontEndUsage(const char* program) {
  std::fprintf(stderr, "usage: %s [--record FILE] [--trace] SCENARIO.json\n", program);
  return 2;
}

int StopSignals(const char* program) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (stopFd < 0)
    std::fprintf(stderr, "%s: signalfd failed\n", program);
  return stopFd;
}

void TakeStopSignal(int stopFd) {
  signalfd_siginfo info;
  if (read(stopFd, &info, sizeof info) < 0) {
    // Nothing to do: the signal is what counts, not its details.
  }
}

std::string Hex(const uint8_t* data, size_t size) {
  std::string out;
  char text[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(text, sizeof text, i ? " %02X" : "%02X", data[i]);
    out += text;
  }
  return out;
}

bool DataFrameReport(const uint8_t* data, size_t size) {
  return size >= 3 &&
         (data[1] == kDataFrameCommand || (data[0] == 0 && data[2] == kDataFrameCommand));
}

}  // namespace emu
