// The process-wide records of the seam. The native functions come from the
// operating system's own file (platform_posix.cc or platform_win32.cc, chosen
// by the build); filling the record copies only function pointers, so it does
// not matter which file's static initialisation runs first.
#include "platform/platform.h"

Platform g_platform = NativePlatform();
StopRequestRecord StopRequest;
