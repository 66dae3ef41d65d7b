// The help text, byte for byte, in both languages and both console encodings.
#include "output/help_text.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/log_printers.h"
#include "support/virtual_platform.h"

namespace {

const char* const kEnglish[] = {
    u8"============================================================================================"
    u8"====================",
    u8"Support commands:",
    u8"   help: View command help",
    u8"      v: View tool version information",
    u8"     cv: Read the firmware version of the device",
    u8"   exit: quit",
    u8"    dfu: DFU command",
    u8"       Command format：dfu vid pid -n inum -b bsize -w intv -s chip_p -d pg_path -t "
    u8"trans_pg_path -c check -i sort",
    u8"       vid: The value is a hexadecimal value ranging from 0 to FFFF. This parameter is "
    u8"mandatory",
    u8"       pid: The value is a hexadecimal value ranging from 0 to FFFF. This parameter is "
    u8"mandatory",
    u8"        -n: To set the USB port number parameter flag",
    u8"           inum: -n The value ranges from -1 to 5. The value is optional. inum is -1 by "
    u8"default",
    u8"        -b: To set the DFU device cache size flag",
    u8"           bsize: -b The value of the cache size can be 62, 128, 256, 384, or 512. The "
    u8"default value of bsize is 256",
    u8"        -w: To set the minimum DFU communication interval flag",
    u8"           intv: -w The value ranges from 0 to 1000. This parameter is optional. intv is 0 "
    u8"by default",
    u8"        -s: To set the DFU chip platform flag",
    u8"           chip_p: -s The following chip platform parameter ranges from 0 to 4. chip_p is "
    u8"set to 4 by default",
    u8"                0: It is TQ3410",
    u8"                1: It is TQ520x HSK V1.0.2 or earlier",
    u8"                2: It is TQ520x HSK V1.1.0 ",
    u8"                3: It is TQ52xx MSK ",
    u8"                4: It is TQ520x HSK V1.2.0 above version",
    u8"        -d: To set the DFU default device program flag",
    u8"           pg_path: -d If chip_p is set to 0 to 3, chip_p is mandatory. If chip_p is set to "
    u8"4, chip_p and trans_pg_path must be set at least one",
    u8"        -t: To set the DFU passthrough device program flag",
    u8"           trans_pg_path: -d The program path of the transparent device followed by chip_p "
    u8"is valid when chip_p is set to 4. It is optional, but at least one of the program path and "
    u8"pg_path must be set",
    u8"        -c: To set the DFU waiting for reboot verification update version information flag",
    u8"           check: -c The value can be 0 or 1. The default value is 1",
    u8"                0: The verification function cannot be enabled",
    u8"                1: Enable the verification",
    u8"        -i: In order to set the DFU chip platform when TQ520x HSK V1.0.2 or later, download "
    u8"the program Controller and App download sequence flag of Controller + App",
    u8"           sort: -i The following download Controller and APP sequence parameters can be "
    u8"set to 0, 1, and the default is 0",
    u8"                0: Download the Controller first and then the App",
    u8"                1: Download the App first and then the Controller",
    u8"============================================================================================"
    u8"===================="};

const char* const kChinese[] = {
    u8"============================================================================================"
    u8"====================",
    u8"支持命令: ",
    u8"   help: 查看命令帮助",
    u8"      v: 查看工具版本信息",
    u8"     cv: 读取设备固件版本信息",
    u8"   exit: 退出",
    u8"    dfu: DFU 命令",
    u8"       命令格式：dfu vid pid -n inum -b bsize -w intv -s chip_p -d pg_path -t trans_pg_path "
    u8"-c check -i sort",
    u8"       vid: 设备 VID 值，十六进制数，范围 0 ~ FFFF, 必须设置",
    u8"       pid: 设备 PID 值，十六进制数，范围 0 ~ FFFF，必须设置",
    u8"        -n: 为设置 USB 接口编号参数标志",
    u8"           inum: -n 后面紧跟的接口编号参数，范围 -1 ~ 5，可选设置，inum 默认为 -1",
    u8"        -b: 为设置 DFU 设备缓存大小标志",
    u8"           bsize: -b 后面紧跟的设备缓存大小参数，可设置值 "
    u8"62、128、256、384、512，可选设置，bsize 默认为 256",
    u8"        -w: 为设置 DFU 通讯间最小间隔标志",
    u8"           intv: -w 后面紧跟的通讯间最小间隔参数，范围 0 ~ 1000，可选设置，intv 默认为 0",
    u8"        -s: 为设置 DFU 芯片平台标志",
    u8"           chip_p: -s 后面紧跟的芯片平台参数，范围 0 ~ 4，可选设置，chip_p 默认为 4",
    u8"                0: 为 TQ3410",
    u8"                1: 为 TQ520x HSK V1.0.2 以下版本",
    u8"                2: 为 TQ520x HSK V1.1.0",
    u8"                3: 为 TQ52xx MSK",
    u8"                4: 为 TQ520x HSK V1.2.0 以上版本",
    u8"        -d: 为设置 DFU 默认设备程序标志",
    u8"           pg_path: -d 后面紧跟的默认设备程序路径参数，chip_p 为 0 ~ 3 时，必选设置，为 4 "
    u8"时可选设置，但与 trans_pg_path 至少需要设置一个以上",
    u8"        -t: 为设置 DFU 透传设备程序标志",
    u8"           trans_pg_path: -d 后面紧跟的透传设备程序路径参数，chip_p 为 4 "
    u8"时有效，可选设置，但与 pg_path 至少需要设置一个以上",
    u8"        -c: 为设置 DFU 等待重启校验更新版本信息标志",
    u8"           check: -c 后面紧跟的等待重启校验更新版本信息参数, 可设置值 0、1，默认为 1",
    u8"                0: 不能使能校验 ",
    u8"                1: 能使校验 ",
    u8"        -i: 为设置 DFU 芯片平台在为 TQ520x HSK V1.0.2 以下版本时，下载 Controller + App "
    u8"的程序 Controller 和 App 下载顺序标志",
    u8"           sort: -i 后面紧跟的下载 Controller 和 APP 顺序参数, 可设置值 0、1，默认为 0",
    u8"                0: 先下载 Controller 后下载 App",
    u8"                1: 先下载 App 后下载 Controller",
    u8"    ctrl: 控制芯片重启与退出强制升级模式命令",
    u8"       命令格式：ctrl vid pid -n inum -r reset -f force",
    u8"       vid: 设备 VID 值，十六进制数，范围 0 ~ FFFF, 必须设置",
    u8"       pid: 设备 PID 值，十六进制数，范围 0 ~ FFFF，必须设置",
    u8"        -n: 为设置 USB 接口编号参数标志",
    u8"           inum: -n 后面紧跟的接口编号参数，范围 -1 ~ 5，可选设置，inum 默认为 -1",
    u8"        -r: 为设置芯片重启参数标志",
    u8"           reset: -r 后面紧跟的重启参数，1 或 true 为重启芯片控制",
    u8"        -f: 为设置芯片退出强制升级模式标志",
    u8"           force: -f 后面紧跟的退出强制升级模式参数，1 或 true 为退出强制升级控制",
    u8"============================================================================================"
    u8"===================="};

// SHA-256 of the whole help output as GBK bytes, computed with an encoder
// independent of the one the program uses.
const char kEnglishGbkSha256[] = "291c134bb6a992b880f22caa468fbca4e41f60b87b061877e39fc0e35c9db9d8";
const char kChineseGbkSha256[] = "cc64fca9ecbf022516db3259c35b53acf36a1082552515b690f409bec8bdf5ba";

template <size_t N>
std::string Joined(const char* const (&lines)[N]) {
  std::string text;
  for (const char* line : lines)
    text += std::string(line) + "\n";
  return text;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  char pair[3];
  for (unsigned char b : digest) {
    snprintf(pair, sizeof(pair), "%02x", b);
    hex += pair;
  }
  return hex;
}

std::string HelpOutput(int32_t language, ConsoleEncoding encoding, uint8_t log) {
  ScopedVirtualPlatform platform;
  g_virtual.encoding = encoding;
  UiLanguage = language;
  LogEnabled = log;
  PrintHelp();
  std::string out = TakeOutput();
  ResetOutputState();
  return out;
}

TEST(HelpText, EnglishUtf8IsExact) {
  EXPECT_EQ(sizeof(kEnglish) / sizeof(kEnglish[0]), 36u);
  EXPECT_EQ(HelpOutput(1, ConsoleEncoding::kUtf8, 1), Joined(kEnglish));
}

TEST(HelpText, ChineseUtf8IsExact) {
  EXPECT_EQ(sizeof(kChinese) / sizeof(kChinese[0]), 46u);
  EXPECT_EQ(HelpOutput(0, ConsoleEncoding::kUtf8, 1), Joined(kChinese));
}

TEST(HelpText, GbkConsoleGetsGbkBytes) {
  EXPECT_EQ(Sha256Hex(HelpOutput(1, ConsoleEncoding::kGbk, 1)), kEnglishGbkSha256);
  EXPECT_EQ(Sha256Hex(HelpOutput(0, ConsoleEncoding::kGbk, 1)), kChineseGbkSha256);
  // The full-width colon of the English format line is the two bytes A3 BA.
  std::string english = HelpOutput(1, ConsoleEncoding::kGbk, 1);
  EXPECT_NE(english.find("       Command format\xA3\xBA"
                         "dfu vid pid"),
            std::string::npos);
  std::string chinese = HelpOutput(0, ConsoleEncoding::kGbk, 1);
  EXPECT_EQ(chinese.substr(113, 11), "\xD6\xA7\xB3\xD6\xC3\xFC\xC1\xEE: \n");
}

// --help: the help byte for byte, then what it leaves out, in the user's
// language; the prompt's help stays the specified lines alone.
TEST(HelpText, CommandLineHelpAddsTheNewOptionsAfterTheHelp) {
  struct Row {
    int32_t language;
    std::string help;
    std::vector<std::string> added;
  } rows[] = {
      {1,
       Joined(kEnglish),
       {"--serial S", "--port P", "--json", "--events", "--skip-current",
        "list [vid [pid]] [--json]", "cv vid pid [-n inum] [--serial S] [--port P] [--json]",
        "quorvel-dfu --help", "quorvel-dfu --version",
        "language 0 shows Chinese, language 1 (any other number) English",
        "0 is refused by dfu, ctrl and cv", "--port 1-3.3, -c 0", "ctrl vid pid -n inum"}},
      {0,
       Joined(kChinese),
       {"--serial S", "--port P", "--json", "--events", "--skip-current",
        "list [vid [pid]] [--json]", "cv vid pid [-n inum] [--serial S] [--port P] [--json]",
        "quorvel-dfu --help", "quorvel-dfu --version",
        u8"language 0 显示中文，language 1（或其他非 0 数字）显示英文", u8"不接受 0",
        u8"--port 1-3.3，-c 0"}},
  };
  for (const Row& row : rows) {
    ScopedVirtualPlatform platform;
    UiLanguage = row.language;
    LogEnabled = 0;
    PrintCommandLineHelp();
    const std::string out = TakeOutput();
    ASSERT_GT(out.size(), row.help.size());
    EXPECT_EQ(out.substr(0, row.help.size()), row.help);
    const std::string added = out.substr(row.help.size());
    for (const std::string& text : row.added)
      EXPECT_NE(added.find(text), std::string::npos) << row.language << ": " << text;
    // The other language's words are not mixed in.
    EXPECT_EQ(added.find(row.language ? u8"设备" : "device"), std::string::npos) << added;
    PrintHelp();
    EXPECT_EQ(TakeOutput(), row.help);
    ResetOutputState();
  }
}

TEST(HelpText, PrintedInFullWithLoggingOffAndFlushedPerLine) {
  ScopedVirtualPlatform platform;
  UiLanguage = 1;
  LogEnabled = 0;
  PrintHelp();
  EXPECT_EQ(TakeOutput(), Joined(kEnglish));
  EXPECT_EQ(g_virtual.flushes, 36);
  ResetOutputState();
}

}  // namespace
