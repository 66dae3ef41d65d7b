#include "console/hid_start.h"

#include <hidapi.h>

#include <string>

#include "console/program.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "output/message_table.h"
#include "transport/display_name.h"

bool StartHidAccess() {
  if (hid_init() == 0)
    return true;
  std::string reason;
  if (!NarrowDeviceText(hid_error(nullptr), &reason))
    reason.clear();
  // The prompt and the commands have not chosen the language yet; they
  // choose the same one.
  UiLanguage = DetectUiLanguage() ? 0 : 1;
  WriteErrorLine("quorvel-dfu" + Text(Msg::kHidStartFailed) + reason);
  return false;
}
