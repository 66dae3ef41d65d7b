// Windows has no signals to catch here: Ctrl-C and closing the console end
// the program through ExitProcess, which detaches this DLL, and the detach
// writes the outputs as at any other exit.
#include "device_model.h"

namespace emu {
namespace internal {

void WriteOutputsOnFatalSignals() {}

}  // namespace internal
}  // namespace emu
