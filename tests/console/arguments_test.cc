#include "console/arguments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "console/command.h"
#include "console/loaded_images.h"
#include "console/station_settings.h"
#include "firmware_builder.h"
#include "image/image_store.h"
#include "image/temp_files.h"

namespace {

using Tokens = std::vector<std::string>;

class ArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ControlFlags = ControlFlagsRecord{};
    ResetImages();
    ASSERT_TRUE(files_.ok());
    fwbuild::ImageOptions image;
    image.bodySize = 600;
    program_ = files_.Write("fw.bin", fwbuild::BuildOnePartFile(image, 64));
    passthrough_ = files_.Write("pass.bin", fwbuild::BuildPassthrough(4000));
    fwbuild::TwoPartOptions parts;
    parts.controller.bodySize = 0x100;
    parts.app.bodySize = 0x100;
    twoPart_ = files_.Write("two.bin", fwbuild::BuildTwoPartFile(parts));
    ASSERT_FALSE(program_.empty() || passthrough_.empty() || twoPart_.empty());
  }
  void TearDown() override {
    ControlFlags = ControlFlagsRecord{};
    DfuSettings = DfuSettingsRecord{};
    ResetImages();
  }

  // vid, pid, then the options.
  static Tokens Args(std::initializer_list<std::string> options) {
    Tokens tokens = {"046d", "c077"};
    tokens.insert(tokens.end(), options.begin(), options.end());
    return tokens;
  }
  // Parses and keeps the result, for the reason checks.
  ParseResult Parse(const Tokens& tokens, int mode) {
    last_ = ParseDfuArguments(tokens, mode);
    return last_;
  }
  bool Dfu(std::initializer_list<std::string> options) {
    return static_cast<bool>(Parse(Args(options), kDfuMode));
  }
  void ExpectRejected(ArgumentError error, const std::string& argument) {
    EXPECT_EQ(last_.rejection.error, error);
    EXPECT_EQ(last_.rejection.argument, argument);
  }
  void ExpectNothingLoaded() {
    EXPECT_EQ(ProgramImage.data, nullptr);
    EXPECT_EQ(PassthroughImage.data, nullptr);
  }

  ParseResult last_;
  TempFiles files_;
  std::string program_;
  std::string passthrough_;
  std::string twoPart_;
};

