#include "output/message_table.h"

#include <cstddef>

namespace {

struct MessagePair {
  Msg id;
  const char* english;
  const char* chinese;
};

// Chinese texts use the full-width colon and exclamation mark where English
// uses ": " and "!"; the console layer writes them in the console's encoding.
const MessagePair kMessages[] = {
    {Msg::kBannerName, "Quorvel DFU", "Quorvel DFU"},
    {Msg::kParameterError, ": Parameter error!", "：参数错误！"},
    {Msg::kStepSuccess, ": Successful execution!", "：执行成功！"},
    {Msg::kStepFailure, ": Execution failed!", "：执行失败！"},
    {Msg::kDownloadProgressLabel, ">> : Download progress: ", ">> ：下载进度: "},
    {Msg::kWaitProgressLabel, ">>: ", ">>: "},
    {Msg::kEnterControl, "Enter Control", "进入控制"},
    {Msg::kEnterDfu, "Enter DFU", "进入 DFU"},
    {Msg::kQueryingUsb, "Querying USB device connections", "查询 USB 设备连接"},
    {Msg::kControlSuccess, "control success!", "控制成功！"},
    {Msg::kControlFailed, "control failed!", "控制失败！"},
    {Msg::kDfuSuccess, "DFU success!", "DFU 成功！"},
    {Msg::kDfuFailed, "DFU failed!", "DFU 失败！"},
    {Msg::kWaitToConnectLeadIn, ": Wait to connect to the device: ", "：等待连接到设备："},
    {Msg::kQueryConnectedLeadIn, ": Query connected device: ", "：查询连接到设备："},
    {Msg::kWaitForcedMode, "Wait until the forced upgrade mode is complete",
     "等待进入强制升级模式完成"},
    {Msg::kWaitVerifyVersion, "Wait for the reboot verification to update the version information",
     "等待重启校验更新版本信息"},
    {Msg::kWaitRestartConnection, "Wait to restart connection", "等待重启连接"},
    {Msg::kWaitBootloader, "Wait to restart to the bootloader run", "等待重启到 bootloader 运行"},
    {Msg::kTimeoutOpen, " (Timeout: ", " (超时时间: "},
    {Msg::kTimeoutClose, " s)", " s)"},
    {Msg::kFirmwareInformation, ": Firmware information:", "：固件信息："},
    {Msg::kPartController, "Controller", "Controller"},
    {Msg::kPartApp, "App", "App"},
    {Msg::kPartControllerAndApp, "Controller + App", "Controller + App"},
    {Msg::kProgramFileSize, ": Program file size:", "：程序文件大小："},
    {Msg::kDownloadFailedLocation, " Download failed Location:", " 下载失败位置："},
    {Msg::kResetToBootloader, "Reset to the bootloader run", "复位到 bootloader 运行"},
    {Msg::kEnterUpgradeMode, "The firmware upgrade mode is displayed", "进入固件升级模式"},
    {Msg::kRestartDevice, "Restart the device", "重启设备"},
    {Msg::kEnterForcedMode, "Enter the forced upgrade mode", "进入强制升级模式"},
    {Msg::kExitForcedMode, "Exit the forced upgrade mode", "退出强制升级模式"},
    {Msg::kConfirmFirmwareInfo, "Confirm the firmware upgrade information", "确认升级固件信息"},
    {Msg::kUpgradeStarts, "The firmware upgrade program starts", "开始升级固件程序"},
    {Msg::kDownloadFirmware, "Download firmware program", "下载固件程序"},
    {Msg::kVerifyResult, "Download complete, verify the result", "下载完成，校验结果"},
    {Msg::kDownloadPassthrough, "Download the Passthrough device firmware program",
     "下载透传设备固件程序"},
    // Named only by a failure line: the switch has no heading of its own.
    {Msg::kSwitchPassthroughOn, "Switch passthrough on", "打开透传"},
    {Msg::kSwitchPassthroughOff, "Switch passthrough off", "关闭透传"},
    {Msg::kTimeoutNoNewerVersion, "Timeout No newer version device detected!",
     "超时未检测到更新版本设备！"},
    {Msg::kTimeoutNotConnected, "Timeout not waiting to connect failed!", "超时未等待连接到失败！"},
    {Msg::kReadFirmwareVersion, "Read the firmware version of the device", "读取设备固件版本信息"},
    {Msg::kDeviceInformation, "Device information", "设备信息"},
    // The separator is the ASCII colon in both languages.
    {Msg::kDeviceInformationSeparator, ": ", ": "},
    {Msg::kRead, "Read", "读取"},
    {Msg::kReadController, " Controller", " Controller"},
    {Msg::kReadApp, " App", " App"},
    {Msg::kFirmwareVersionInformation, " Firmware version information", " 固件版本信息"},
    // The record lines keep their English labels in both languages.
    {Msg::kRecordVersion, ": Version: ", ": Version: "},
    {Msg::kRecordMajor, ": Major: ", ": Major: "},
    {Msg::kRecordMinor, ": Minor: ", ": Minor: "},
    {Msg::kRecordRevision, ": Revision: ", ": Revision: "},
    {Msg::kRecordBuildNumber, ": Version Build Num: ", ": Version Build Num: "},
    {Msg::kListHeading, "HID interfaces on the bus:", "总线上的 HID 接口："},
    {Msg::kListNone, "No HID interface found", "未找到 HID 接口"},
    {Msg::kListPath, "path: ", "路径："},
    {Msg::kListVendorId, "  VID: ", "  VID: "},
    {Msg::kListProductId, "  PID: ", "  PID: "},
    {Msg::kListInterface, "interface: ", "接口："},
    {Msg::kListSerial, "serial: ", "序列号："},
    {Msg::kListPort, "port: ", "端口："},
    {Msg::kPermissionHint,
     ": Permission denied opening the device: copy 70-quorvel-dfu.rules (from "
     "/usr/lib/udev/rules.d/ when installed, udev/ in the source) to /etc/udev/rules.d/, list the "
     "device's vendor ID in it, run \"udevadm control --reload-rules && udevadm trigger\" as root, "
     "then replug the device",
     "：无权限打开设备：请将 70-quorvel-dfu.rules（已安装时位于 /usr/lib/udev/rules.d/，源码中位于 "
     "udev/）复制到 /etc/udev/rules.d/，在其中列出该设备的厂商 ID，以 root 身份运行 \"udevadm "
     "control --reload-rules && udevadm trigger\"，然后重新插拔设备"},
    {Msg::kRejectMissingVidPid, ": vid and pid are required", "：必须设置 vid 和 pid"},
    {Msg::kRejectNotANumber, ": not a number: ", "：不是数字："},
    {Msg::kRejectOutOfRange, ": value out of range: ", "：数值超出范围："},
    {Msg::kRejectFileNotFound, ": file not found or unreadable: ", "：文件不存在或无法读取："},
    {Msg::kRejectNotRegularFile, ": not a regular file: ", "：不是普通文件："},
    {Msg::kRejectNoValidImage, ": no valid firmware image (or digest mismatch) in: ",
     "：没有有效的固件映像（或摘要不匹配）："},
    // {size} is replaced by the file's size in bytes.
    {Msg::kRejectProgramTooLarge,
     ": program file too large ({size} bytes, the limit is 2147483647 bytes): ",
     "：程序文件过大（{size} 字节，上限为 2147483647 字节）："},
    {Msg::kRejectPassthroughInvalid, ": passthrough program is empty or larger than 131072 bytes: ",
     "：透传设备程序为空或大于 131072 字节："},
    {Msg::kRejectNoControlAction, ": ctrl needs -r or -f with the value 1 or true",
     "：ctrl 需要 -r 或 -f，值为 1 或 true"},
    {Msg::kRejectProgramFileRequired, ": this chip platform needs a program file (-d, or -t for 4)",
     "：该芯片平台需要程序文件（-d，平台 4 可用 -t）"},
    {Msg::kRejectEmptyArgument, ": empty option name or value (two blanks in a row?) at argument ",
     "：选项名或值为空（连续两个空格？），位置：参数 "},
    {Msg::kRejectEmptyValue,
     ": a serial number or USB port cannot be empty: ", "：序列号或 USB 端口不能为空："},
    {Msg::kRejectUnknownOption,
     ": unknown option (no command takes it): ", "：未知选项（没有命令使用它）："},
    {Msg::kRejectJoinedValue,
     ": an option and its value are two arguments: ", "：选项和它的值是两个参数："},
    {Msg::kRejectJoinedHintOpen, " (write: ", "（应写作："},
    {Msg::kRejectJoinedHintClose, ")", "）"},
    {Msg::kRejectZeroDeviceId, ": a vendor or product ID of 0 would match any device: ",
     "：厂商 ID 或产品 ID 为 0 会匹配任意设备："},
    {Msg::kRejectNotDecimal,
     ": the value is decimal, not hexadecimal: ", "：该值是十进制数，不是十六进制数："},
    {Msg::kRejectControlValue,
     ": -r and -f act with the value 1 or true (0 or false: nothing); not: ",
     "：-r 和 -f 的值为 1 或 true 时执行（0 或 false 时不执行），不能是："},
    {Msg::kRejectNotForCv, ": cv takes only vid pid, -n, --serial, --port and --json, not: ",
     "：cv 只接受 vid pid、-n、--serial、--port 和 --json，不接受："},
    {Msg::kRejectNotForList,
     ": list takes only vid, pid and --json, not: ", "：list 只接受 vid、pid 和 --json，不接受："},
    {Msg::kRejectNeedsStation, ": this option needs --station: ", "：此选项需要 --station："},
    {Msg::kRejectStationOnCommandLine,
     ": the station runs from the command line only: ", "：工作站只能从命令行运行："},
    {Msg::kCvNotFound,
     "quorvel-dfu: no such device answered: ", "quorvel-dfu：没有应答的此类设备："},
    {Msg::kListOrCvRefused, "quorvel-dfu: the command line was not accepted",
     "quorvel-dfu：命令行未被接受"},
};

const std::vector<std::string> kEnglishHelp = {
    "=============================================================================================="
    "==================",
    "Support commands:",
    "   help: View command help",
    "      v: View tool version information",
    "     cv: Read the firmware version of the device",
    "   exit: quit",
    "    dfu: DFU command",
    "       Command format：dfu vid pid -n inum -b bsize -w intv -s chip_p -d pg_path -t "
    "trans_pg_path -c check -i sort",
    "       vid: The value is a hexadecimal value ranging from 0 to FFFF. This parameter is "
    "mandatory",
    "       pid: The value is a hexadecimal value ranging from 0 to FFFF. This parameter is "
    "mandatory",
    "        -n: To set the USB port number parameter flag",
    "           inum: -n The value ranges from -1 to 5. The value is optional. inum is -1 by "
    "default",
    "        -b: To set the DFU device cache size flag",
    "           bsize: -b The value of the cache size can be 62, 128, 256, 384, or 512. The "
    "default value of bsize is 256",
    "        -w: To set the minimum DFU communication interval flag",
    "           intv: -w The value ranges from 0 to 1000. This parameter is optional. intv is 0 by "
    "default",
    "        -s: To set the DFU chip platform flag",
    "           chip_p: -s The following chip platform parameter ranges from 0 to 4. chip_p is set "
    "to 4 by default",
    "                0: It is TQ3410",
    "                1: It is TQ520x HSK V1.0.2 or earlier",
    "                2: It is TQ520x HSK V1.1.0 ",
    "                3: It is TQ52xx MSK ",
    "                4: It is TQ520x HSK V1.2.0 above version",
    "        -d: To set the DFU default device program flag",
    "           pg_path: -d If chip_p is set to 0 to 3, chip_p is mandatory. If chip_p is set to "
    "4, chip_p and trans_pg_path must be set at least one",
    "        -t: To set the DFU passthrough device program flag",
    "           trans_pg_path: -d The program path of the transparent device followed by chip_p is "
    "valid when chip_p is set to 4. It is optional, but at least one of the program path and "
    "pg_path must be set",
    "        -c: To set the DFU waiting for reboot verification update version information flag",
    "           check: -c The value can be 0 or 1. The default value is 1",
    "                0: The verification function cannot be enabled",
    "                1: Enable the verification",
    "        -i: In order to set the DFU chip platform when TQ520x HSK V1.0.2 or later, download "
    "the program Controller and App download sequence flag of Controller + App",
    "           sort: -i The following download Controller and APP sequence parameters can be set "
    "to 0, 1, and the default is 0",
    "                0: Download the Controller first and then the App",
    "                1: Download the App first and then the Controller",
    "=============================================================================================="
    "==================",
};

const std::vector<std::string> kChineseHelp = {
    "=============================================================================================="
    "==================",
    "支持命令: ",
    "   help: 查看命令帮助",
    "      v: 查看工具版本信息",
    "     cv: 读取设备固件版本信息",
    "   exit: 退出",
    "    dfu: DFU 命令",
    "       命令格式：dfu vid pid -n inum -b bsize -w intv -s chip_p -d pg_path -t trans_pg_path "
    "-c check -i sort",
    "       vid: 设备 VID 值，十六进制数，范围 0 ~ FFFF, 必须设置",
    "       pid: 设备 PID 值，十六进制数，范围 0 ~ FFFF，必须设置",
    "        -n: 为设置 USB 接口编号参数标志",
    "           inum: -n 后面紧跟的接口编号参数，范围 -1 ~ 5，可选设置，inum 默认为 -1",
    "        -b: 为设置 DFU 设备缓存大小标志",
    "           bsize: -b 后面紧跟的设备缓存大小参数，可设置值 "
    "62、128、256、384、512，可选设置，bsize 默认为 256",
    "        -w: 为设置 DFU 通讯间最小间隔标志",
    "           intv: -w 后面紧跟的通讯间最小间隔参数，范围 0 ~ 1000，可选设置，intv 默认为 0",
    "        -s: 为设置 DFU 芯片平台标志",
    "           chip_p: -s 后面紧跟的芯片平台参数，范围 0 ~ 4，可选设置，chip_p 默认为 4",
    "                0: 为 TQ3410",
    "                1: 为 TQ520x HSK V1.0.2 以下版本",
    "                2: 为 TQ520x HSK V1.1.0",
    "                3: 为 TQ52xx MSK",
    "                4: 为 TQ520x HSK V1.2.0 以上版本",
    "        -d: 为设置 DFU 默认设备程序标志",
    "           pg_path: -d 后面紧跟的默认设备程序路径参数，chip_p 为 0 ~ 3 时，必选设置，为 4 "
    "时可选设置，但与 trans_pg_path 至少需要设置一个以上",
    "        -t: 为设置 DFU 透传设备程序标志",
    "           trans_pg_path: -d 后面紧跟的透传设备程序路径参数，chip_p 为 4 "
    "时有效，可选设置，但与 pg_path 至少需要设置一个以上",
    "        -c: 为设置 DFU 等待重启校验更新版本信息标志",
    "           check: -c 后面紧跟的等待重启校验更新版本信息参数, 可设置值 0、1，默认为 1",
    "                0: 不能使能校验 ",
    "                1: 能使校验 ",
    "        -i: 为设置 DFU 芯片平台在为 TQ520x HSK V1.0.2 以下版本时，下载 Controller + App "
    "的程序 Controller 和 App 下载顺序标志",
    "           sort: -i 后面紧跟的下载 Controller 和 APP 顺序参数, 可设置值 0、1，默认为 0",
    "                0: 先下载 Controller 后下载 App",
    "                1: 先下载 App 后下载 Controller",
    "    ctrl: 控制芯片重启与退出强制升级模式命令",
    "       命令格式：ctrl vid pid -n inum -r reset -f force",
    "       vid: 设备 VID 值，十六进制数，范围 0 ~ FFFF, 必须设置",
    "       pid: 设备 PID 值，十六进制数，范围 0 ~ FFFF，必须设置",
    "        -n: 为设置 USB 接口编号参数标志",
    "           inum: -n 后面紧跟的接口编号参数，范围 -1 ~ 5，可选设置，inum 默认为 -1",
    "        -r: 为设置芯片重启参数标志",
    "           reset: -r 后面紧跟的重启参数，1 或 true 为重启芯片控制",
    "        -f: 为设置芯片退出强制升级模式标志",
    "           force: -f 后面紧跟的退出强制升级模式参数，1 或 true 为退出强制升级控制",
    "=============================================================================================="
    "==================",
};

// Aligned like the help lines above them.
const std::vector<std::string> kEnglishMoreHelp = {
    "Options and commands added to the above (on the command line and at the prompt):",
    "       vid, pid: 0 is refused by dfu, ctrl and cv (it would match any device)",
    "  --serial S: only the device with the USB serial number S (dfu, ctrl, cv)",
    "    --port P: only the device at the USB port P, as \"list\" shows it (dfu, ctrl, cv)",
    "      --json: one line of JSON on standard output per result instead of the text",
    "       An option and its value are two arguments (--port 1-3.3, -c 0); an unknown option "
    "refuses the command",
    "    ctrl: ctrl vid pid -n inum -r reset -f force  (-r 1: restart the device; -f 1: take it "
    "out of the forced upgrade mode)",
    "    list: list [vid [pid]] [--json]  the HID interfaces present (vid or pid 0: any); nothing "
    "is sent",
    "      cv: cv vid pid [-n inum] [--serial S] [--port P] [--json]  read the firmware version "
    "of the named device",
    "    language: language 0 shows Chinese, language 1 (any other number) English",
    "   --station: dfu on the command line: update every matching device plugged in, one per "
    "USB port (--jobs N, --count N, --port P1,P2,..., --reflash, --log FILE)",
    "  quorvel-dfu --help: this help; quorvel-dfu --version: the tool version",
};

const std::vector<std::string> kChineseMoreHelp = {
    "以上之外新增的选项和命令（命令行和提示符下均可用）：",
    "       vid, pid: dfu、ctrl 和 cv 不接受 0（0 会匹配任意设备）",
    "  --serial S: 只使用 USB 序列号为 S 的设备（dfu、ctrl、cv）",
    "    --port P: 只使用 USB 端口 P 上的设备，端口写法同 \"list\" 的显示（dfu、ctrl、cv）",
    "      --json: 每个结果在标准输出上输出一行 JSON，代替文本",
    "       选项和它的值是两个参数（--port 1-3.3，-c 0）；未知选项会使命令被拒绝",
    "    list: list [vid [pid]] [--json]  列出现有的 HID 接口（vid 或 pid 为 0 "
    "表示任意），不向设备发送任何数据",
    "      cv: cv vid pid [-n inum] [--serial S] [--port P] [--json]  读取指定设备的固件版本信息",
    "    language: language 0 显示中文，language 1（或其他非 0 数字）显示英文",
    "   --station: 仅限命令行的 dfu：更新每个插入的匹配设备，每个 USB 端口一个"
    "（--jobs N、--count N、--port P1,P2,...、--reflash、--log FILE）",
    "  quorvel-dfu --help：本帮助；quorvel-dfu --version：工具版本",
};

}  // namespace

const char* MessageUtf8(Msg id, bool english) {
  for (const MessagePair& pair : kMessages) {
    if (pair.id == id)
      return english ? pair.english : pair.chinese;
  }
  return "";
}

const std::vector<std::string>& HelpLinesUtf8(bool english) {
  return english ? kEnglishHelp : kChineseHelp;
}

const std::vector<std::string>& MoreHelpLinesUtf8(bool english) {
  return english ? kEnglishMoreHelp : kChineseMoreHelp;
}
