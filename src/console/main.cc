#include <hidapi.h>

#include <string>
#include <vector>

#include "console/program.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  hid_init();
  int status = RunProgram(arguments);
  hid_exit();
  return status;
}