TEST_F(ArgumentsTest, ConvertInt32FollowsTheStringToIntRules) {
  struct Case {
    const char* text;
    int base;
    int32_t value;
  };
  const Case accepted[] = {
      {"0", 10, 0},
      {"42", 10, 42},
      {"-1", 10, -1},
      {"+7", 10, 7},
      {"  \t12", 10, 12},
      {"256k", 10, 256},
      {"0x10", 10, 0},
      {"ffff", 16, 0xFFFF},
      {"0x1F", 16, 0x1F},
      {"0X1f", 16, 0x1F},
      {"12g4", 16, 0x12},
      {"0x", 16, 0},
      {"0xg", 16, 0},
      {"-0x10", 16, -16},
      {" 046D", 16, 0x046D},
      {"10000", 16, 0x10000},
      {"2147483647", 10, 2147483647},
      {"-2147483648", 10, -2147483647 - 1},
      {"7FFFFFFF", 16, 0x7FFFFFFF},
      {"00000000000000000009", 10, 9},
  };
  for (const Case& c : accepted) {
    int32_t value = 12345;
    EXPECT_TRUE(ConvertInt32(c.text, c.base, &value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  const Case rejected[] = {
      {"", 10, 0},           {" ", 10, 0},
      {"-", 10, 0},          {"+", 10, 0},
      {"abc", 10, 0},        {"x1", 16, 0},
      {"g", 16, 0},          {"- 1", 10, 0},
      {"2147483648", 10, 0}, {"-2147483649", 10, 0},
      {"80000000", 16, 0},   {"FFFFFFFF", 16, 0},
      {"4294967296", 10, 0}, {"99999999999999999999999999", 10, 0},
  };
  for (const Case& c : rejected) {
    int32_t value = 12345;
    EXPECT_FALSE(ConvertInt32(c.text, c.base, &value)) << c.text;
    EXPECT_EQ(value, 12345) << c.text;
  }
}

TEST_F(ArgumentsTest, DfuNeedsMoreThanTheDeviceIds) {
  EXPECT_FALSE(Parse({"046d", "c077"}, kDfuMode));
  EXPECT_FALSE(Parse({"046d"}, kDfuMode));
  ExpectRejected(ArgumentError::kMissingVidPid, "");
  EXPECT_FALSE(Parse({}, kDfuMode));
  // A third token without a value is ignored; no program is named then.
  EXPECT_FALSE(Dfu({"-d"}));
  ExpectRejected(ArgumentError::kProgramFileRequired, "");
  EXPECT_TRUE(Dfu({"-d", program_, "-n"}));
}

TEST_F(ArgumentsTest, DeviceIdsAreHexadecimalWithOrWithoutPrefix) {
  for (const char* vid : {"046d", "046D", "0x046d", "0X046D", "46d", " 0x46D"}) {
    ASSERT_TRUE(Parse({vid, "0xC077", "-d", program_}, kDfuMode)) << vid;
    EXPECT_EQ(DfuSettings.vid, 0x046D) << vid;
    EXPECT_EQ(DfuSettings.pid, 0xC077) << vid;
  }
  ASSERT_TRUE(Parse({"ffff", "1", "-d", program_}, kDfuMode));
  EXPECT_EQ(DfuSettings.vid, 0xFFFF);
  EXPECT_EQ(DfuSettings.pid, 1);
}

// The device filter reads 0 as "any": a command given 0 would update or
// reset whatever answered first.
TEST_F(ArgumentsTest, ZeroDeviceIdsAreRefusedInEveryMode) {
  const Tokens ids[] = {{"0", "0"},         {"0", "8266"},  {"0x", "8266"},
                        {"248a", "0x0000"}, {"+0", "8266"}, {"248a", "00"}};
  for (int mode : {kCommandLineMode, kDfuMode, kCtrlMode}) {
    for (const Tokens& pair : ids) {
      SCOPED_TRACE(std::to_string(mode) + " " + pair[0] + " " + pair[1]);
      ControlFlags = ControlFlagsRecord{};
      EXPECT_FALSE(Parse({pair[0], pair[1], "-d", program_, "-r", "1", "-f", "1"}, mode));
      ExpectRejected(ArgumentError::kZeroDeviceId, pair[0] == "248a" ? pair[1] : pair[0]);
      EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
    }
  }
  ExpectNothingLoaded();
  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse({"0x1", "0001", "-r", "1"}, kCtrlMode));
  EXPECT_EQ(DfuSettings.vid, 1);
}

TEST_F(ArgumentsTest, InvalidDeviceIdsRejectInEveryMode) {
  for (int mode : {kCommandLineMode, kDfuMode, kCtrlMode}) {
    SCOPED_TRACE(mode);
    EXPECT_FALSE(Parse({"10000", "c077", "-d", program_, "-r", "1"}, mode));
    ExpectRejected(ArgumentError::kOutOfRange, "10000");
    EXPECT_FALSE(Parse({"046d", "10000", "-r", "1"}, mode));
    ExpectRejected(ArgumentError::kOutOfRange, "10000");
    EXPECT_FALSE(Parse({"-1", "c077", "-r", "1"}, mode));
    ExpectRejected(ArgumentError::kOutOfRange, "-1");
    EXPECT_FALSE(Parse({"zz", "c077", "-f", "1"}, mode));
    ExpectRejected(ArgumentError::kNotANumber, "zz");
    EXPECT_FALSE(Parse({"046d", "100000000", "-f", "1"}, mode));
    ExpectRejected(ArgumentError::kOutOfRange, "100000000");
    EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
  }
  ExpectNothingLoaded();
}

struct OptionCase {
  const char* name;
  const char* value;
  int field;  // expected field value when accepted
};

int FieldOf(const std::string& name) {
  if (name == "-n")
    return DfuSettings.inum;
  if (name == "-b")
    return DfuSettings.bsize;
  if (name == "-w")
    return DfuSettings.intv;
  if (name == "-s")
    return DfuSettings.chip_p;
  if (name == "-i")
    return DfuSettings.sort;
  return DfuSettings.check;
}

TEST_F(ArgumentsTest, NumericOptionsAcceptTheirRanges) {
  const OptionCase accepted[] = {
      {"-n", "-1", -1},   {"-n", "0", 0},      {"-n", "5", 5},     {"-n", " +2", 2},
      {"-b", "62", 62},   {"-b", "128", 128},  {"-b", "256", 256}, {"-b", "384", 384},
      {"-b", "512", 512}, {"-b", "256k", 256}, {"-w", "0", 0},     {"-w", "1000", 1000},
      {"-w", "17", 17},   {"-s", "0", 0},      {"-s", "1", 1},     {"-s", "2", 2},
      {"-s", "3", 3},     {"-s", "4", 4},      {"-i", "0", 0},     {"-i", "1", 1},
      {"-c", "0", 0},     {"-c", "1", 1},
  };
  for (const OptionCase& c : accepted) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    ResetImages();
    ASSERT_TRUE(Dfu({c.name, c.value, "-d", program_}));
    EXPECT_EQ(FieldOf(c.name), c.field);
    EXPECT_EQ(last_.rejection.error, ArgumentError::kNone);
    EXPECT_NE(ProgramImage.data, nullptr);
  }
}

TEST_F(ArgumentsTest, NumericOptionsRejectValuesOutsideTheirRanges) {
  const OptionCase outOfRange[] = {
      {"-n", "6", 0},    {"-n", "-2", 0},         {"-b", "100", 0},         {"-b", "63", 0},
      {"-b", "0", 0},    {"-b", "1024", 0},       {"-b", "-256", 0},        {"-b", "4294967552", 0},
      {"-w", "1001", 0}, {"-w", "-1", 0},         {"-w", "99999999999", 0}, {"-s", "5", 0},
      {"-s", "-1", 0},   {"-s", "4294967300", 0}, {"-i", "2", 0},           {"-i", "-1", 0},
      {"-c", "2", 0},    {"-n", "4294967297", 0},
  };
  for (const OptionCase& c : outOfRange) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    EXPECT_FALSE(Dfu({"-d", program_, c.name, c.value}));
    ExpectRejected(ArgumentError::kOutOfRange, std::string(c.name) + " " + c.value);
  }
  // A hexadecimal value reads as 0 (which only -b refuses) and is refused as
  // what it is.
  const OptionCase hexadecimal[] = {{"-b", "0x100", 0}, {"-b", " +0X200", 0}, {"-b", "0x", 0}};
  for (const OptionCase& c : hexadecimal) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    EXPECT_FALSE(Dfu({"-d", program_, c.name, c.value}));
    ExpectRejected(ArgumentError::kNotDecimal, std::string(c.name) + " " + c.value);
  }
  const OptionCase notANumber[] = {{"-n", "x", 0}, {"-b", " ", 0},   {"-w", "fast", 0},
                                   {"-s", "-", 0}, {"-i", "one", 0}, {"-c", "yes", 0}};
  for (const OptionCase& c : notANumber) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    EXPECT_FALSE(Dfu({"-d", program_, c.name, c.value}));
    ExpectRejected(ArgumentError::kNotANumber, std::string(c.name) + " " + c.value);
  }
  // An empty value is an empty argument, whatever the option.
  EXPECT_FALSE(Dfu({"-d", program_, "-b", ""}));
  ExpectRejected(ArgumentError::kEmptyArgument, "6");
  ExpectNothingLoaded();
}

