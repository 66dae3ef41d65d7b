// The line after ": Parameter error!" that names the rejected argument and
// says why it was rejected, as the prompt prints it: the parameter error on
// standard output as ever, the reason on standard error.
#include "console/argument_diagnostics.h"

#include <unistd.h>

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
    // 2 GiB, sparse: no disk is used.
    huge_ = files_.Write("Huge.bin", {0x5A});
    ASSERT_FALSE(directory_.empty() || garbage_.empty() || empty_.empty() || huge_.empty());
    ASSERT_EQ(truncate(huge_.c_str(), int64_t{1} << 31), 0);
  }

  // Types the lines at the prompt (then end of input) and returns what
  // followed the banner and help; standard error in errors_.
  std::string Prompt(const std::string& language, const std::vector<Case>& cases) {
    g_virtual.language = language;
    for (const Case& c : cases)
      g_virtual.input.push_back(c.line);
    EXPECT_EQ(RunProgram({}), 0);
    errors_ = TakeErrors();
    return TakeOutput();
  }

  // Standard output: the prompt and the parameter error for each line.
  static std::string Expected(const char* parameterError, const std::vector<Case>& cases) {
    std::string expected;
    for (size_t i = 0; i < cases.size(); ++i)
      expected += std::string(">> ") + parameterError;
    return expected + ">> \n";
  }
  // Standard error: one reason for each line.
  static std::string ExpectedErrors(const std::vector<Case>& cases) {
    std::string expected;
    for (const Case& c : cases)
      expected += "quorvel-dfu" + c.reason + "\n";
    return expected;
  }

  static void ExpectTail(const std::string& out, const std::string& expected) {
    ASSERT_GE(out.size(), expected.size()) << out;
    EXPECT_EQ(out.substr(out.size() - expected.size()), expected);
  }

  std::string errors_;
  TempFiles files_;
  std::string missing_;
  std::string directory_;
  std::string garbage_;
  std::string empty_;
  std::string huge_;
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
      {"dfu 248a 8266 -s 3 -d " + huge_,
       ": program file too large (2147483648 bytes, the limit is 2147483647 bytes): -d " + huge_},
      {"dfu 248a 8266 -t " + empty_,
       ": passthrough program is empty or larger than 131072 bytes: -t " + empty_},
      {"dfu 248a 8266 -s 0", ": this chip platform needs a program file (-d, or -t for 4)"},
      {"ctrl 248a 8266 -n 1", ": ctrl needs -r or -f with the value 1 or true"},
      {"ctrl 248a 8266 -r 0 -f false", ": ctrl needs -r or -f with the value 1 or true"},
      // The first rejected value is the one named, even in ctrl.
      {"ctrl 248a 8266 -n 7 -r 0", ": value out of range: -n 7"},
      {"dfu 248a 8266 -s 4 --serial", ": a serial number or USB port cannot be empty: --serial"},
      {"ctrl 248a 8266 --port \"\" -r 1", ": a serial number or USB port cannot be empty: --port"},
      // (With --json the line gets its refused line too; see below.)
      {"dfu 248a 8266 -d " + garbage_ + " --port=1-3.3 -c 0",
       ": an option and its value are two arguments: --port=1-3.3 (write: --port 1-3.3)"},
      {"dfu 248a 8266 -d " + garbage_ + " -c0 --port 1-3.3",
       ": an option and its value are two arguments: -c0 (write: -c 0)"},
      {"ctrl 248a 8266 -x 1 -r 1", ": unknown option (no command takes it): -x"},
      {"dfu 0 0 -d " + garbage_ + " -c 0",
       ": a vendor or product ID of 0 would match any device: 0"},
      {"dfu 248a 0x0000 -s 4", ": a vendor or product ID of 0 would match any device: 0x0000"},
      {"dfu 248a 8266 -b 0x100", ": the value is decimal, not hexadecimal: -b 0x100"},
      {"ctrl 248a 8266 -r yes",
       ": -r and -f act with the value 1 or true (0 or false: nothing); not: -r yes"},
  };
  ExpectTail(Prompt("en", cases), Expected(kParameterError, cases));
  EXPECT_EQ(errors_, ExpectedErrors(cases));
}

TEST_F(ArgumentDiagnosticsTest, ChineseReasons) {
  const std::vector<Case> cases = {
      {"dfu 248a", "：必须设置 vid 和 pid"},
      {"dfu 248a qq -s 4", "：不是数字：qq"},
      {"dfu 248a 8266 -c 2", "：数值超出范围：-c 2"},
      {"dfu 248a 8266 -d " + missing_, "：文件不存在或无法读取：-d " + missing_},
      {"dfu 248a 8266 -d " + directory_, "：不是普通文件：-d " + directory_},
      {"dfu 248a 8266 -d " + garbage_, "：没有有效的固件映像（或摘要不匹配）：-d " + garbage_},
      {"dfu 248a 8266 -d " + huge_,
       "：程序文件过大（2147483648 字节，上限为 2147483647 字节）：-d " + huge_},
      {"dfu 248a 8266 -t " + empty_, "：透传设备程序为空或大于 131072 字节：-t " + empty_},
      {"dfu 248a 8266 -s 2", "：该芯片平台需要程序文件（-d，平台 4 可用 -t）"},
      {"ctrl 248a 8266", "：ctrl 需要 -r 或 -f，值为 1 或 true"},
      {"dfu 248a 8266 --port", "：序列号或 USB 端口不能为空：--port"},
      {"dfu 248a 8266 --port=1-3.3",
       "：选项和它的值是两个参数：--port=1-3.3（应写作：--port 1-3.3）"},
      {"dfu 248a 8266 -q 1", "：未知选项（没有命令使用它）：-q"},
      {"ctrl 0x 8266 -r 1", "：厂商 ID 或产品 ID 为 0 会匹配任意设备：0x"},
      {"dfu 248a 8266 -b 0x200", "：该值是十进制数，不是十六进制数：-b 0x200"},
      {"ctrl 248a 8266 -f on",
       "：-r 和 -f 的值为 1 或 true 时执行（0 或 false 时不执行），不能是：-f on"},
  };
  ExpectTail(Prompt("zh", cases), Expected(kParameterErrorZh, cases));
  EXPECT_EQ(errors_, ExpectedErrors(cases));
}

