// Scratch files of the runs: a directory that goes when the test ends, and
// whole-file reads and writes.
#ifndef QUORVEL_TESTS_SUPPORT_WORKSPACE_H_
#define QUORVEL_TESTS_SUPPORT_WORKSPACE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The whole file; empty when it cannot be read.
std::string ReadText(const std::string& path);
// Replaces the file with the text; false when it could not be written.
bool WriteText(const std::string& path, const std::string& text);
// Writes the bytes at offset of a new file; what lies before is a hole that
// takes no disk and reads as zeros. False when it could not be written.
bool WriteSparse(const std::string& path, int64_t offset, const std::vector<uint8_t>& bytes);
// prefix, this process's id and a number of its own, all in lower-case hex:
// no other name made by this or another process at the same time is equal.
std::string UniqueName(const std::string& prefix);

// A scratch directory, removed with everything in it when the test ends.
struct Workspace {
  std::string dir;  // empty when no directory could be made
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // Writes the bytes and returns the file's path (empty when it failed).
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // Makes a new directory prefix + number inside; returns its path, empty
  // when it could not be made.
  std::string NewDirectory(const std::string& prefix) const;
};

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_WORKSPACE_H_
