#include "output/help_text.h"

#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "output/message_table.h"

void PrintHelp() {
  for (const std::string& line : HelpLinesUtf8(UiLanguage != 0)) {
    WriteLine(ToConsoleEncoding(line));
  }
}