TEST_F(ArgumentDiagnosticsTest, FollowsTheLanguageSwitch) {
  g_virtual.language = "en";
  g_virtual.input = {"dfu 248a 8266 -i 2", "language 0", "dfu 248a 8266 -i 2"};
  EXPECT_EQ(RunProgram({}), 0);
  ExpectTail(TakeOutput(),
             std::string(">> ") + kParameterError + ">> >> " + kParameterErrorZh + ">> \n");
  EXPECT_EQ(TakeErrors(),
            "quorvel-dfu: value out of range: -i 2\nquorvel-dfu：数值超出范围：-i 2\n");
}

TEST_F(ArgumentDiagnosticsTest, SilentWithoutLoggingAndInCommandLineMode) {
  g_virtual.language = "en";
  g_virtual.input = {"log 0", "dfu 248a 8266 -n 6", "log 1"};
  EXPECT_EQ(RunProgram({}), 0);
  ExpectTail(TakeOutput(), ">> >> >> >> \n");
  EXPECT_EQ(TakeErrors(), "");
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

// At the prompt a refused line that asked for --json gets its line after
// the parameter error, and the prompt goes on; one without --json none.
TEST_F(ArgumentDiagnosticsTest, ARefusedJsonLineAtThePromptGetsItsLine) {
  g_virtual.language = "en";
  g_virtual.input = {"dfu 248a 8266 -n 6 --json", "dfu 248a 8266 -n 6"};
  EXPECT_EQ(RunProgram({}), 0);
  const std::string out = TakeOutput();
  const std::string lead = std::string(">> ") + kParameterError;
  const size_t at = out.find(lead);
  ASSERT_NE(at, std::string::npos) << out;
  const size_t lineEnd = out.find('\n', at + lead.size());
  ASSERT_NE(lineEnd, std::string::npos) << out;
  const nlohmann::json line = nlohmann::json::parse(
      out.substr(at + lead.size(), lineEnd - at - lead.size()), nullptr, false);
  ASSERT_TRUE(line.is_object()) << out;
  EXPECT_EQ(line["result"], "refused");
  EXPECT_EQ(line["reason"], "value out of range: -n 6");
  EXPECT_EQ(out.substr(lineEnd + 1), std::string(">> ") + kParameterError + ">> \n");
}

TEST_F(ArgumentDiagnosticsTest, NothingWhenNoReasonIsKnown) {
  // An accepted parse carries no reason.
  const ParseResult rejected = ParseDfuArguments({"248a", "8266", "-n", "9"}, kCtrlMode);
  EXPECT_FALSE(rejected);
  PrintArgumentRejection(rejected.rejection);
  EXPECT_EQ(TakeErrors(), "quorvel-dfu: value out of range: -n 9\n");
  const ParseResult accepted = ParseDfuArguments({"248a", "8266", "-r", "1"}, kCtrlMode);
  EXPECT_TRUE(accepted);
  PrintArgumentRejection(accepted.rejection);
  EXPECT_EQ(TakeErrors(), "");
  PrintArgumentRejection(ArgumentRejection{});
  EXPECT_EQ(TakeErrors(), "");
  // With logging off even a known reason is not printed.
  LogEnabled = 0;
  PrintArgumentRejection({ArgumentError::kNotANumber, "zz"});
  EXPECT_EQ(TakeErrors(), "");
  EXPECT_EQ(TakeOutput(), "");
}

// The reason a result line carries: English whatever the language, without
// the separator the text lines start with.
TEST_F(ArgumentDiagnosticsTest, TheEnglishReasonForAResultLine) {
  UiLanguage = 0;
  const std::pair<ArgumentRejection, std::string> rows[] = {
      {{ArgumentError::kJoinedValue, "--port=1-3.3"},
       "an option and its value are two arguments: --port=1-3.3 (write: --port 1-3.3)"},
      {{ArgumentError::kZeroDeviceId, "0x"},
       "a vendor or product ID of 0 would match any device: 0x"},
      {{ArgumentError::kMissingVidPid, ""}, "vid and pid are required"},
      {{ArgumentError::kNotForCv, "-d"},
       "cv takes only vid pid, -n, --serial, --port and --json, not: -d"},
      {{ArgumentError::kNotForList, "-n"}, "list takes only vid, pid and --json, not: -n"},
      {{ArgumentError::kNeedsStation, "--jobs 4"}, "this option needs --station: --jobs 4"},
      {{ArgumentError::kStationOnCommandLine, "--station"},
       "the station runs from the command line only: --station"},
      {{ArgumentError::kNone, "x"}, ""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(RejectionReasonEnglish(row.first), row.second) << row.first.argument;
}

}  // namespace
