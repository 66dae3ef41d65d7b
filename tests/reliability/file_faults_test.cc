// Firmware files that are damaged or are not firmware files at all, given at
// the prompt and on the command line: the program refuses them before it
// touches the device, or, where the platform does not check a digest,
// sends exactly what it loaded.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "console/program.h"
#include "reliability/campaign_fixture.h"

namespace {

using campaign::CaseRun;
using campaign::Variant;

const char kPlatform3[] = "3";
const char kPlatform4[] = "4";

struct FileCase {
  std::string faultClass;
  std::string label;
  std::vector<std::string> options;  // after vid and pid
  bool accepted = false;
  std::string controllerAfter;  // when accepted
};

std::string Join(const std::vector<std::string>& tokens) {
  std::string line;
  for (const std::string& token : tokens)
    line += (line.empty() ? "" : " ") + token;
  return line;
}

// The version text of the 8 bytes at offset in the file, read the way the
// device reports it: major, minor, 16-bit revision, 32-bit build number.
std::string VersionAt(const std::vector<uint8_t>& bytes, size_t offset) {
  const uint8_t* v = bytes.data() + offset;
  char text[24];
  snprintf(text, sizeof text, "%02X-%02X-%02X%02X-%02X%02X%02X%02X", v[0], v[1], v[3], v[2], v[7],
           v[6], v[5], v[4]);
  return text;
}

class FileFaults : public CampaignTest {
 protected:
  void SetUp() override {
    CampaignTest::SetUp();
    ASSERT_FALSE(workspace_.dir.empty());
    // Readable for an unprivileged user too (see Unreadable).
    chmod(workspace_.dir.c_str(), 0755);
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return workspace_.Write(name, bytes);
  }

  // The device of the platform's variant: one that completes an update.
  static nlohmann::json DeviceFor(const std::string& platform) {
    return campaign::Variants().at(platform == kPlatform3 ? 7 : 12).device;
  }

  void Check(const FileCase& c) {
    std::string platform = "4";
    for (size_t i = 0; i + 1 < c.options.size(); ++i) {
      if (c.options[i] == "-s")
        platform = c.options[i + 1];
    }
    for (bool prompt : {true, false})
      CheckOne(c, DeviceFor(platform), prompt);
  }

