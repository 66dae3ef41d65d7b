#include "support/screen_text.h"

#include <regex>
#include <sstream>

namespace e2e {
namespace {

std::vector<std::string> Redraws(const std::string& line) {
  std::vector<std::string> pieces;
  std::string piece;
  std::istringstream stream(line);
  while (std::getline(stream, piece, '\r'))
    pieces.push_back(piece);
  return pieces;
}

// One redrawn line: "\r" + label + percentage right-aligned in 3 + "%", repeated.
std::string CollapseProgress(const std::string& line, bool monotonic) {
  static const std::regex kProgress(R"(([^\r]*)([ \d]{2}\d)%)");
  std::vector<std::string> pieces = Redraws(line);
  bool broken = pieces.size() < 2 || !pieces[0].empty();
  std::string label;
  int last = -1;
  for (size_t i = 1; i < pieces.size() && !broken; ++i) {
    std::smatch match;
    if (!std::regex_match(pieces[i], match, kProgress)) {
      broken = true;
      break;
    }
    int percent = std::stoi(match[2].str());
    if (i == 1)
      label = match[1].str();
    if (match[1].str() != label || percent > 100 || (monotonic && percent < last))
      broken = true;
    last = percent;
  }
  return (pieces.empty() ? std::string() : pieces.back()) + (broken ? " <progress broken>" : "");
}

}  // namespace

std::string MaskTimes(const std::string& text) {
  static const std::regex kBoth(R"(\(\d+\.\d{3}s, \d+\.\d{3}s\))");
  static const std::regex kOne(R"(\(\d+\.\d{3}s\))");
  return std::regex_replace(std::regex_replace(text, kBoth, "(T, T)"), kOne, "(T)");
}

std::vector<std::string> ScreenLines(const std::string& out, bool monotonic) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    std::string line =
        out.substr(start, end == std::string::npos ? std::string::npos : end - start);
    lines.push_back(line.find('\r') == std::string::npos ? line
                                                         : CollapseProgress(line, monotonic));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return lines;
}

std::string AfterHelp(const std::string& out) {
  const std::string rule = std::string(112, '=') + "\n";
  size_t at = out.rfind(rule);
  return at == std::string::npos ? out : out.substr(at + rule.size());
}

}  // namespace e2e
