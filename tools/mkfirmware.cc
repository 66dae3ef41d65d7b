// quorvel-mkfirmware: writes firmware program files for tests, benchmarks and
// demonstrations, built by the firmware builder.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "firmware_builder.h"

namespace {

const char kUsage[] =
    "usage: quorvel-mkfirmware COMMAND [OPTIONS] --out PATH\n"
    "\n"
    "commands:\n"
    "  one-part      one image: header, body, 8 filler bytes, SHA-256 digest\n"
    "  two-part      64 KiB lead-in, Controller image at 0x10000, App image at 0x30000\n"
    "  platform3     one image behind junk, at a multiple of 4096 (--offset)\n"
    "  passthrough   headerless program bytes (--size)\n"
    "\n"
    "one-part and platform3 options:\n"
    "  --version MM.mm.RRRR.BBBBBBBB   image version, hexadecimal (default 01.00.0000.00000000)\n"
    "  --size N            body size in bytes (default 1024)\n"
    "  --header-word N     header word (default 0)\n"
    "  --header-size N     header size, at least 32 (default 32)\n"
    "  --fill N            0xFF bytes after the image (default 0)\n"
    "  --seed N            seed of the body bytes (default 1)\n"
    "  --corrupt-digest    store a digest that does not match\n"
    "  --offset N          platform3 only: image start in the file (default 8192)\n"
    "\n"
    "two-part options:\n"
    "  --controller-version V, --app-version V       (defaults 01.00.0000.00000000, 02.00...)\n"
    "  --controller-size N, --app-size N             body sizes (default 1024)\n"
    "  --controller-header-word N, --app-header-word N   (defaults 0 and 1)\n"
    "  --controller-header-size N, --app-header-size N   (default 32)\n"
    "  --controller-end N, --app-end N   where each part's data ends, from its header\n"
    "  --tail-fill N       0xFF bytes after the App part's data (default 256)\n"
    "  --seed N            seed of the body bytes\n"
    "\n"
    "passthrough options:\n"
    "  --size N            program size in bytes (required)\n"
    "  --seed N            seed of the bytes (default 3)\n"
    "\n"
    "Numbers are decimal or hexadecimal with 0x.\n";

using Options = std::map<std::string, std::string>;

bool Fail(const std::string& message) {
  std::fprintf(stderr, "quorvel-mkfirmware: %s\n", message.c_str());
  return false;
}

bool ReadOptions(int argc, char** argv, const std::set<std::string>& allowed, Options* options) {
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--corrupt-digest" && allowed.count(name) != 0) {
      (*options)[name] = "1";
      continue;
    }
    if (allowed.count(name) == 0) {
      return Fail("unknown option " + name + " (see --help)");
    }
    if (i + 1 >= argc) {
      return Fail("option " + name + " needs a value");
    }
    (*options)[name] = argv[++i];
  }
  if (options->count("--out") == 0) {
    return Fail("--out PATH is required");
  }
  return true;
}

bool NumberOption(const Options& options, const std::string& name, uint64_t limit,
                  uint64_t* value) {
  const auto found = options.find(name);
  if (found == options.end()) {
    return true;  // keeps the default
  }
  if (!fwbuild::ParseNumber(found->second, value) || *value > limit) {
    return Fail("bad number for " + name + ": " + found->second);
  }
  return true;
}

bool VersionOption(const Options& options, const std::string& name, fwbuild::Version* version) {
  const auto found = options.find(name);
  if (found != options.end() && !fwbuild::ParseVersion(found->second, version)) {
    return Fail("bad version for " + name + ": " + found->second + " (MM.mm.RRRR.BBBBBBBB)");
  }
  return true;
}

bool ImageOptionsFrom(const Options& options, const std::string& prefix,
                      fwbuild::ImageOptions* image) {
  uint64_t size = image->bodySize;
  uint64_t headerWord = image->headerWord;
  uint64_t headerSize = image->headerSize;
  uint64_t seed = image->seed;
  if (!VersionOption(options, "--" + prefix + "version", &image->version) ||
      !NumberOption(options, "--" + prefix + "size", 0x7FFFFFFF, &size) ||
      !NumberOption(options, "--" + prefix + "header-word", 0xFFFFFFFF, &headerWord) ||
      !NumberOption(options, "--" + prefix + "header-size", 0xFFFF, &headerSize) ||
      !NumberOption(options, "--seed", 0xFFFFFFFF, &seed)) {
    return false;
  }
  image->bodySize = static_cast<uint32_t>(size);
  image->headerWord = static_cast<uint32_t>(headerWord);
  image->headerSize = static_cast<uint16_t>(headerSize);
  image->seed = static_cast<uint32_t>(seed) + (prefix == "app-" ? 1 : 0);
  image->corruptDigest = options.count("--corrupt-digest") != 0;
  return true;
}

