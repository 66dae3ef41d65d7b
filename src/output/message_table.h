// Every text the program shows, in English and Chinese, in one table.
#ifndef QUORVEL_OUTPUT_MESSAGE_TABLE_H_
#define QUORVEL_OUTPUT_MESSAGE_TABLE_H_

#include <string>
#include <vector>

enum class Msg {
  // Banner.
  kBannerName,
  // Log lines and step results.
  kParameterError,
  kStepSuccess,
  kStepFailure,
  kDownloadProgressLabel,
  kWaitProgressLabel,
  // Command execution.
  kEnterControl,
  kEnterDfu,
  kQueryingUsb,
  kControlSuccess,
  kControlFailed,
  kDfuSuccess,
  kDfuFailed,
  // Status and wait messages.
  kWaitToConnectLeadIn,
  kQueryConnectedLeadIn,
  kWaitForcedMode,
  kWaitVerifyVersion,
  kWaitRestartConnection,
  kWaitBootloader,
  kTimeoutOpen,
  kTimeoutClose,
  kFirmwareInformation,
  kPartController,
  kPartApp,
  kPartControllerAndApp,
  kProgramFileSize,
  kDownloadFailedLocation,
  // Device procedures.
  kResetToBootloader,
  kEnterUpgradeMode,
  kRestartDevice,
  kEnterForcedMode,
  kExitForcedMode,
  kConfirmFirmwareInfo,
  kUpgradeStarts,
  kDownloadFirmware,
  kVerifyResult,
  kDownloadPassthrough,
  kSwitchPassthroughOn,
  kSwitchPassthroughOff,
  kTimeoutNoNewerVersion,
  kTimeoutNotConnected,
  // Version report.
  kReadFirmwareVersion,
  kDeviceInformation,
  kDeviceInformationSeparator,
  kRead,
  kReadController,
  kReadApp,
  kFirmwareVersionInformation,
  kRecordVersion,
  kRecordMajor,
  kRecordMinor,
  kRecordRevision,
  kRecordBuildNumber,
  // Prompt additions: device listing, permission hint, rejected argument.
  kListHeading,
  kListNone,
  kListPath,
  kListVendorId,
  kListProductId,
  kListInterface,
  kListSerial,
  kListPort,
  kPermissionHint,
  kRejectMissingVidPid,
  kRejectNotANumber,
  kRejectOutOfRange,
  kRejectFileNotFound,
  kRejectNotRegularFile,
  kRejectNoValidImage,
  kRejectProgramTooLarge,
  kRejectPassthroughInvalid,
  kRejectProgramFileRequired,
  kRejectNoControlAction,
  kRejectEmptyArgument,
  kRejectEmptyValue,
  kRejectUnknownOption,
  kRejectJoinedValue,
  kRejectJoinedHintOpen,
  kRejectJoinedHintClose,
  kRejectZeroDeviceId,
  kRejectNotDecimal,
  kRejectControlValue,
  kRejectNotForCv,
  kRejectNotForList,
  kRejectNeedsStation,
  kRejectStationOnCommandLine,
  // Command-line list and cv.
  kCvNotFound,
  kListOrCvRefused,
  kCount,
};

// The text in UTF-8, English or Chinese.
const char* MessageUtf8(Msg id, bool english);

// The help lines in UTF-8 (36 English, 46 Chinese).
const std::vector<std::string>& HelpLinesUtf8(bool english);
// The lines --help prints after those: the options and commands the help
// lines leave out, and the values of "language".
const std::vector<std::string>& MoreHelpLinesUtf8(bool english);

#endif  // QUORVEL_OUTPUT_MESSAGE_TABLE_H_