TEST_F(ArgumentsTest, EveryParseStartsFromTheDefaults) {
  ASSERT_TRUE(Dfu({"-n", "2", "-b", "128", "-w", "9", "-s", "1", "-i", "1", "-c", "0", "-t",
                   passthrough_, "-d", program_}));
  ASSERT_TRUE(Parse({"1", "2", "-d", program_}, kDfuMode));
  EXPECT_EQ(DfuSettings.vid, 1);
  EXPECT_EQ(DfuSettings.pid, 2);
  EXPECT_EQ(DfuSettings.inum, -1);
  EXPECT_EQ(DfuSettings.bsize, 256);
  EXPECT_EQ(DfuSettings.intv, 0);
  EXPECT_EQ(DfuSettings.chip_p, 4);
  EXPECT_EQ(DfuSettings.sort, 0);
  EXPECT_EQ(DfuSettings.check, 1);
  EXPECT_TRUE(DfuSettings.has_pg);
  EXPECT_EQ(DfuSettings.pg_path, program_);
  EXPECT_FALSE(DfuSettings.has_trans_pg);
  EXPECT_TRUE(DfuSettings.trans_pg_path.empty());
  // A rejected parse leaves nothing of the earlier one either.
  EXPECT_FALSE(Parse({"10000", "2", "-d", program_}, kDfuMode));
  EXPECT_FALSE(DfuSettings.has_pg);
  EXPECT_EQ(DfuSettings.vid, 0);
}

// --serial, --port and --json stand where option names stand, in dfu, ctrl
// and on the command line, and leave the pairs around them as they are.
TEST_F(ArgumentsTest, LongOptionsStandWhereOptionNamesStand) {
  ASSERT_TRUE(Dfu({"--serial", "QV24A01X", "-d", program_, "--port", "1-3.2.1", "--json"}));
  EXPECT_EQ(DfuSettings.serial, "QV24A01X");
  EXPECT_EQ(DfuSettings.port, "1-3.2.1");
  EXPECT_TRUE(DfuSettings.json);
  EXPECT_EQ(DfuSettings.pg_path, program_);
  // --json takes no value: the pair after it is read as before.
  ASSERT_TRUE(Dfu({"-s", "2", "--json", "-d", program_, "-c", "0"}));
  EXPECT_EQ(DfuSettings.chip_p, 2);
  EXPECT_EQ(DfuSettings.check, 0);
  EXPECT_TRUE(DfuSettings.serial.empty() && DfuSettings.port.empty());
  // The later of two values wins; quotes are not part of the value.
  ASSERT_TRUE(Dfu({"--serial", "A", "--serial", "\"B\"", "-d", program_}));
  EXPECT_EQ(DfuSettings.serial, "B");
  ASSERT_TRUE(Parse(Args({"--port", "1-2", "-r", "1"}), kCtrlMode));
  EXPECT_EQ(DfuSettings.port, "1-2");
  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse(Args({"-d", program_, "--json", "--serial", "S"}), kCommandLineMode));
  EXPECT_TRUE(DfuSettings.json);
  EXPECT_EQ(DfuSettings.serial, "S");
  // In a value's place it is a value: here a file name that does not exist.
  EXPECT_FALSE(Dfu({"-d", "--json"}));
  ExpectRejected(ArgumentError::kFileNotFound, "-d --json");
  EXPECT_FALSE(DfuSettings.json);
  // Without them nothing is selected and the text output stays.
  ASSERT_TRUE(Dfu({"-d", program_}));
  EXPECT_TRUE(DfuSettings.serial.empty() && DfuSettings.port.empty() && !DfuSettings.json);
  EXPECT_FALSE(DfuSettings.events || DfuSettings.skipCurrent);
}

// --events and --skip-current take no value either: the pairs around them
// are read as before, and each sets its own flag only.
TEST_F(ArgumentsTest, EventsAndSkipCurrentStandAlone) {
  ASSERT_TRUE(Dfu({"--events", "-d", program_, "--skip-current", "-c", "0"}));
  EXPECT_TRUE(DfuSettings.events && DfuSettings.skipCurrent);
  EXPECT_FALSE(DfuSettings.json);
  EXPECT_EQ(DfuSettings.check, 0);
  EXPECT_EQ(CurrentCommand().output, OutputMode::kJson);
  ASSERT_TRUE(Parse(Args({"-d", program_, "--skip-current", "--port", "1-3.2"}), kCommandLineMode));
  EXPECT_TRUE(DfuSettings.skipCurrent && !DfuSettings.events);
  EXPECT_EQ(DfuSettings.port, "1-3.2");
  EXPECT_EQ(CurrentCommand().output, OutputMode::kText);
  EXPECT_FALSE(Dfu({"-d", "--events"}));
  ExpectRejected(ArgumentError::kFileNotFound, "-d --events");
  EXPECT_TRUE(IsStandaloneOption("--events") && IsStandaloneOption("--skip-current") &&
              IsStandaloneOption("--json"));
  EXPECT_FALSE(IsStandaloneOption("--port") || IsStandaloneOption("-d"));
}