const std::set<std::string> kImageNames = {"--out",         "--version",       "--size",
                                           "--header-word", "--header-size",   "--fill",
                                           "--seed",        "--corrupt-digest"};

bool BuildOnePart(const Options& options, bool withOffset, std::vector<uint8_t>* file) {
  fwbuild::ImageOptions image;
  uint64_t fill = 0;
  uint64_t offset = 8192;
  if (!ImageOptionsFrom(options, "", &image) || !NumberOption(options, "--fill", 1u << 30, &fill) ||
      !NumberOption(options, "--offset", 1u << 30, &offset)) {
    return false;
  }
  *file = withOffset ? fwbuild::BuildOffsetImageFile(image, offset, fill)
                     : fwbuild::BuildOnePartFile(image, fill);
  return true;
}

bool BuildTwoPart(const Options& options, std::vector<uint8_t>* file) {
  fwbuild::TwoPartOptions parts;
  uint64_t controllerEnd = 0;
  uint64_t appEnd = 0;
  uint64_t tail = parts.tailFill;
  if (!ImageOptionsFrom(options, "controller-", &parts.controller) ||
      !ImageOptionsFrom(options, "app-", &parts.app) ||
      !NumberOption(options, "--controller-end", 0x20000, &controllerEnd) ||
      !NumberOption(options, "--app-end", 1u << 30, &appEnd) ||
      !NumberOption(options, "--tail-fill", 1u << 30, &tail)) {
    return false;
  }
  parts.controllerDataEnd = controllerEnd;
  parts.appDataEnd = appEnd;
  parts.tailFill = tail;
  *file = fwbuild::BuildTwoPartFile(parts);
  return !file->empty() || Fail("the Controller part does not fit below 0x30000");
}

bool BuildPassthroughFile(const Options& options, std::vector<uint8_t>* file) {
  uint64_t size = 0;
  uint64_t seed = 3;
  if (options.count("--size") == 0) {
    return Fail("passthrough needs --size N");
  }
  if (!NumberOption(options, "--size", 1u << 30, &size) ||
      !NumberOption(options, "--seed", 0xFFFFFFFF, &seed)) {
    return false;
  }
  *file = fwbuild::BuildPassthrough(size, static_cast<uint32_t>(seed));
  return true;
}

std::set<std::string> AllowedOptions(const std::string& command) {
  if (command == "one-part") {
    return kImageNames;
  }
  if (command == "platform3") {
    std::set<std::string> names = kImageNames;
    names.insert("--offset");
    return names;
  }
  if (command == "two-part") {
    return {"--out",
            "--seed",
            "--controller-version",
            "--app-version",
            "--controller-size",
            "--app-size",
            "--controller-header-word",
            "--app-header-word",
            "--controller-header-size",
            "--app-header-size",
            "--controller-end",
            "--app-end",
            "--tail-fill"};
  }
  if (command == "passthrough") {
    return {"--out", "--size", "--seed"};
  }
  return {};
}

bool Build(const std::string& command, const Options& options, std::vector<uint8_t>* file) {
  if (command == "two-part") {
    return BuildTwoPart(options, file);
  }
  if (command == "passthrough") {
    return BuildPassthroughFile(options, file);
  }
  return BuildOnePart(options, command == "platform3", file);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h" || (i == 1 && word == "help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  const std::set<std::string> allowed = AllowedOptions(command);
  if (allowed.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Options options;
  std::vector<uint8_t> file;
  if (!ReadOptions(argc, argv, allowed, &options) || !Build(command, options, &file)) {
    return 2;
  }
  const std::string& path = options.at("--out");
  if (!fwbuild::WriteFile(path, file)) {
    Fail("cannot write " + path);
    return 1;
  }
  std::printf("%s: %s, %zu bytes\n", path.c_str(), command.c_str(), file.size());
  return 0;
}
