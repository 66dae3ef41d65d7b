// The children's pipes, read by the station's loop on each of its turns
// without blocking: dozens of children print a line per percent, and a
// reader thread each, woken by the system for every line, cost the station
// more of the machine than everything else it does.
#include "console/station_child.h"

#include <algorithm>

namespace {

void Push(const StationChild& child, bool fromErr, bool end, std::string text,
          std::vector<ChildLine>* lines) {
  if (!text.empty() && text.back() == '\r')
    text.pop_back();
  lines->push_back(ChildLine{child.id, fromErr, end, std::move(text)});
}

// What one pipe holds now, cut into lines; its end once its writer closed.
void TakePipeLines(const StationChild& child, intptr_t handle, bool fromErr, ChildPipe* pipe,
                   std::vector<ChildLine>* lines) {
  char buffer[4096];
  int64_t got = 0;
  while (pipe->open && (got = ReadChildPipeNow(handle, buffer, sizeof buffer)) > 0) {
    pipe->pending.append(buffer, static_cast<size_t>(got));
    size_t lineEnd;
    while ((lineEnd = pipe->pending.find('\n')) != std::string::npos) {
      Push(child, fromErr, false, pipe->pending.substr(0, lineEnd), lines);
      pipe->pending.erase(0, lineEnd + 1);
    }
  }
  if (!pipe->open || got == 0)
    return;
  pipe->open = false;
  if (!pipe->pending.empty())
    Push(child, fromErr, false, std::move(pipe->pending), lines);
  pipe->pending.clear();
  Push(child, fromErr, true, std::string(), lines);
}

}  // namespace

bool StartStationChild(const std::vector<std::string>& argv, StationChild* child,
                       std::string* error) {
  if (!StartChildProcess(argv, &child->process, error))
    return false;
  child->out.open = true;
  child->err.open = true;
  child->openPipes = 2;
  return true;
}

void TakeChildLines(StationChild* child, std::vector<ChildLine>* lines) {
  TakePipeLines(*child, child->process.outPipe, false, &child->out, lines);
  TakePipeLines(*child, child->process.errPipe, true, &child->err, lines);
}

int EndStationChild(StationChild* child) {
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