TEST_F(ArgumentsTest, EmptySerialOrPortIsRejectedBeforeAnythingLoads) {
  struct Rejected {
    std::vector<std::string> options;
    int mode;
    std::string argument;
  };
  const Rejected cases[] = {
      {{"-d", "PROGRAM", "--serial"}, kDfuMode, "--serial"},
      {{"--serial", "", "-d", "PROGRAM"}, kDfuMode, "--serial"},
      {{"--port", "\"\"", "-d", "PROGRAM"}, kDfuMode, "--port"},
      {{"--port", "", "-r", "1"}, kCtrlMode, "--port"},
      {{"-d", "PROGRAM", "-r", "1", "--serial", "\""}, kCommandLineMode, "--serial"},
  };
  for (const Rejected& c : cases) {
    Tokens tokens = {"046d", "c077"};
    for (const std::string& option : c.options)
      tokens.push_back(option == "PROGRAM" ? program_ : option);
    ControlFlags = ControlFlagsRecord{};
    EXPECT_FALSE(Parse(tokens, c.mode)) << c.argument;
    ExpectRejected(ArgumentError::kEmptyValue, c.argument);
    ExpectNothingLoaded();
    EXPECT_FALSE(ControlFlags.reset);
  }
}

TEST_F(ArgumentsTest, TheLaterValueOfAnOptionWins) {
  ASSERT_TRUE(Dfu({"-n", "1", "-b", "128", "-d", program_, "-n", "3", "-b", "512"}));
  EXPECT_EQ(DfuSettings.inum, 3);
  EXPECT_EQ(DfuSettings.bsize, 512);
}

TEST_F(ArgumentsTest, ARejectedValueStopsTheOptions) {
  EXPECT_FALSE(Dfu({"-n", "3", "-b", "100", "-w", "5", "-d", program_}));
  EXPECT_EQ(DfuSettings.inum, 3);
  EXPECT_EQ(DfuSettings.intv, 0);
  EXPECT_FALSE(DfuSettings.has_pg);
  ExpectNothingLoaded();
}

TEST_F(ArgumentsTest, ControlCommandsCheckAndApplyEveryInterfaceNumber) {
  // An out-of-range -n rejects a control command: it would otherwise
  // restart whatever interface answered first.
  for (int mode : {kCtrlMode, kCommandLineMode}) {
    EXPECT_FALSE(Parse(Args({"-n", "3", "-n", "9", "-n", "2", "-r", "1"}), mode));
    ExpectRejected(ArgumentError::kOutOfRange, "-n 9");
    EXPECT_FALSE(Parse(Args({"-r", "1", "-n", "7"}), mode));
    ExpectRejected(ArgumentError::kOutOfRange, "-n 7");
    EXPECT_FALSE(Parse(Args({"-f", "1", "-n", "x"}), mode));
    ExpectRejected(ArgumentError::kNotANumber, "-n x");
  }
  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse(Args({"-n", "3", "-r", "1", "-n", "2"}), kCtrlMode));
  EXPECT_EQ(DfuSettings.inum, 2);
  // Behind an update option that stopped the update pass, -n still applies.
  ASSERT_TRUE(Parse(Args({"-r", "1", "-s", "9", "-n", "1"}), kCommandLineMode));
  EXPECT_EQ(DfuSettings.inum, 1);
  EXPECT_TRUE(ControlFlags.reset);
  EXPECT_EQ(last_.rejection.error, ArgumentError::kNone);
}

TEST_F(ArgumentsTest, AnEmptyOptionNameOrValueRejectsInEveryMode) {
  // "dfu 248a 8266 -d fw.bin  -n 9" at the prompt: the empty token would
  // take -n as its value and leave 9 alone, unchecked.
  EXPECT_FALSE(Dfu({"-d", program_, "", "-n", "9"}));
  ExpectRejected(ArgumentError::kEmptyArgument, "5");
  ExpectNothingLoaded();
  EXPECT_FALSE(Dfu({"-d", "", "-n", "1"}));
  ExpectRejected(ArgumentError::kEmptyArgument, "4");
  for (int mode : {kCtrlMode, kCommandLineMode}) {
    ControlFlags = ControlFlagsRecord{};
    EXPECT_FALSE(Parse(Args({"-r", "1", "", "-n", "9"}), mode));
    ExpectRejected(ArgumentError::kEmptyArgument, "5");
    EXPECT_FALSE(ControlFlags.reset);
  }
  // Trailing blanks leave one empty last token without a value: ignored.
  ASSERT_TRUE(Dfu({"-d", program_, ""}));
  EXPECT_EQ(DfuSettings.pg_path, program_);
}

TEST_F(ArgumentsTest, OptionsOfTheOtherCommandAreSkippedUnchecked) {
  ASSERT_TRUE(Parse(Args({"-s", "9", "-r", "1"}), kCtrlMode));
  EXPECT_EQ(DfuSettings.chip_p, 4);
  ASSERT_TRUE(Parse(Args({"-b", "abc", "-d", program_, "-t", "/nonexistent", "-w", "5000", "-i",
                          "7", "-c", "7", "-n", "4", "-f", "1"}),
                    kCtrlMode));
  EXPECT_EQ(DfuSettings.inum, 4);
  EXPECT_FALSE(DfuSettings.has_pg);
  ExpectNothingLoaded();

  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Dfu({"-r", "zz", "-f", "1", "-d", program_, "-r", "true"}));
  EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
  // A known name without its value at the end is ignored.
  ASSERT_TRUE(Dfu({"-d", program_, "-i"}));
}

