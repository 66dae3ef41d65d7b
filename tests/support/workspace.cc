#include "support/workspace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace e2e {
namespace {

std::atomic<unsigned> g_counter{0};

std::string HexNumber(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%lx", value);
  return text;
}

}  // namespace

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool WriteSparse(const std::string& path, int64_t offset, const std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0)
    return false;
  const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), offset);
  return close(fd) == 0 && written == static_cast<ssize_t>(bytes.size());
}

std::string UniqueName(const std::string& prefix) {
  return prefix + HexNumber(static_cast<unsigned long>(getpid())) + "-" + HexNumber(g_counter++);
}

Workspace::Workspace() {
  // Lower case only: paths typed at the prompt may be lowercased.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
    std::string path = (std::filesystem::temp_directory_path() / "quorvel-e2e-").string() +
                       HexNumber(static_cast<unsigned long>(getpid())) + "-" + HexNumber(random());
    if (mkdir(path.c_str(), 0700) == 0)
      dir = path;
  }
}

Workspace::~Workspace() {
  std::error_code ignored;
  if (!dir.empty())
    std::filesystem::remove_all(dir, ignored);
}

std::string Workspace::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::string path = Path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? path : std::string();
}

std::string Workspace::NewDirectory(const std::string& prefix) const {
  std::string path = Path(prefix + HexNumber(g_counter++));
  return mkdir(path.c_str(), 0700) == 0 ? path : std::string();
}

}  // namespace e2e
