// What the real program prints for one platform 4 update: the full step log
// at the prompt and only the compact progress line and the result on the
// command line, in English and in Chinese, both as UTF-8 and as GBK bytes.
#include <gtest/gtest.h>

#include "support/code_page.h"
#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/e2e_upgrade_rows.h"
#include "support/screen_text.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;

std::vector<std::string> SuccessLog(bool chinese) {
  auto t = [chinese](const std::string& english, const std::string& zh) {
    return chinese ? zh : english;
  };
  const std::string ok = ">> " + t(": Successful execution!", "：执行成功！") + " (T, T)";
  auto step = [&](const std::string& english, const std::string& zh) {
    return std::vector<std::string>{">> " + t(english, zh), ok};
  };
  std::vector<std::vector<std::string>> groups = {
      {">> >> " + t("Enter DFU", "进入 DFU"),
       ">> " + t("Querying USB device connections", "查询 USB 设备连接"),
       ">>" + t(": Query connected device: ", "：查询连接到设备：") + "\"" + e2e::kDongleName +
           "\""},
      step("Enter the forced upgrade mode", "进入强制升级模式"),
      step("The firmware upgrade mode is displayed", "进入固件升级模式"),
      step("Confirm the firmware upgrade information", "确认升级固件信息"),
      {">> " + t(": Firmware information:", "：固件信息：") + "Controller"},
      step("The firmware upgrade program starts", "开始升级固件程序"),
      {">> " + t("Download firmware program", "下载固件程序"),
       t(">> : Download progress: ", ">> ：下载进度: ") + "100%", ok},
      step("Download complete, verify the result", "下载完成，校验结果"),
      step("Restart the device", "重启设备"),
      {">> " +
           t("Wait for the reboot verification to update the version information",
             "等待重启校验更新版本信息") +
           t(" (Timeout: ", " (超时时间: ") + "20 s)",
       ">>: 100%", ok},
      step("Exit the forced upgrade mode", "退出强制升级模式"),
      {">> " + t("DFU success!", "DFU 成功！") + " (T)"}};
  std::vector<std::string> lines;
  for (const auto& group : groups)
    lines.insert(lines.end(), group.begin(), group.end());
  return lines;
}

std::vector<std::string> InGbk(const std::vector<std::string>& lines) {
  std::vector<std::string> converted;
  for (const std::string& line : lines)
    converted.push_back(e2e::ToGbk(line));
  return converted;
}

RunOptions Update(const std::string& lang, bool atThePrompt, const std::string& path) {
  RunOptions run;
  run.scenario = e2e::Scenario({e2e::OtherKeyboard(), e2e::Dongle()});
  run.lang = lang;
  if (atThePrompt) {
    run.input = "dfu 248a 8266 -s 4 -d " + path + "\n";
  } else {
    run.args = {"248a", "8266", "-s", "4", "-d", path};
  }
  return run;
}

std::vector<std::string> Screen(const RunResult& result) {
  return e2e::ScreenLines(e2e::MaskTimes(e2e::AfterHelp(result.out)));
}

TEST(OutputModes, StepLogAtThePromptAndCompactLineOnTheCommandLine) {
  e2e::Workspace workspace;
  e2e::Firmware firmware = e2e::WriteOnePart(workspace, "one.bin");
  std::vector<RunResult> results = e2e::RunAll(
      workspace,
      {Update("C", true, firmware.path), Update("C", false, firmware.path),
       Update("zh_CN.UTF-8", true, firmware.path), Update("zh_CN.UTF-8", false, firmware.path),
       Update("zh_CN.GBK", true, firmware.path), Update("zh_CN.GBK", false, firmware.path)});
  for (const RunResult& result : results) {
    EXPECT_FALSE(result.timedOut) << result.Describe();
    EXPECT_EQ(result.exitStatus, 0) << result.Describe();
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(e2e::CommandTrace(result.Device("dongle")), "H F+ E I S D V R Q0 F-");
  }
  EXPECT_EQ(Screen(results[0]), SuccessLog(false)) << results[0].out;
  EXPECT_EQ(Screen(results[1]),
            (std::vector<std::string>{">> : Download progress: 100%", ">> DFU success! (T)"}));

  EXPECT_EQ(Screen(results[2]), SuccessLog(true)) << results[2].out;
  EXPECT_EQ(Screen(results[3]),
            (std::vector<std::string>{">> ：下载进度: 100%", ">> DFU 成功！ (T)"}));

  EXPECT_EQ(Screen(results[4]), InGbk(SuccessLog(true))) << results[4].out;
  // "DFU 成功！" in code page 936, written as bytes.
  const std::string success = "\x44\x46\x55\x20\xB3\xC9\xB9\xA6\xA3\xA1";
  EXPECT_EQ(Screen(results[5]), (std::vector<std::string>{e2e::ToGbk(">> ：下载进度: ") + "100%",
                                                          ">> " + success + " (T)"}));
}

}  // namespace
