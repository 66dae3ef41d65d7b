// Updating the passthrough device behind the connected one: the connected
// device forwards an ordinary transfer while passthrough is on.
#ifndef QUORVEL_DFU_PASSTHROUGH_H_
#define QUORVEL_DFU_PASSTHROUGH_H_

bool SwitchPassthrough(bool on);
bool SendPassthroughInfo();
bool DownloadPassthroughFirmware();

#endif  // QUORVEL_DFU_PASSTHROUGH_H_
