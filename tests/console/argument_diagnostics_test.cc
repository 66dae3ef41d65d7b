// The line after ": Parameter error!" that names the rejected argument and
// says why it was rejected, as the prompt prints it.
#include "console/argument_diagnostics.h"

#include <nlohmann/json.hpp>

#include "console/arguments.h"
#include "console/program.h"
#include "firmware_builder.h"
#include "image/temp_files.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"

namespace {

using Strings = std::vector<std::string>;

const char kParameterError[] = ">> : Parameter error!\n";
const char kParameterErrorZh[] = ">> ：参数错误！\n";

struct Case {
  std::string line;    // as typed at the prompt
  std::string reason;  // the diagnostic line without ">> " and line end
};

class ArgumentDiagnosticsTest : public DfuTest {
 protected:
  void SetUp() override {
    DfuTest::SetUp();
    ASSERT_TRUE(files_.ok());
    // Mixed case in the paths: the prompt keeps the case of -d and -t values,
    // and the diagnostic line must show the path that was actually tried.
    missing_ = files_.Path("Missing.BIN");
    directory_ = files_.MakeDirectory("Dir");
    garbage_ = files_.Write("Garbage.bin", std::vector<uint8_t>(100, 0x5A));
    empty_ = files_.Write("Empty.bin", {});
    ASSERT_FALSE(directory_.empty() || garbage_.empty() || empty_.empty());
  }

  // Types the lines at the prompt (then end of input) and returns what
  // followed the banner and help.
  std::string Prompt(const std::string& language, const std::vector<Case>& cases) {
    g_virtual.language = language;
    for (const Case& c : cases)
      g_virtual.input.push_back(c.line);
    EXPECT_EQ(RunProgram({}), 0);
    return TakeOutput();
  }

  static std::string Expected(const char* parameterError, const std::vector<Case>& cases) {
    std::string expected;
    for (const Case& c : cases)
      expected += std::string(">> ") + parameterError + ">> " + c.reason + "\n";
    return expected + ">> \n";
  }

  static void ExpectTail(const std::string& out, const std::string& expected) {
    ASSERT_GE(out.size(), expected.size()) << out;
    EXPECT_EQ(out.substr(out.size() - expected.size()), expected);
  }

