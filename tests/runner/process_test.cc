// Starting processes with their streams on files, and the environment they
// start from: the pieces every run of the real program and of the bus uses.
#include "support/process.h"

#include <gtest/gtest.h>

#include "support/environment.h"
#include "support/workspace.h"

namespace {

e2e::ProcessSetup Shell(const std::string& script) {
  e2e::ProcessSetup setup;
  setup.argv = {"/bin/sh", "-c", script};
  setup.env = {"PATH=/usr/bin:/bin"};
  return setup;
}

TEST(Process, ExitStatusAndBothStreamsInOneFileInTheirOrder) {
  e2e::Workspace workspace;
  e2e::ProcessSetup setup = Shell("echo out; echo err >&2; echo more; exit 3");
  setup.stdoutPath = workspace.Path("output");
  setup.stderrPath = setup.stdoutPath;
  e2e::ProcessEnd end = e2e::AwaitProcess(e2e::StartProcess(setup));
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.exitStatus, 3);
  EXPECT_FALSE(end.timedOut);
  EXPECT_EQ(e2e::ReadText(setup.stdoutPath), "out\nerr\nmore\n");
}

TEST(Process, InputFromAFileAndEachOutputStreamInItsOwn) {
  e2e::Workspace workspace;
  e2e::ProcessSetup setup = Shell("cat; echo \"$GREETING\" >&2");
  setup.env.push_back("GREETING=hello");
  setup.stdinPath = workspace.Path("input");
  ASSERT_TRUE(e2e::WriteText(setup.stdinPath, "typed\n"));
  setup.stdoutPath = workspace.Path("out");
  setup.stderrPath = workspace.Path("err");
  e2e::ProcessEnd end = e2e::AwaitProcess(e2e::StartProcess(setup));
  EXPECT_EQ(end.exitStatus, 0);
  EXPECT_EQ(e2e::ReadText(setup.stdoutPath), "typed\n");
  EXPECT_EQ(e2e::ReadText(setup.stderrPath), "hello\n");
}

TEST(Process, StillRunningAtItsTimeOutIsKilled) {
  e2e::ProcessSetup setup;
  setup.argv = {"/bin/sleep", "60"};
  e2e::ProcessEnd end = e2e::AwaitProcess(e2e::StartProcess(setup), 0);
  EXPECT_TRUE(end.timedOut);
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(end.exitStatus, -1);
}

TEST(Process, StoppedBySigtermAndUnstartableOnes) {
  e2e::ProcessSetup sleeper;
  sleeper.argv = {"/bin/sleep", "60"};
  e2e::ProcessEnd stopped = e2e::StopProcess(e2e::StartProcess(sleeper));
  EXPECT_FALSE(stopped.exited);
  EXPECT_FALSE(stopped.timedOut);
  e2e::ProcessSetup missing;
  missing.argv = {"/nonexistent/program"};
  EXPECT_EQ(e2e::AwaitProcess(e2e::StartProcess(missing)).exitStatus, e2e::kNoExecStatus);
  e2e::ProcessSetup noInput = sleeper;
  noInput.stdinPath = "/nonexistent/input";
  EXPECT_EQ(e2e::AwaitProcess(e2e::StartProcess(noInput)).exitStatus, e2e::kNoStreamsStatus);
  EXPECT_EQ(e2e::StartProcess(e2e::ProcessSetup()), -1);
}

TEST(Process, ClosedStandardOutputRefusesWrites) {
  e2e::Workspace workspace;
  e2e::ProcessSetup setup = Shell("trap '' PIPE; printf x || echo refused >&2");
  setup.closedStdout = true;
  setup.stdoutPath = workspace.Path("out");
  setup.stderrPath = workspace.Path("err");
  EXPECT_EQ(e2e::AwaitProcess(e2e::StartProcess(setup)).exitStatus, 0);
  EXPECT_NE(e2e::ReadText(setup.stderrPath).find("refused"), std::string::npos);
  EXPECT_EQ(e2e::ReadText(setup.stdoutPath), "");
}

TEST(Environment, DropsLocaleToolSettingsAndPreloadOnly) {
  const std::vector<std::string> entries = {"PATH=/bin",
                                            "LANG=de_DE.UTF-8",
                                            "LANGUAGE=de",
                                            "LC_ALL=C",
                                            "LC_MESSAGES=fr",
                                            "QUORVEL_EMU_BUS=s",
                                            "QUORVEL_EMULATOR_LIB=l",
                                            "LD_PRELOAD=x.so",
                                            "HOME=/root",
                                            "LANGX=kept",
                                            "MY_LC_ALL=kept",
                                            "LD_LIBRARY_PATH=/lib"};
  EXPECT_EQ(e2e::CleanEnvironment(entries),
            (std::vector<std::string>{"PATH=/bin", "HOME=/root", "LANGX=kept", "MY_LC_ALL=kept",
                                      "LD_LIBRARY_PATH=/lib"}));
}

}  // namespace