// A name no command knows would shift the pairs after it (and lose a
// --port behind it): it refuses the command in every mode, before anything
// is loaded or any control flag set. Names are case-sensitive.
TEST_F(ArgumentsTest, NamesNoCommandKnowsAreRefused) {
  struct Row {
    Tokens options;
    ArgumentError error;
    std::string argument;
  } rows[] = {
      {{"-d", "PROGRAM", "--port=1-3.3", "-c", "0", "--json"},
       ArgumentError::kJoinedValue,
       "--port=1-3.3"},
      {{"-d", "PROGRAM", "-c0", "--port", "1-3.3"}, ArgumentError::kJoinedValue, "-c0"},
      {{"--serial=QV24A01X", "-d", "PROGRAM"}, ArgumentError::kJoinedValue, "--serial=QV24A01X"},
      {{"-x", "whatever", "-d", "PROGRAM"}, ArgumentError::kUnknownOption, "-x"},
      {{"-d", "PROGRAM", "-N", "9"}, ArgumentError::kUnknownOption, "-N"},
      {{"-D", "PROGRAM", "-r", "1"}, ArgumentError::kUnknownOption, "-D"},
      {{"-d", "PROGRAM", "--json=1"}, ArgumentError::kUnknownOption, "--json=1"},
      {{"-d", "PROGRAM", "--ports", "1-3.3"}, ArgumentError::kUnknownOption, "--ports"},
      // A missing value makes the next name a value and the value after it
      // a name.
      {{"-c", "-d", "PROGRAM", "-r", "1"}, ArgumentError::kUnknownOption, "PROGRAM"},
      // Alone at the end, where a lone known name is ignored.
      {{"-d", "PROGRAM", "-r", "1", "-c0"}, ArgumentError::kJoinedValue, "-c0"},
  };
  for (int mode : {kCommandLineMode, kDfuMode, kCtrlMode}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::to_string(mode) + " " + row.argument);
      Tokens tokens = {"248a", "8266"};
      for (const std::string& option : row.options)
        tokens.push_back(option == "PROGRAM" ? program_ : option);
      ControlFlags = ControlFlagsRecord{};
      EXPECT_FALSE(Parse(tokens, mode));
      ExpectRejected(row.error, row.argument == "PROGRAM" ? program_ : row.argument);
      EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
      ExpectNothingLoaded();
    }
  }
}

TEST_F(ArgumentsTest, TheSeparateFormOfAJoinedName) {
  const std::pair<const char*, const char*> rows[] = {
      {"--port=1-3.3", "--port 1-3.3"},
      {"--serial=a=b", "--serial a=b"},
      {"-c0", "-c 0"},
      {"-n=2", "-n 2"},
      {"-dfw.bin", "-d fw.bin"},
      {"--port=", ""},
      {"-c", ""},
      {"-x0", ""},
      {"--json=1", ""},
      {"-c=", ""},
      {"port=1", ""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(SeparateOptionForm(row.first), row.second) << row.first;
}

TEST_F(ArgumentsTest, CtrlNeedsResetOrForce) {
  ASSERT_TRUE(Parse(Args({"-r", "true"}), kCtrlMode));
  EXPECT_TRUE(ControlFlags.reset);
  EXPECT_FALSE(ControlFlags.force);

  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse(Args({"-f", "1", "-r", "1"}), kCtrlMode));
  EXPECT_TRUE(ControlFlags.reset && ControlFlags.force);

  ControlFlags = ControlFlagsRecord{};
  for (const char* value : {"0", "false"}) {
    EXPECT_FALSE(Parse(Args({"-r", value, "-f", value}), kCtrlMode)) << value;
    ExpectRejected(ArgumentError::kNoControlAction, "");
  }
  // A value the flags do not take is named, on the command line too, where
  // the update part's "needs a program file" would point the wrong way.
  for (int mode : {kCtrlMode, kCommandLineMode}) {
    for (const char* value : {"TRUE", "yes", "01", " 1", "2"}) {
      EXPECT_FALSE(Parse(Args({"-f", "0", "-r", value}), mode)) << value;
      ExpectRejected(ArgumentError::kControlValue, std::string("-r ") + value);
    }
    EXPECT_FALSE(Parse(Args({"-f", "on"}), mode));
    ExpectRejected(ArgumentError::kControlValue, "-f on");
  }
  // A real fault of the update part stays the reason.
  EXPECT_FALSE(Parse(Args({"-d", files_.Path("missing.bin"), "-r", "yes"}), kCommandLineMode));
  ExpectRejected(ArgumentError::kFileNotFound, "-d " + files_.Path("missing.bin"));
  EXPECT_FALSE(Parse(Args({"-n", "1", "-r"}), kCtrlMode));
  EXPECT_FALSE(Parse({"046d", "c077"}, kCtrlMode));
  EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
  // A rejected option value is the reason given, not the missing flag.
  EXPECT_FALSE(Parse(Args({"-n", "9"}), kCtrlMode));
  ExpectRejected(ArgumentError::kOutOfRange, "-n 9");
}

TEST_F(ArgumentsTest, ParsingNeverClearsAControlFlag) {
  ControlFlags.force = true;
  ASSERT_TRUE(Parse(Args({"-r", "1", "-f", "0"}), kCtrlMode));
  EXPECT_TRUE(ControlFlags.force);
  EXPECT_TRUE(ControlFlags.reset);
}

TEST_F(ArgumentsTest, CommandLineFallsBackToControl) {
  ASSERT_TRUE(Parse(Args({"-r", "1"}), kCommandLineMode));
  EXPECT_TRUE(ControlFlags.reset);
  EXPECT_FALSE(DfuSettings.has_pg);
  ExpectNothingLoaded();
  EXPECT_EQ(last_.rejection.error, ArgumentError::kNone);

  // A rejected value ends the update part, not the command.
  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse(Args({"-d", program_, "-b", "100", "-f", "1"}), kCommandLineMode));
  EXPECT_TRUE(ControlFlags.force);
  ExpectNothingLoaded();

  ControlFlags = ControlFlagsRecord{};
  ASSERT_TRUE(Parse(Args({"-d", files_.Path("missing.bin"), "-f", "true"}), kCommandLineMode));
  EXPECT_TRUE(ControlFlags.force);
}