  TempFiles files_;
  std::string missing_;
  std::string directory_;
  std::string garbage_;
  std::string empty_;
};

TEST_F(ArgumentDiagnosticsTest, EveryReasonNamesWhatWasRejected) {
  const std::vector<Case> cases = {
      {"dfu 248a", ": vid and pid are required"},
      {"dfu", ": vid and pid are required"},
      {"dfu zz 8266 -s 4", ": not a number: zz"},
      {"dfu 248a 10000 -s 4", ": value out of range: 10000"},
      {"DFU 248A 8266 -N 6", ": value out of range: -n 6"},
      {"dfu 248a 8266 -w x", ": not a number: -w x"},
      {"dfu 248a 8266 -b 100", ": value out of range: -b 100"},
      {"dfu 248a 8266 -s 99999999999", ": value out of range: -s 99999999999"},
      {"dfu 248a 8266 -d " + missing_, ": file not found or unreadable: -d " + missing_},
      {"dfu 248a 8266 -d " + directory_, ": not a regular file: -d " + directory_},
      {"dfu 248a 8266 -d " + garbage_,
       ": no valid firmware image (or digest mismatch) in: -d " + garbage_},
      {"dfu 248a 8266 -t " + empty_,
       ": passthrough program is empty or larger than 131072 bytes: -t " + empty_},
      {"dfu 248a 8266 -s 0", ": this chip platform needs a program file (-d, or -t for 4)"},
      {"ctrl 248a 8266 -n 1", ": ctrl needs -r or -f with the value 1 or true"},
      {"ctrl 248a 8266 -r 0 -f false", ": ctrl needs -r or -f with the value 1 or true"},
      // The first rejected value is the one named, even in ctrl.
      {"ctrl 248a 8266 -n 7 -r 0", ": value out of range: -n 7"},
      {"dfu 248a 8266 -s 4 --serial", ": a serial number or USB port cannot be empty: --serial"},
      {"ctrl 248a 8266 --port \"\" -r 1", ": a serial number or USB port cannot be empty: --port"},
  };
  ExpectTail(Prompt("en", cases), Expected(kParameterError, cases));
}

TEST_F(ArgumentDiagnosticsTest, ChineseReasons) {
  const std::vector<Case> cases = {
      {"dfu 248a", "：必须设置 vid 和 pid"},
      {"dfu 248a qq -s 4", "：不是数字：qq"},
      {"dfu 248a 8266 -c 2", "：数值超出范围：-c 2"},
      {"dfu 248a 8266 -d " + missing_, "：文件不存在或无法读取：-d " + missing_},
      {"dfu 248a 8266 -d " + directory_, "：不是普通文件：-d " + directory_},
      {"dfu 248a 8266 -d " + garbage_, "：没有有效的固件映像（或摘要不匹配）：-d " + garbage_},
      {"dfu 248a 8266 -t " + empty_, "：透传设备程序为空或大于 131072 字节：-t " + empty_},
      {"dfu 248a 8266 -s 2", "：该芯片平台需要程序文件（-d，平台 4 可用 -t）"},
      {"ctrl 248a 8266", "：ctrl 需要 -r 或 -f，值为 1 或 true"},
      {"dfu 248a 8266 --port", "：序列号或 USB 端口不能为空：--port"},
  };
  ExpectTail(Prompt("zh", cases), Expected(kParameterErrorZh, cases));
}

TEST_F(ArgumentDiagnosticsTest, FollowsTheLanguageSwitch) {
  g_virtual.language = "en";
  g_virtual.input = {"dfu 248a 8266 -i 2", "language 0", "dfu 248a 8266 -i 2"};
  EXPECT_EQ(RunProgram({}), 0);
  ExpectTail(TakeOutput(), std::string(">> ") + kParameterError +
                               ">> : value out of range: -i 2\n>> >> " + kParameterErrorZh +
                               ">> ：数值超出范围：-i 2\n>> \n");
}

TEST_F(ArgumentDiagnosticsTest, SilentWithoutLoggingAndInCommandLineMode) {
  g_virtual.language = "en";
  g_virtual.input = {"log 0", "dfu 248a 8266 -n 6", "log 1"};
  EXPECT_EQ(RunProgram({}), 0);
  ExpectTail(TakeOutput(), ">> >> >> >> \n");
  // Rejected command-line arguments start the prompt without any word about
  // them: neither the parameter error nor its reason.
  g_virtual.input = {"exit"};
  EXPECT_EQ(RunProgram({"248a", "8266", "-n", "6"}), 0);
  std::string out = TakeOutput();
  EXPECT_EQ(out.find("Parameter error"), std::string::npos);
  EXPECT_EQ(out.find("out of range"), std::string::npos);
}

// A script that asked for --json gets one line with the reason in English,
// whatever the language, and no prompt: the input that would run a command
// there is never read.
TEST_F(ArgumentDiagnosticsTest, ARefusedJsonCommandLineIsOneLineWithoutAPrompt) {
  struct Row {
    std::string language;
    Strings args;
    std::string reason;
  } rows[] = {
      {"en", {"248a", "8266", "-n", "6", "--json"}, "value out of range: -n 6"},
      {"zh",
       {"248a", "8266", "--json", "-d", missing_},
       "file not found or unreadable: -d " + missing_},
      {"zh",
       {"248a", "8266", "--json"},
       "this chip platform needs a program file (-d, or -t for 4)"},
      {"en", {"--json"}, "vid and pid are required"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    g_virtual.language = row.language;
    g_virtual.input = {"ctrl 248a 8266 -r 1"};
    EXPECT_EQ(RunProgram(row.args), kUsageErrorStatus);
    const std::string out = TakeOutput();
    const nlohmann::json line = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(line.is_object()) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    EXPECT_EQ(line["result"], "refused");
    EXPECT_EQ(line["reason"], row.reason);
    EXPECT_EQ(g_virtual.input.size(), 1u);
    // People still read why on standard error, in their language.
    EXPECT_NE(TakeErrors().find("nothing was run"), std::string::npos);
  }
}

TEST_F(ArgumentDiagnosticsTest, NothingWhenNoReasonIsKnown) {
  // An accepted parse carries no reason.
  const ParseResult rejected = ParseDfuArguments({"248a", "8266", "-n", "9"}, kCtrlMode);
  EXPECT_FALSE(rejected);
  PrintArgumentRejection(rejected.rejection);
  EXPECT_EQ(TakeOutput(), ">> : value out of range: -n 9\n");
  const ParseResult accepted = ParseDfuArguments({"248a", "8266", "-r", "1"}, kCtrlMode);
  EXPECT_TRUE(accepted);
  PrintArgumentRejection(accepted.rejection);
  EXPECT_EQ(TakeOutput(), "");
  PrintArgumentRejection(ArgumentRejection{});
  EXPECT_EQ(TakeOutput(), "");
  // With logging off even a known reason is not printed.
  LogEnabled = 0;
  PrintArgumentRejection({ArgumentError::kNotANumber, "zz"});
  EXPECT_EQ(TakeOutput(), "");
}

}  // namespace
