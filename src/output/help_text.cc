#include "output/help_text.h"

#include "output/console_text.h"
#include "output/log_output.h"
#include "output/messages.h"

void PrintHelp() {
  for (const std::string& line : HelpLinesUtf8(UiLanguage != 0)) {
    WriteLine(ToConsoleEncoding(line));
  }
}
