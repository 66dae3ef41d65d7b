// The upgrade sequence of each chip platform: the device procedures chained
// in a fixed order, stopping at the first failure.
#ifndef QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_
#define QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_

// Platform 0 (TQ3410).
bool RunPlatform0Upgrade();
// Platform 1 (TQ520x HSK V1.0.2 or earlier), one image or one part of two.
bool RunUpgrade(bool singlePart, bool appSelected);
// Platform 1 with a Controller + App image: the two parts as two downloads.
bool RunTwoPartUpgrade();
// Platform 2 (TQ520x HSK V1.1.0).
bool RunPlatform2Upgrade();
// Platform 3 (TQ52xx MSK).
bool RunPlatform3Upgrade();
// Platform 4 (TQ520x HSK V1.2.0 or later): the default program through the
// forced upgrade mode, then the passthrough program.
bool RunPlatform4Upgrade();
bool RunForcedUpgrade();

#endif  // QUORVEL_CONSOLE_UPGRADE_SEQUENCES_H_
