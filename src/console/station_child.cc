// The readers of the children's pipes. Each pipe gets a thread that blocks
// in its read and cuts what comes into lines; the loop takes them from one
// queue, so a slow child never holds up another's lines.
#include "console/station_child.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

struct LineQueueRecord {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<ChildLine> lines;
};
LineQueueRecord LineQueue;

void Push(int child, bool fromErr, bool end, std::string text) {
  if (!text.empty() && text.back() == '\r')
    text.pop_back();
  {
    std::lock_guard<std::mutex> hold(LineQueue.lock);
    LineQueue.lines.push_back(ChildLine{child, fromErr, end, std::move(text)});
  }
  LineQueue.arrived.notify_one();
}

void ReadLines(int child, intptr_t pipe, bool fromErr) {
  std::string pending;
  char buffer[4096];
  while (true) {
    const int64_t got = ReadChildPipe(pipe, buffer, sizeof buffer);
    if (got <= 0)
      break;
    pending.append(buffer, static_cast<size_t>(got));
    size_t lineEnd;
    while ((lineEnd = pending.find('\n')) != std::string::npos) {
      Push(child, fromErr, false, pending.substr(0, lineEnd));
      pending.erase(0, lineEnd + 1);
    }
  }
  if (!pending.empty())
    Push(child, fromErr, false, pending);
  Push(child, fromErr, true, std::string());
}

}  // namespace

bool StartStationChild(const std::vector<std::string>& argv, StationChild* child,
                       std::string* error) {
  if (!StartChildProcess(argv, &child->process, error))
    return false;
  const int id = child->id;
  child->outReader = std::thread(ReadLines, id, child->process.outPipe, false);
  child->errReader = std::thread(ReadLines, id, child->process.errPipe, true);
  child->openPipes = 2;
  return true;
}

void TakeChildLines(int32_t waitMs, std::vector<ChildLine>* lines) {
  std::unique_lock<std::mutex> hold(LineQueue.lock);
  LineQueue.arrived.wait_for(hold, std::chrono::milliseconds(waitMs),
                             [] { return !LineQueue.lines.empty(); });
  while (!LineQueue.lines.empty()) {
    lines->push_back(std::move(LineQueue.lines.front()));
    LineQueue.lines.pop_front();
  }
}

int EndStationChild(StationChild* child) {
  if (child->outReader.joinable())
    child->outReader.join();
  if (child->errReader.joinable())
    child->errReader.join();
  CloseChildPipe(child->process.outPipe);
  CloseChildPipe(child->process.errPipe);
  child->process.outPipe = -1;
  child->process.errPipe = -1;
  return WaitForChildProcess(&child->process);
}

std::vector<std::string> StationChildArguments(const std::vector<std::string>& arguments,
                                               const std::string& port, bool reflash) {
  static const char* const kDropped[] = {"--station", "--reflash", "--json", "--events",
                                         "--skip-current"};
  static const char* const kDroppedWithValue[] = {"--jobs", "--count", "--port", "--log"};
  std::vector<std::string> child;
  size_t i = 0;
  for (; i < arguments.size() && i < 2; ++i)
    child.push_back(arguments[i]);
  while (i < arguments.size()) {
    const std::string& name = arguments[i];
    const auto is = [&name](const char* option) { return name == option; };
    if (std::any_of(std::begin(kDropped), std::end(kDropped), is)) {
      ++i;
      continue;
    }
    const bool dropped =
        std::any_of(std::begin(kDroppedWithValue), std::end(kDroppedWithValue), is);
    for (size_t k = i; k < i + 2 && k < arguments.size() && !dropped; ++k)
      child.push_back(arguments[k]);
    i += 2;
  }
  child.insert(child.end(), {"--port", port, "--events"});
  if (!reflash)
    child.push_back("--skip-current");
  return child;
}
