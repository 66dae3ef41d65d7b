#include <hidapi.h>

#include <string>
#include <vector>

#include "console/hid_start.h"
#include "console/program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments = ProgramArguments(argc, argv);
  InstallInterruptHandler();
  StartHidAccess();
  int status = RunProgram(arguments);
  hid_exit();
  return status;
}