TEST_F(ArgumentsTest, CommandLineWithLoadableFilesIsAnUpdate) {
  ASSERT_TRUE(Parse(Args({"-s", "2", "-d", program_, "-r", "1"}), kCommandLineMode));
  EXPECT_FALSE(ControlFlags.reset);
  EXPECT_EQ(DfuSettings.chip_p, 2);
  EXPECT_NE(ProgramImage.data, nullptr);

  EXPECT_FALSE(Parse(Args({"-n", "2"}), kCommandLineMode));
  ExpectRejected(ArgumentError::kProgramFileRequired, "");
  EXPECT_FALSE(Parse(Args({"-r", "0"}), kCommandLineMode));
  EXPECT_FALSE(Parse({"046d", "c077"}, kCommandLineMode));
  EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
}

TEST_F(ArgumentsTest, DfuIgnoresControlFlags) {
  EXPECT_FALSE(Dfu({"-r", "1"}));
  EXPECT_FALSE(Dfu({"-f", "true", "-d", files_.Path("missing.bin")}));
  EXPECT_FALSE(ControlFlags.reset || ControlFlags.force);
}

TEST_F(ArgumentsTest, ProgramPathMayBeQuoted) {
  ASSERT_TRUE(Dfu({"-d", "\"" + program_ + "\""}));
  EXPECT_EQ(DfuSettings.pg_path, program_);
  ASSERT_TRUE(Dfu({"-d", "\"\"" + program_ + "\"\"\""}));
  EXPECT_EQ(DfuSettings.pg_path, program_);
  ASSERT_TRUE(Dfu({"-d", "\"" + program_}));
  EXPECT_EQ(DfuSettings.pg_path, program_);
  for (const char* empty : {"\"", "\"\"\""}) {
    EXPECT_FALSE(Dfu({"-d", empty})) << empty;
    EXPECT_EQ(last_.rejection.error, ArgumentError::kFileNotFound) << empty;
  }
  EXPECT_FALSE(Dfu({"-d", ""}));
  EXPECT_EQ(last_.rejection.error, ArgumentError::kEmptyArgument);
  EXPECT_TRUE(CheckProgramPath("\"" + program_ + "\"", &last_.rejection));
  EXPECT_FALSE(CheckProgramPath(files_.Path("missing.bin"), &last_.rejection));
}

TEST_F(ArgumentsTest, PassthroughPathLosesItsQuotesLikeTheProgramPath) {
  const std::string quoted = "\"" + passthrough_ + "\"";
  ASSERT_TRUE(Dfu({"-t", quoted}));
  EXPECT_EQ(DfuSettings.trans_pg_path, passthrough_);
  EXPECT_EQ(PassthroughImage.length, 4000);
  for (const char* empty : {"\"", "\"\""}) {
    EXPECT_FALSE(Dfu({"-t", empty})) << empty;
    ExpectRejected(ArgumentError::kFileNotFound, std::string("-t ") + empty);
  }
  // Quotes inside the name stay.
  const std::string inner = files_.Write("a\"b.bin", fwbuild::BuildPassthrough(100));
  ASSERT_FALSE(inner.empty());
  ASSERT_TRUE(Dfu({"-t", "\"" + inner + "\""}));
  EXPECT_EQ(DfuSettings.trans_pg_path, inner);
  EXPECT_EQ(PassthroughImage.length, 100);
}

TEST_F(ArgumentsTest, PassthroughAloneIsEnoughOnlyOnTheDefaultPlatform) {
  ASSERT_TRUE(Dfu({"-t", passthrough_}));
  EXPECT_TRUE(DfuSettings.has_trans_pg);
  EXPECT_EQ(PassthroughImage.length, 4000);
  EXPECT_EQ(ProgramImage.data, nullptr);
  for (const char* platform : {"0", "1", "2", "3"}) {
    ResetImages();
    EXPECT_FALSE(Dfu({"-s", platform, "-t", passthrough_})) << platform;
    ExpectRejected(ArgumentError::kProgramFileRequired, "");
  }
  // A given passthrough program is loaded, and must load, on every platform.
  ResetImages();
  ASSERT_TRUE(Dfu({"-s", "1", "-t", passthrough_, "-d", program_}));
  EXPECT_EQ(PassthroughImage.length, 4000);
  EXPECT_NE(ProgramImage.data, nullptr);
  const std::string big = files_.Write("big.bin", fwbuild::BuildPassthrough(131073));
  EXPECT_FALSE(Dfu({"-s", "1", "-t", big, "-d", program_}));
  ExpectRejected(ArgumentError::kPassthroughInvalid, "-t " + big);
  const std::string empty = files_.Write("empty.bin", {});
  EXPECT_FALSE(Dfu({"-t", empty}));
  ExpectRejected(ArgumentError::kPassthroughInvalid, "-t " + empty);
}

