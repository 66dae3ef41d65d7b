// Reading what the program printed as a person at the terminal sees it.
#ifndef QUORVEL_TESTS_SUPPORT_SCREEN_TEXT_H_
#define QUORVEL_TESTS_SUPPORT_SCREEN_TEXT_H_

#include <string>
#include <vector>

namespace e2e {

// Times shown as "(1.234s)" or "(0.532s, 12.047s)" become "(T)" and "(T, T)".
std::string MaskTimes(const std::string& text);
// Splits the output into lines as they stay on the screen: a line redrawn in
// place with carriage returns shows its last progress text. Each redrawn
// percentage must be a well-formed progress text with the same label; when
// monotonic is set it must also never go down. Otherwise the line is marked
// with " <progress broken>" so that comparisons fail visibly.
std::vector<std::string> ScreenLines(const std::string& out, bool monotonic = true);
// What a prompt session printed after the banner and the help text (all of
// it when there is no help text).
std::string AfterHelp(const std::string& out);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_SCREEN_TEXT_H_
