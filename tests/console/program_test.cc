// The program's entry and the interactive prompt.
#include "console/program.h"

#include <gtest/gtest.h>

#include "console/arguments.h"
#include "console/command.h"
#include "console/dfu_settings.h"
#include "console/interruption.h"
#include "output/log_printers.h"
#include "platform/platform.h"
#include "support/emulated_device_fixture.h"

namespace {

using Tokens = std::vector<std::string>;

class ProgramTest : public EmulatedDeviceTest {
 protected:
  void SetUp() override {
    EmulatedDeviceTest::SetUp();
    ResetOutputState();
    ControlFlags = ControlFlagsRecord();
  }
  void TearDown() override {
    ResetOutputState();
    EmulatedDeviceTest::TearDown();
  }
  // Runs the program on the given input lines; returns what it printed
  // after the banner and help.
  std::string Run(const Tokens& arguments, const Tokens& lines, int* status = nullptr) {
    g_virtual.language = "en";
    for (const std::string& line : lines)
      g_virtual.input.push_back(line);
    int result = RunProgram(arguments);
    if (status != nullptr)
      *status = result;
    std::string out = TakeOutput();
    size_t helpEnd = out.find(std::string(112, '=') + "\n", 200);
    return helpEnd == std::string::npos ? out : out.substr(helpEnd + 113);
  }
};

TEST_F(ProgramTest, SplitTokensCutsAtSpacesOnlyAndKeepsEmptyTokens) {
  EXPECT_EQ(SplitTokens(""), Tokens{});
  EXPECT_EQ(SplitTokens("dfu 248a"), (Tokens{"dfu", "248a"}));
  EXPECT_EQ(SplitTokens("dfu  248a"), (Tokens{"dfu", "", "248a"}));
  EXPECT_EQ(SplitTokens(" v"), (Tokens{"", "v"}));
  EXPECT_EQ(SplitTokens("v "), (Tokens{"v"}));
  EXPECT_EQ(SplitTokens("v  "), (Tokens{"v", ""}));
  EXPECT_EQ(SplitTokens("a\tb c"), (Tokens{"a\tb", "c"}));
  EXPECT_EQ(SplitTokens(std::string("a\0b c", 5)), (Tokens{std::string("a\0b", 3), "c"}));
}

TEST_F(ProgramTest, SplitTokensADoubleQuotedStretchKeepsItsBlanks) {
  EXPECT_EQ(SplitTokens("dfu 1 2 -d \"fw/my fw.bin\" -n 1"),
            (Tokens{"dfu", "1", "2", "-d", "\"fw/my fw.bin\"", "-n", "1"}));
  EXPECT_EQ(SplitTokens("-d C:\\\"My Files\"\\fw.bin x"),
            (Tokens{"-d", "C:\\\"My Files\"\\fw.bin", "x"}));
  // Two stretches, blanks between them, an unclosed one to the end.
  EXPECT_EQ(SplitTokens("\"a b\"  \"c d\""), (Tokens{"\"a b\"", "", "\"c d\""}));
  EXPECT_EQ(SplitTokens("x \"open to  the end "), (Tokens{"x", "\"open to  the end "}));
}

TEST_F(ProgramTest, LowercaseLineLowersAllButTheFileValuesOfDfu) {
  EXPECT_EQ(LowercaseLine("EXIT", PromptCase::kValuesKeepCase), "exit");
  EXPECT_EQ(LowercaseLine("DFU 248A 8266 -S 2 -D /Tmp/Fw.BIN -T Pass.Bin -C 0",
                          PromptCase::kValuesKeepCase),
            "dfu 248a 8266 -s 2 -d /Tmp/Fw.BIN -t Pass.Bin -c 0");
  // A -d standing in a value position is a value, not an option name.
  EXPECT_EQ(LowercaseLine("dfu 1 2 -n -D X Y", PromptCase::kValuesKeepCase), "dfu 1 2 -n -d x y");
  EXPECT_EQ(LowercaseLine("CTRL 248A 8266 -D Keep", PromptCase::kValuesKeepCase),
            "ctrl 248a 8266 -d keep");
  EXPECT_EQ(LowercaseLine("dfu  A  -D Z ", PromptCase::kValuesKeepCase), "dfu  a  -d z ");
  EXPECT_EQ(LowercaseLine("\xC3\x89t\xC3\xA9 ABC", PromptCase::kValuesKeepCase),
            "\xC3\x89t\xC3\xA9 abc");
  EXPECT_EQ(
      LowercaseLine("DFU 1 2 -D \"My Dir/Fw.BIN\" -T \"A B\" -N 1", PromptCase::kValuesKeepCase),
      "dfu 1 2 -d \"My Dir/Fw.BIN\" -t \"A B\" -n 1");
}

// Serial numbers have upper-case letters: --serial and --port keep their
// values' case in dfu and ctrl, and --json, which takes no value, does not
// shift the option pairs after it.
TEST_F(ProgramTest, LowercaseLineKeepsSerialAndPortValues) {
  EXPECT_EQ(LowercaseLine("DFU 248A 8266 --SERIAL QvAb12 --Port 1-2.3 -D Fw.Bin",
                          PromptCase::kValuesKeepCase),
            "dfu 248a 8266 --serial QvAb12 --port 1-2.3 -d Fw.Bin");
  EXPECT_EQ(
      LowercaseLine("CTRL 248A 8266 --serial QvAb12 -R 1 -D Keep", PromptCase::kValuesKeepCase),
      "ctrl 248a 8266 --serial QvAb12 -r 1 -d keep");
  EXPECT_EQ(LowercaseLine("dfu 1 2 --JSON -D Fw.Bin --serial Ab -S 4", PromptCase::kValuesKeepCase),
            "dfu 1 2 --json -d Fw.Bin --serial Ab -s 4");
  EXPECT_EQ(LowercaseLine("ctrl 1 2 --json --port X -F TRUE", PromptCase::kValuesKeepCase),
            "ctrl 1 2 --json --port X -f true");
  EXPECT_EQ(LowercaseLine("dfu 1 2 --EVENTS --serial Ab --skip-current -D Fw.Bin",
                          PromptCase::kValuesKeepCase),
            "dfu 1 2 --events --serial Ab --skip-current -d Fw.Bin");
  // Only as option names: a value "--serial" is not one.
  EXPECT_EQ(LowercaseLine("dfu 1 2 -n --serial AB CD", PromptCase::kValuesKeepCase),
            "dfu 1 2 -n --serial ab cd");
  EXPECT_EQ(LowercaseLine("list --serial AB", PromptCase::kValuesKeepCase), "list --serial ab");
}

// Where the prompt lowercases whole lines (Windows), serial numbers typed
// there lose their case; they are then compared without regard to case.
TEST_F(ProgramTest, LowercaseLineOnPlatformsThatLowerEverything) {
  EXPECT_EQ(
      LowercaseLine("DFU 248A 8266 --serial QvAb12 -d C:\\Fw.BIN", PromptCase::kWholeLineLowered),
      "dfu 248a 8266 --serial qvab12 -d c:\\fw.bin");
}

// The command the console hands down compares serials without regard to
// case exactly where its prompt lowered them.
TEST_F(ProgramTest, CommandSelectionFollowsThePromptsCaseRule) {
  DfuSettings.serial = "QvAb12";
  DfuSettings.port = "1-2";
  const Command command = CurrentCommand();
  EXPECT_EQ(command.selection.serial, "QvAb12");
  EXPECT_EQ(command.selection.port, "1-2");
  EXPECT_EQ(command.selection.serialIgnoresCase, kPromptCase == PromptCase::kWholeLineLowered);
#ifdef _WIN32
  EXPECT_TRUE(command.selection.serialIgnoresCase);
#else
  EXPECT_FALSE(command.selection.serialIgnoresCase);
#endif
  DfuSettings = DfuSettingsRecord();
}

TEST_F(ProgramTest, BannerNameAndVersion) {
  EXPECT_EQ(BuildBanner(), "Quorvel DFU V0.0.7");
}

TEST_F(ProgramTest, EndOfInputEndsLikeExit) {
  int status = -1;
  g_virtual.language = "en";
  EXPECT_EQ(RunProgram({}), 0);
  std::string out = TakeOutput();
  EXPECT_EQ(out.substr(0, 19), "Quorvel DFU V0.0.7\n");
  EXPECT_EQ(out.substr(out.size() - 4), ">> \n");
  EXPECT_EQ(Run({}, {"EXIT", "v"}, &status), ">> ");
  EXPECT_EQ(status, 0);
}

TEST_F(ProgramTest, ExitMustBeTheWholeLine) {
  EXPECT_EQ(Run({}, {" exit", "exit ", "Exit"}), ">> >> >> ");
  EXPECT_EQ(Run({}, {" exit", "exit "}), ">> >> >> \n");
}

TEST_F(ProgramTest, VersionAndHelpInAnyCase) {
  std::string out = Run({}, {"V", "vX", "HeLp"});
  EXPECT_EQ(out.substr(0, 22), ">> Quorvel DFU V0.0.7\n");
  EXPECT_EQ(out.substr(22, 6), ">> >> ");
  EXPECT_NE(out.find("Support commands:"), std::string::npos);
}

TEST_F(ProgramTest, LanguageSwitchesAndRejectsNonNumbers) {
  std::string out = Run({}, {"language 0", "dfu", "language 5", "dfu", "language", "dfu",
                             "language x", "language 99999999999", "language 1x", "dfu"});
  // Each error line starts with ">> " of its own, after the prompt; the
  // reasons go to standard error, in the language of their moment.
  const std::string error = ">> : Parameter error!\n";
  const std::string missing = "quorvel-dfu: vid and pid are required\n";
  EXPECT_EQ(out,
            ">> >> >> \xEF\xBC\x9A\xE5\x8F\x82\xE6\x95\xB0\xE9\x94\x99\xE8\xAF\xAF\xEF\xBC\x81\n"
            ">> >> " +
                error + ">> >> " + error + ">> " + error + ">> " + error + ">> >> " + error +
                ">> \n");
  EXPECT_EQ(
      TakeErrors(),
      "quorvel-dfu\xEF\xBC\x9A\xE5\xBF\x85\xE9\xA1\xBB\xE8\xAE\xBE\xE7\xBD\xAE vid \xE5\x92\x8C "
      "pid\n" +
          missing + missing + missing);
}

TEST_F(ProgramTest, LogZeroSilencesParameterErrors) {
  EXPECT_EQ(Run({}, {"log 0", "dfu 248a 8266", "log x", "log 1", "dfu 248a"}),
            ">> >> >> >> >> >> : Parameter error!\n>> \n");
  EXPECT_EQ(TakeErrors(), "quorvel-dfu: vid and pid are required\n");
}

TEST_F(ProgramTest, DoubleSpaceGivesAnEmptyVid) {
  std::string out = Run({}, {"dfu  248a 8266 -s 0"});
  EXPECT_EQ(out.substr(0, 27), ">> >> : Parameter error!\n>>");
}

TEST_F(ProgramTest, RejectedArgumentsEnterThePromptWithTheReasonOnStandardError) {
  g_virtual.input.push_back("exit");
  g_virtual.language = "en";
  EXPECT_EQ(RunProgram({"248a", "8266", "-s", "9"}), 0);
  std::string out = TakeOutput();
  EXPECT_EQ(out.substr(0, 19), "Quorvel DFU V0.0.7\n");
  EXPECT_EQ(out.find("Parameter"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 3), ">> ");
  EXPECT_EQ(TakeErrors(),
            "quorvel-dfu: the command line was not accepted: value out of range: -s 9; the prompt "
            "starts instead (quorvel-dfu --help shows the options)\n");
}

TEST_F(ProgramTest, ARejectedCommandLineEndsWithStatus2WhenNothingRan) {
  g_virtual.language = "en";
  // End of input with no command run: a usage error for a script.
  EXPECT_EQ(RunProgram({"248a", "8266", "-s", "0", "-d", "nosuch.bin"}), 2);
  const std::string out = TakeOutput();
  EXPECT_EQ(TakeErrors(),
            "quorvel-dfu: the command line was not accepted: file not found or unreadable: -d "
            "nosuch.bin; the prompt starts instead (quorvel-dfu --help shows the options)\n");
  // Standard output is what it always was: banner, help, prompt.
  g_virtual.input.clear();
  EXPECT_EQ(RunProgram({}), 0);
  EXPECT_EQ(TakeOutput(), out);
  EXPECT_EQ(TakeErrors(), "");
  // Ended by exit, or after a command ran, the usual statuses stay.
  g_virtual.input.push_back("exit");
  EXPECT_EQ(RunProgram({"248a"}), 0);
  g_virtual.input.push_back("v");
  EXPECT_EQ(RunProgram({"248a"}), 2);
}

TEST_F(ProgramTest, CvWithoutDeviceReturnsToThePromptAfterOneScan) {
  EXPECT_EQ(Run({}, {"cv"}), ">> >> \n");
  // One 400 ms pause and one 200 ms settle: a single scan.
  EXPECT_EQ(g_virtual.sleeps, (std::vector<int32_t>{400, 200}));
}

TEST_F(ProgramTest, HostileLinesDoNotCrash) {
  std::string junk(100000, 'A');
  junk[5] = '\0';
  Tokens lines = {junk,
                  std::string("\xFF\xFE\x00 dfu", 7),
                  "\t\tdfu",
                  "dfu \xC0\xAF 2 -d \"",
                  "language -2147483649",
                  "log +2147483647",
                  "dfu 0x 0x -n"};
  std::string out = Run({}, lines);
  EXPECT_EQ(out.substr(out.size() - 4), ">> \n");
  EXPECT_EQ(LogEnabled, 1);
}

TEST_F(ProgramTest, HelpAndVersionOptionsPrintAndEnd) {
  g_virtual.language = "en";
  for (const char* option : {"--version", "-V"}) {
    EXPECT_EQ(RunProgram({option}), 0);
    EXPECT_EQ(TakeOutput(), "Quorvel DFU V0.0.7\n") << option;
  }
  for (const char* option : {"--help", "-h"}) {
    g_virtual.input.push_back("v");  // never read: no prompt starts
    EXPECT_EQ(RunProgram({option}), 0);
    std::string out = TakeOutput();
    EXPECT_NE(out.find("Support commands:"), std::string::npos) << option;
    EXPECT_EQ(out.find("Quorvel DFU V0.0.7"), std::string::npos) << option;
    EXPECT_EQ(out.find(">> "), std::string::npos) << option;
    EXPECT_EQ(g_virtual.input.size(), 1u);
    g_virtual.input.clear();
  }
  // Only as the first argument: elsewhere they are a rejected command line.
  g_virtual.input.push_back("exit");
  RunProgram({"248a", "--version"});
  EXPECT_NE(TakeOutput().find(">> "), std::string::npos);
}

// list and cv on the command line run, print and end; refused, they say
// why on standard error, print nothing on standard output and start no
// prompt.
TEST_F(ProgramTest, RefusedListAndCvCommandLinesEndWithoutThePrompt) {
  g_virtual.language = "en";
  struct Row {
    std::vector<std::string> args;
    std::string reason;
  } rows[] = {
      {{"list", "248a", "8266", "1"}, "list takes only vid, pid and --json, not: 1"},
      {{"list", "-n", "1"}, "list takes only vid, pid and --json, not: -n"},
      {{"list", "zz"}, "not a number: zz"},
      {{"list", "10000"}, "value out of range: 10000"},
      {{"cv"}, "vid and pid are required"},
      {{"cv", "248a", "0"}, "a vendor or product ID of 0 would match any device: 0"},
      {{"cv", "248a", "8266", "-c", "0"},
       "cv takes only vid pid, -n, --serial, --port and "
       "--json, not: -c"},
  };
  for (const Row& row : rows) {
    g_virtual.input = {"v"};
    EXPECT_EQ(RunProgram(row.args), 2) << row.reason;
    EXPECT_EQ(TakeOutput(), "") << row.reason;
    EXPECT_EQ(TakeErrors(), "quorvel-dfu: the command line was not accepted: " + row.reason + "\n");
    EXPECT_EQ(g_virtual.input.size(), 1u) << row.reason;
  }
}

TEST_F(ProgramTest, ATerminalGetsTheLineEditorAndAPipeDoesNot) {
  g_virtual.terminal = true;
  // The editor shows the prompt itself: the program writes none.
  EXPECT_EQ(Run({}, {"v", "exit"}), "Quorvel DFU V0.0.7\n");
  EXPECT_EQ(g_virtual.editedPrompts, (std::vector<std::string>{">> ", ">> "}));
  g_virtual.terminal = false;
  g_virtual.editedPrompts.clear();
  EXPECT_EQ(Run({}, {"v", "exit"}), ">> Quorvel DFU V0.0.7\n>> ");
  EXPECT_TRUE(g_virtual.editedPrompts.empty());
}

TEST_F(ProgramTest, CtrlCAtThePromptEndsAtOnceWith130) {
  ResetInterruption();
  g_virtual.language = "en";
  EXPECT_EQ(RunProgram({"--version"}), 0);
  ASSERT_NE(g_virtual.onInterrupt, nullptr);
  TakeErrors();
  try {
    g_virtual.onInterrupt(kSignalInterrupt);
    ADD_FAILURE() << "the interrupt did not end the program";
  } catch (const VirtualExitRequest& exit) {
    EXPECT_EQ(exit.status, 130);
  }
  EXPECT_EQ(TakeErrors(), "quorvel-dfu: interrupted\n");
  EXPECT_EQ(TakeOutput(), "Quorvel DFU V0.0.7\n");
}

TEST_F(ProgramTest, DetectUiLanguageChineseOnlyForZhOrAFailedQuery) {
  g_virtual.language = "zh";
  EXPECT_TRUE(DetectUiLanguage());
  g_virtual.language = "ZH";
  EXPECT_TRUE(DetectUiLanguage());
  g_virtual.language = "zho";
  EXPECT_FALSE(DetectUiLanguage());
  g_virtual.language = "en";
  EXPECT_FALSE(DetectUiLanguage());
  g_virtual.localeOk = false;
  EXPECT_TRUE(DetectUiLanguage());
}

}  // namespace