TEST_F(ArgumentsTest, PlatformDecidesHowTheProgramIsChecked) {
  EXPECT_FALSE(Dfu({"-s", "0", "-d", twoPart_}));
  ExpectRejected(ArgumentError::kNoValidImage, "-d " + twoPart_);
  for (const char* platform : {"1", "2", "3", "4"}) {
    ResetImages();
    ASSERT_TRUE(Dfu({"-s", platform, "-d", twoPart_})) << platform;
    EXPECT_TRUE(TwoPartImage) << platform;
  }
  // The platform applies whatever its position among the options.
  EXPECT_FALSE(Dfu({"-d", twoPart_, "-s", "0"}));

  fwbuild::ImageOptions image;
  const std::string offset = files_.Write("offset.bin", fwbuild::BuildOffsetImageFile(image, 8192));
  EXPECT_TRUE(Dfu({"-s", "3", "-d", offset}));
  EXPECT_FALSE(Dfu({"-s", "4", "-d", offset}));

  image.corruptDigest = true;
  const std::string corrupt = files_.Write("corrupt.bin", fwbuild::BuildOnePartFile(image));
  EXPECT_TRUE(Dfu({"-s", "3", "-d", corrupt}));
  for (const char* platform : {"0", "1", "2", "4"}) {
    EXPECT_FALSE(Dfu({"-s", platform, "-d", corrupt})) << platform;
    ExpectRejected(ArgumentError::kNoValidImage, "-d " + corrupt);
  }
}

TEST_F(ArgumentsTest, PathsThatAreNotRegularFilesAreRefused) {
  const std::string directory = files_.MakeDirectory("dir");
  const std::string fifo = files_.MakeFifo("fifo");
  ASSERT_FALSE(directory.empty() || fifo.empty());
  EXPECT_FALSE(Dfu({"-d", directory}));
  ExpectRejected(ArgumentError::kNotRegularFile, "-d " + directory);
  EXPECT_FALSE(Dfu({"-d", fifo}));
  ExpectRejected(ArgumentError::kNotRegularFile, "-d " + fifo);
  EXPECT_FALSE(Dfu({"-t", fifo}));
  ExpectRejected(ArgumentError::kNotRegularFile, "-t " + fifo);
  EXPECT_FALSE(Dfu({"-t", "/dev/null"}));
  ExpectRejected(ArgumentError::kNotRegularFile, "-t /dev/null");
  EXPECT_FALSE(Dfu({"-d", files_.Path("missing.bin")}));
  ExpectRejected(ArgumentError::kFileNotFound, "-d " + files_.Path("missing.bin"));
  // On the command line the control flags still decide.
  EXPECT_TRUE(Parse(Args({"-d", fifo, "-r", "1"}), kCommandLineMode));
}

TEST_F(ArgumentsTest, SuccessClearsTheLastRejection) {
  EXPECT_FALSE(Dfu({"-n", "6", "-d", program_}));
  ExpectRejected(ArgumentError::kOutOfRange, "-n 6");
  ASSERT_TRUE(Dfu({"-d", program_}));
  ExpectRejected(ArgumentError::kNone, "");
}

TEST_F(ArgumentsTest, CvNamesOneDeviceAndTakesOnlyTheSelection) {
  ASSERT_TRUE(
      ParseCvArguments({"248a", "8266", "-n", "2", "--port", "1-3.2", "--serial", "QV", "--json"}));
  EXPECT_EQ(DfuSettings.vid, 0x248A);
  EXPECT_EQ(DfuSettings.pid, 0x8266);
  EXPECT_EQ(DfuSettings.inum, 2);
  EXPECT_EQ(DfuSettings.port, "1-3.2");
  EXPECT_EQ(DfuSettings.serial, "QV");
  EXPECT_TRUE(DfuSettings.json);
  ASSERT_TRUE(ParseCvArguments({"248a", "8266"}));
  EXPECT_EQ(DfuSettings.inum, -1);
  EXPECT_TRUE(DfuSettings.port.empty() && !DfuSettings.json);
  struct Row {
    Tokens tokens;
    ArgumentError error;
    std::string argument;
  } rows[] = {
      {{}, ArgumentError::kMissingVidPid, ""},
      {{"248a"}, ArgumentError::kMissingVidPid, ""},
      // Where the product ID stands, --json is a product ID.
      {{"248a", "--json"}, ArgumentError::kNotANumber, "--json"},
      {{"0", "8266"}, ArgumentError::kZeroDeviceId, "0"},
      {{"248a", "0x"}, ArgumentError::kZeroDeviceId, "0x"},
      {{"248a", "10000"}, ArgumentError::kOutOfRange, "10000"},
      {{"248a", "8266", "-n", "6"}, ArgumentError::kOutOfRange, "-n 6"},
      {{"248a", "8266", "-d", "fw.bin"}, ArgumentError::kNotForCv, "-d"},
      {{"248a", "8266", "-r", "1"}, ArgumentError::kNotForCv, "-r"},
      // Both concern an update; cv reads and changes nothing.
      {{"248a", "8266", "--events"}, ArgumentError::kNotForCv, "--events"},
      {{"248a", "8266", "--json", "--skip-current"}, ArgumentError::kNotForCv, "--skip-current"},
      {{"248a", "8266", "--port=1-3.2"}, ArgumentError::kJoinedValue, "--port=1-3.2"},
      {{"248a", "8266", "-q", "1"}, ArgumentError::kUnknownOption, "-q"},
      {{"248a", "8266", "--port"}, ArgumentError::kEmptyValue, "--port"},
      {{"248a", "8266", "--station"}, ArgumentError::kNotForCv, "--station"},
      {{"248a", "8266", "--log", "line.jsonl"}, ArgumentError::kNotForCv, "--log"},
  };
  for (const Row& row : rows) {
    last_ = ParseCvArguments(row.tokens);
    EXPECT_FALSE(last_) << row.argument;
    ExpectRejected(row.error, row.argument);
  }
  ExpectNothingLoaded();
}