 private:
  void CheckOne(const FileCase& c, const nlohmann::json& device, bool prompt) {
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::ResetProgramState();
    std::vector<std::string> args = {"248a", "8266"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (prompt)
      g_virtual.input.push_back("dfu " + Join(args));
    CaseRun run;
    int status = -1;
    harness::ArmHangGuard(120000);
    try {
      status = RunProgram(prompt ? std::vector<std::string>() : args);
      run.outcome.executed = true;
    } catch (const harness::ProgramHung&) {
      run.verdict.hung = true;
    }
    harness::DisarmHangGuard();
    harness::ResetProgramState();
    run.outcome.out = TakeOutput();
    g_virtual.now += 5000;
    run.device = emu::Record()["devices"]["dongle"];
    run.context =
        c.faultClass + " / " + c.label + (prompt ? " (prompt)" : " (command line)") +
        "\nrequests: " + e2e::CommandTrace(run.device) + "\noutput:\n" +
        run.outcome.out.substr(run.outcome.out.size() > 3000 ? run.outcome.out.size() - 3000 : 0);
    Judge(c, prompt, status, &run);
    campaign::ExpectClean(run, c.faultClass);
  }

  static void Judge(const FileCase& c, bool prompt, int status, CaseRun* run) {
    const std::string& out = run->outcome.out;
    bool success = out.find(">> DFU success! (") != std::string::npos;
    bool ran = success || out.find(">> DFU failed! (") != std::string::npos;
    run->outcome.result = success;
    campaign::Verdict& v = run->verdict;
    if (v.hung)
      return;
    // A refused command line that falls back to the prompt ends, at the end
    // of its input, as a usage error.
    const int expectedStatus = ran ? (success ? 0 : 1) : (prompt ? 0 : 2);
    v.expectationMet = ran == c.accepted && status == expectedStatus;
    if (!c.accepted) {
      if (!run->device["requests"].empty()) {
        v.wrongState.push_back("the device was addressed although the file was refused");
      }
      // At the prompt the refusal is reported; from the command line the
      // program says why on standard error and falls back to the prompt.
      if (prompt && out.find(">> : Parameter error!\n") == std::string::npos) {
        v.problems.push_back("no parameter error line");
      }
      if (!prompt && out.rfind("Quorvel DFU V0.0.7\n", 0) != 0) {
        v.problems.push_back("the program did not fall back to its prompt");
      }
      return;
    }
    if (!success)
      v.problems.push_back("the accepted file did not update the device");
    std::string controller = run->device["final"].value("controllerVersion", "");
    if (controller != c.controllerAfter) {
      v.wrongState.push_back("the device runs " + controller + ", not " + c.controllerAfter);
    }
  }

 protected:
  e2e::Workspace workspace_;
};

TEST_F(FileFaults, OnePartFileTruncatedAtEveryStructuralBoundary) {
  const campaign::Firmware& f = campaign::Files();
  const size_t image = f.onePartImageSize;
  const size_t full = f.onePartBytes.size();
  ASSERT_EQ(full, image + 40);
  const std::string version = VersionAt(f.onePartBytes, 20);
  for (size_t length : {size_t{1}, size_t{31}, size_t{32}, size_t{33}, image / 2, image - 1, image,
                        image + 7, image + 8, image + 39}) {
    std::vector<uint8_t> bytes(f.onePartBytes.begin(), f.onePartBytes.begin() + length);
    std::string path = Write("cut-" + std::to_string(length) + ".bin", bytes);
    // With the digest check the image needs its 40-byte trailer; without it
    // (platform 3), the image proper is enough.
    for (const char* platform : {kPlatform4, kPlatform3}) {
      bool loads = platform == kPlatform3 && length >= image;
      Check({"file truncated",
             "one part, " + std::to_string(length) + " of " + std::to_string(full) +
                 " bytes, platform " + platform,
             {"-s", platform, "-d", path},
             loads,
             version});
    }
  }
}

TEST_F(FileFaults, TwoPartFileTruncatedAtEveryStructuralBoundary) {
  const campaign::Firmware& f = campaign::Files();
  const size_t app = 0x30000;
  const size_t appImage = 32 + 1024;  // the App part's header and body
  const size_t controllerImage = 32 + 1024;
  for (size_t length : {size_t{0x10000 - 1}, size_t{0x10000 + 31}, size_t{0x10000 + 32},
                        size_t{0x20000}, app - 1, app + 31, app + 32, app + appImage - 1,
                        app + appImage, app + appImage + 8, app + appImage + 39}) {
    ASSERT_LT(length, f.twoPartBytes.size());
    std::vector<uint8_t> bytes(f.twoPartBytes.begin(), f.twoPartBytes.begin() + length);
    std::string path = Write("cut2-" + std::to_string(length) + ".bin", bytes);
    for (const char* platform : {kPlatform4, kPlatform3}) {
      // Platform 3 searches in 4096-byte steps without a digest check: cut
      // anywhere behind its Controller part, the file still holds that part,
      // found at 0x10000 as a one-part image.
      bool loads = platform == kPlatform3 && length >= 0x10000 + controllerImage;
      Check({"file truncated",
             "two parts, " + std::to_string(length) + " bytes, platform " + platform,
             {"-s", platform, "-d", path},
             loads,
             f.controllerVersion});
    }
  }
  // Cut right behind the App part's digest, the fill after it is lost only.
  size_t digestEnd = app + appImage + 40;
  std::vector<uint8_t> bytes(f.twoPartBytes.begin(), f.twoPartBytes.begin() + digestEnd);
  Check({"file truncated",
         "two parts, cut behind the App digest",
         {"-s", "4", "-d", Write("cut2-end.bin", bytes)},
         true,
         f.controllerVersion});
}

// Bit 2 is flipped: bit 0 would turn header word 0 into 1, which the
// emulated device takes for an App image.
struct Flip {
  const char* where;
  size_t offset;
  bool coveredByDigest;  // in the image proper or its stored digest
  bool breaksHeader;     // the header no longer reads as one
};

TEST_F(FileFaults, OneFlippedByteInHeaderBodyAndDigest) {
  const campaign::Firmware& f = campaign::Files();
  const size_t image = f.onePartImageSize;
  const std::vector<Flip> flips = {{"magic", 0, true, true},
                                   {"header word", 4, true, false},
                                   {"header size", 8, true, false},
                                   {"body size", 12, true, false},
                                   {"version", 20, true, false},
                                   {"reserved header byte", 30, true, false},
                                   {"body", 32 + 1000, true, false},
                                   {"last body byte", image - 1, true, false},
                                   {"bytes between image and digest", image + 3, false, false},
                                   {"digest", image + 8 + 5, true, false},
                                   {"last digest byte", image + 39, true, false}};
  for (const Flip& flip : flips) {
    std::vector<uint8_t> bytes = f.onePartBytes;
    bytes[flip.offset] ^= 0x04;
    std::string path = Write("flip-" + std::to_string(flip.offset) + ".bin", bytes);
    std::string version = VersionAt(bytes, 20);
    for (const char* platform : {kPlatform4, kPlatform3}) {
      bool digestChecked = platform != std::string(kPlatform3);
      bool loads = !flip.breaksHeader && !(digestChecked && flip.coveredByDigest);
      Check({"file with a flipped byte",
             std::string("one part, ") + flip.where + ", platform " + platform,
             {"-s", platform, "-d", path},
             loads,
             version});
    }
  }
}

TEST_F(FileFaults, OneFlippedByteInEitherPartOfATwoPartFile) {
  const campaign::Firmware& f = campaign::Files();
  const size_t app = 0x30000;
  const size_t appImage = 32 + 1024;
  // Only the App part's digest is checked; the device's CRC covers what is
  // sent, so a damaged Controller part is sent and flashed.
  const std::vector<Flip> flips = {{"Controller magic", 0x10000, false, true},
                                   {"Controller version", 0x10000 + 20, false, false},
                                   {"Controller body", 0x10000 + 32 + 500, false, false},
                                   {"App magic", app, true, true},
                                   {"App body", app + 32 + 500, true, false},
                                   {"App digest", app + appImage + 8, true, false}};
  for (const Flip& flip : flips) {
    std::vector<uint8_t> bytes = f.twoPartBytes;
    bytes[flip.offset] ^= 0x04;
    std::string path = Write("flip2-" + std::to_string(flip.offset) + ".bin", bytes);
    bool loads = !flip.breaksHeader && !flip.coveredByDigest;
    Check({"file with a flipped byte",
           std::string("two parts, ") + flip.where + ", platform 4",
           {"-s", "4", "-d", path},
           loads,
           VersionAt(bytes, 0x10000 + 20)});
  }
}

TEST_F(FileFaults, EmptyAndHugeFiles) {
  std::string empty = Write("empty.bin", {});
  Check({"file empty", "program", {"-s", "4", "-d", empty}, false, ""});
  Check({"file empty", "program, platform 3", {"-s", "3", "-d", empty}, false, ""});
  Check({"file empty", "passthrough", {"-s", "4", "-t", empty}, false, ""});
  // 2 GiB, sparse: refused before anything is read.
  std::string huge = workspace_.Path("huge.bin");
  { std::ofstream(huge).put('\0'); }
  std::filesystem::resize_file(huge, uint64_t{1} << 31);
  Check({"file huge", "program of 2 GiB", {"-s", "4", "-d", huge}, false, ""});
  Check({"file huge", "program of 2 GiB, platform 3", {"-s", "3", "-d", huge}, false, ""});
  Check({"file huge", "passthrough of 2 GiB", {"-s", "4", "-t", huge}, false, ""});
  // 64 MiB read whole: no image anywhere in it.
  std::string large = workspace_.Path("large.bin");
  { std::ofstream(large).put('\0'); }
  std::filesystem::resize_file(large, uint64_t{64} << 20);
  Check({"file huge", "program of 64 MiB without an image", {"-s", "4", "-d", large}, false, ""});
  // The passthrough limit, exactly and one byte over.
  std::vector<uint8_t> pass(0x20000, 0x5A);
  Check({"file huge",
         "passthrough of 131072 bytes",
         {"-s", "4", "-t", Write("pass-max.bin", pass), "-c", "0"},
         true,
         campaign::kInitialVersion});
  pass.push_back(0x5A);
  Check({"file huge",
         "passthrough of 131073 bytes",
         {"-s", "4", "-t", Write("pass-over.bin", pass)},
         false,
         ""});
}

TEST_F(FileFaults, PathsThatAreNotRegularFiles) {
  std::string dir = workspace_.Path("dir.bin");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  std::string fifo = workspace_.Path("fifo.bin");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string socketPath = workspace_.Path("socket.bin");
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  for (const std::string& path : {dir, fifo, socketPath, std::string("/dev/null")}) {
    // A FIFO must not block the program: it is refused before it is opened.
    Check({"file not regular", "program " + path, {"-s", "4", "-d", path}, false, ""});
    Check({"file not regular", "passthrough " + path, {"-s", "4", "-t", path}, false, ""});
  }
}

TEST_F(FileFaults, FilesThatCannotBeRead) {
  const campaign::Firmware& f = campaign::Files();
  std::string program = Write("locked.bin", f.onePartBytes);
  std::string pass = Write("locked-pass.bin", std::vector<uint8_t>(1000, 0x33));
  ASSERT_EQ(chmod(program.c_str(), 0), 0);
  ASSERT_EQ(chmod(pass.c_str(), 0), 0);
  // Permissions do not stop the superuser: the program is run as nobody.
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(seteuid(65534), 0);
  }
  Check({"file unreadable", "program", {"-s", "4", "-d", program}, false, ""});
  Check({"file unreadable", "passthrough", {"-s", "4", "-t", pass}, false, ""});
  Check(
      {"file unreadable", "missing", {"-s", "4", "-d", workspace_.Path("missing.bin")}, false, ""});
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
}

}  // namespace
