#include "output/help_text.h"

#include <string>
#include <vector>

#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "output/message_table.h"

namespace {

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    WriteLine(ToConsoleEncoding(line));
  }
}

}  // namespace

void PrintHelp() {
  PrintLines(HelpLinesUtf8(UiLanguage != 0));
}

void PrintCommandLineHelp() {
  PrintHelp();
  PrintLines(MoreHelpLinesUtf8(UiLanguage != 0));
}