TEST_F(ArgumentsTest, TheStationOptionsOnTheCommandLine) {
  ASSERT_TRUE(Parse(Args({"-d", program_, "--station", "--jobs", "4", "--count", "32", "--port",
                          "1-3.1,1-3.2,2-1", "--reflash", "--log", "\"line.jsonl\"", "-c", "0"}),
                    kCommandLineMode));
  EXPECT_TRUE(StationSettings.station && StationSettings.reflash);
  EXPECT_EQ(StationSettings.jobs, 4);
  EXPECT_EQ(StationSettings.count, 32);
  EXPECT_EQ(StationSettings.ports, (Tokens{"1-3.1", "1-3.2", "2-1"}));
  EXPECT_EQ(StationSettings.logPath, "line.jsonl");
  EXPECT_EQ(DfuSettings.check, 0);
  // The station pins each child itself; it is not one pinned update.
  EXPECT_TRUE(DfuSettings.port.empty());
  ASSERT_TRUE(Parse(Args({"--station", "-d", program_}), kCommandLineMode));
  EXPECT_TRUE(StationSettings.ports.empty());
  EXPECT_EQ(StationSettings.jobs, 0);
  // Every parse starts from no station.
  ASSERT_TRUE(Parse(Args({"-d", program_, "--port", "1-3.1"}), kCommandLineMode));
  EXPECT_FALSE(StationSettings.station);
  EXPECT_TRUE(StationSettings.ports.empty());
  EXPECT_EQ(DfuSettings.port, "1-3.1");
}

TEST_F(ArgumentsTest, TheStationOptionsAreRefusedWhereTheyMeanNothing) {
  struct Row {
    Tokens options;
    int mode;
    ArgumentError error;
    std::string argument;
  } rows[] = {
      {{"-d", "PROGRAM", "--jobs", "4"},
       kCommandLineMode,
       ArgumentError::kNeedsStation,
       "--jobs 4"},
      {{"-d", "PROGRAM", "--count", "2"},
       kCommandLineMode,
       ArgumentError::kNeedsStation,
       "--count 2"},
      {{"--reflash", "-d", "PROGRAM"}, kCommandLineMode, ArgumentError::kNeedsStation, "--reflash"},
      {{"-d", "PROGRAM", "--log", "l.jsonl"},
       kCommandLineMode,
       ArgumentError::kNeedsStation,
       "--log l.jsonl"},
      {{"-d", "PROGRAM", "--port", "1-3.1,1-3.2"},
       kCommandLineMode,
       ArgumentError::kNeedsStation,
       "--port 1-3.1,1-3.2"},
      {{"-d", "PROGRAM", "--station"}, kDfuMode, ArgumentError::kStationOnCommandLine, "--station"},
      {{"-r", "1", "--station"}, kCtrlMode, ArgumentError::kStationOnCommandLine, "--station"},
      // The station updates; it never becomes a control command.
      {{"-r", "1", "--station"}, kCommandLineMode, ArgumentError::kProgramFileRequired, ""},
      {{"-d", "PROGRAM", "--station", "--jobs", "0"},
       kCommandLineMode,
       ArgumentError::kOutOfRange,
       "--jobs 0"},
      {{"-d", "PROGRAM", "--station", "--count", "0x10"},
       kCommandLineMode,
       ArgumentError::kNotDecimal,
       "--count 0x10"},
      {{"-d", "PROGRAM", "--station", "--log", ""},
       kCommandLineMode,
       ArgumentError::kEmptyValue,
       "--log"},
      {{"-d", "PROGRAM", "--station", "--port", "1-3.1,,1-3.2"},
       kCommandLineMode,
       ArgumentError::kEmptyValue,
       "--port 1-3.1,,1-3.2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument);
    Tokens tokens = {"248a", "8266"};
    for (const std::string& option : row.options)
      tokens.push_back(option == "PROGRAM" ? program_ : option);
    ControlFlags = ControlFlagsRecord{};
    EXPECT_FALSE(Parse(tokens, row.mode));
    ExpectRejected(row.error, row.argument);
    EXPECT_FALSE(ControlFlags.reset);
  }
}

TEST_F(ArgumentsTest, LoadFirmwareFilesFollowsTheSettings) {
  DfuSettings = DfuSettingsRecord{};
  EXPECT_FALSE(LoadFirmwareFiles(&last_.rejection));
  DfuSettings.has_pg = true;
  DfuSettings.pg_path = twoPart_;
  DfuSettings.chip_p = kTq3410;
  EXPECT_FALSE(LoadFirmwareFiles(&last_.rejection));
  DfuSettings.chip_p = kTq520xHskV110;
  EXPECT_TRUE(LoadFirmwareFiles(&last_.rejection));
  EXPECT_TRUE(TwoPartImage);
}

}  // namespace
