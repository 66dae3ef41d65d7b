#include "output/station_view.h"

#include <cstdio>

namespace {

// Column widths of a port line, with one blank between them and two before
// the result, which takes what is left of kStationViewColumns.
constexpr int kPortColumns = 12;
constexpr int kSerialColumns = 16;
constexpr int kStateColumns = 28;
constexpr int kElapsedColumns = 6;
constexpr int kResultColumns =
    kStationViewColumns - kPortColumns - kSerialColumns - kStateColumns - kElapsedColumns - 5;

constexpr char kEraseToLineEnd[] = "\x1b[K\n";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Columns of UTF-8 text, a column per character.
int Columns(const std::string& text) {
  int columns = 0;
  for (char c : text)
    columns += IsContinuationByte(c) ? 0 : 1;
  return columns;
}

// The byte offset where character number `characters` starts.
size_t OffsetOfCharacter(const std::string& text, int characters) {
  size_t i = 0;
  for (int seen = 0; i < text.size(); ++i) {
    if (!IsContinuationByte(text[i]) && seen++ == characters)
      break;
  }
  return i;
}

// Control bytes shown as "?": a device's strings reach the terminal here.
std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      c = '?';
  }
  return shown;
}

// Which part of a text too long for its column stays: a serial number or a
// port is told apart by its head and its tail; a result reads from its head.
enum class Cut { kMiddle, kEnd };

// At most width columns, a "~" where the text was cut.
std::string CutToWidth(const std::string& text, int width, Cut cut) {
  const int columns = Columns(text);
  if (columns <= width)
    return text;
  const int head = cut == Cut::kEnd ? width - 1 : (width - 1) / 2;
  const int tail = width - 1 - head;
  return text.substr(0, OffsetOfCharacter(text, head)) + "~" +
         text.substr(OffsetOfCharacter(text, columns - tail));
}

std::string Padded(const std::string& text, int width) {
  const std::string cut = CutToWidth(text, width, Cut::kMiddle);
  return cut + std::string(static_cast<size_t>(width - Columns(cut)), ' ');
}

std::string SerialText(const StationPort& port) {
  return port.serial.empty() ? "-" : Printable(port.serial);
}

std::string StateText(const StationPort& port) {
  switch (port.state) {
    case StationPortState::kEmpty:
      return "empty";
    case StationPortState::kQueued:
      return "queued";
    case StationPortState::kRunning: {
      std::string text = port.phase.empty() ? "running" : Printable(port.phase);
      if (port.percent >= 0)
        text += " " + std::to_string(port.percent) + "%";
      return text;
    }
    case StationPortState::kDone:
      return "done";
    case StationPortState::kCurrent:
      return "current";
    case StationPortState::kFailed:
      return "failed";
  }
  return "";
}

std::string ResultText(const StationPort& port) {
  switch (port.state) {
    case StationPortState::kDone:
      return Printable(port.newVersion);
    case StationPortState::kCurrent:
      return "current";
    case StationPortState::kFailed:
      return port.failedStep.empty() ? "failed" : "failed: " + Printable(port.failedStep);
    default:
      return "";
  }
}

bool Ended(StationPortState state) {
  return state == StationPortState::kDone || state == StationPortState::kCurrent ||
         state == StationPortState::kFailed;
}

// Blank while nothing runs on the port.
std::string ElapsedText(const StationPort& port, int32_t nowMs) {
  if (port.state == StationPortState::kRunning)
    return FormatElapsed(nowMs - port.startedMs);
  if (Ended(port.state))
    return FormatElapsed(port.endedMs - port.startedMs);
  return "";
}

std::string WithoutTrailingBlanks(std::string line) {
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  return line;
}

std::string PortLine(const StationPort& port, int32_t nowMs) {
  std::string elapsed = ElapsedText(port, nowMs);
  elapsed = std::string(static_cast<size_t>(kElapsedColumns) - elapsed.size(), ' ') + elapsed;
  return WithoutTrailingBlanks(Padded(Printable(port.port), kPortColumns) + " " +
                               Padded(SerialText(port), kSerialColumns) + " " +
                               Padded(StateText(port), kStateColumns) + " " + elapsed + "  " +
                               CutToWidth(ResultText(port), kResultColumns, Cut::kEnd));
}

}  // namespace

std::string FormatElapsed(int32_t ms) {
  const int32_t seconds = ms < 0 ? 0 : ms / 1000;
  char text[24];
  snprintf(text, sizeof(text), "%d:%02d", static_cast<int>(seconds / 60),
           static_cast<int>(seconds % 60));
  return text;
}

std::string StationTotalsLine(const StationTotals& totals) {
  return "done " + std::to_string(totals.done) + ", current " + std::to_string(totals.current) +
         ", failed " + std::to_string(totals.failed) + ", running " +
         std::to_string(totals.running) + ", queued " + std::to_string(totals.queued);
}

std::string DrawStationBoard(const StationBoard& board, int32_t nowMs, int linesDrawnBefore,
                             int* linesDrawn) {
  std::string text;
  if (linesDrawnBefore > 0)
    text += "\r\x1b[" + std::to_string(linesDrawnBefore) + "A";
  for (const StationPort& port : board.ports)
    text += PortLine(port, nowMs) + kEraseToLineEnd;
  text += StationTotalsLine(board.totals) + (board.ending ? ", ending" : "") + kEraseToLineEnd;
  const int lines = static_cast<int>(board.ports.size()) + 1;
  // What is left of a longer drawing below goes.
  if (lines < linesDrawnBefore)
    text += "\x1b[J";
  *linesDrawn = lines;
  return text;
}

std::string PlainStationLine(const std::string& isoTime, const StationPort& port) {
  std::string state = StateText(port);
  if (port.state == StationPortState::kDone && !port.newVersion.empty())
    state += " " + Printable(port.newVersion);
  else if (port.state == StationPortState::kFailed)
    state = ResultText(port);
  return Printable(isoTime) + " " + Printable(port.port) + " " + SerialText(port) + " " + state +
         "\n";
}
