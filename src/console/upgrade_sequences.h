// The upgrade sequence of each chip platform: the device procedures chained
// in a fixed order, stopping at the first failure. Each takes the command
// and fills the run record as its procedures go; true when the update
// succeeded.
#ifndef QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_
#define QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_

#include "console/command.h"
#include "dfu/run_record.h"

// Platform 0 (TQ3410).
bool RunPlatform0Upgrade(const Command& command, RunRecord* record);
// Platform 1 (TQ520x HSK V1.0.2 or earlier), one image or one part of two.
bool RunUpgrade(const Command& command, ImagePart part, RunRecord* record);
// Platform 1 with a Controller + App image: the two parts as two downloads.
bool RunTwoPartUpgrade(const Command& command, RunRecord* record);
// Platform 2 (TQ520x HSK V1.1.0).
bool RunPlatform2Upgrade(const Command& command, RunRecord* record);
// Platform 3 (TQ52xx MSK).
bool RunPlatform3Upgrade(const Command& command, RunRecord* record);
// Platform 4 (TQ520x HSK V1.2.0 or later): the default program through the
// forced upgrade mode, then the passthrough program.
bool RunPlatform4Upgrade(const Command& command, RunRecord* record);
bool RunForcedUpgrade(const Command& command, RunRecord* record);

#endif  // QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_
