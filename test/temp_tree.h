// SPDX-License-Identifier: MIT
// Helpers for tests that work on real files: a temporary tree that cleans up
// after itself, and running the built tool on it.
#ifndef TRACKMETER_TEST_TEMP_TREE_H_
#define TRACKMETER_TEST_TEMP_TREE_H_

// AddressSanitizer and ThreadSanitizer reserve terabytes of address space
// for themselves, and their checks need file descriptors of their own:
// neither kind of shortage can be tried on such a build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TRACKMETER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TRACKMETER_SANITIZED 1
#endif
#endif

#include <functional>
#include <string>
#include <vector>

namespace trackmeter {

// A fresh directory below $TMPDIR (or /tmp), removed with all it holds.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  // root/relative.
  std::string Path(const std::string& relative) const;
  // Writes root/relative, making its directories first.
  void Write(const std::string& relative, const std::string& bytes) const;
  void MakeDir(const std::string& relative) const;

 private:
  std::string root_;
};

// Makes dir the current directory for as long as it lives.
class ScopedDirectory {
 public:
  explicit ScopedDirectory(const std::string& dir);
  ~ScopedDirectory();
  ScopedDirectory(const ScopedDirectory&) = delete;
  ScopedDirectory& operator=(const ScopedDirectory&) = delete;

 private:
  std::string old_;
};

// The whole content of path; empty if it cannot be read.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// Names in dir, sorted, without "." and "..".
std::vector<std::string> ListDir(const std::string& dir);

struct RunResult {
  int status = -1;  // exit status, or -1 if the tool did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the program with args in directory cwd. With as_nobody (root only),
// the child drops to uid and gid 65534 first, so that file permissions
// hold for it. in_child, if given, runs in the child just before the
// program starts (to set limits, say). With err_on_terminal, its standard
// error is a terminal of its own, and err holds what that terminal received.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, bool as_nobody = false,
                     const std::function<void()>& in_child = nullptr,
                     bool err_on_terminal = false);

// A cross build's emulator (as CMAKE_CROSSCOMPILING_EMULATOR gives it),
// through which the built programs start; empty in a native build.
const std::vector<std::string>& Emulator();

// Replaces this process with the built program, through the emulator if
// there is one. Returns only if it cannot.
void ExecBuilt(const std::string& program, const std::vector<std::string>& args);

// Runs the built trackmeter.
RunResult RunTrackmeter(const std::vector<std::string>& args,
                        const std::string& cwd, bool as_nobody = false,
                        const std::function<void()>& in_child = nullptr);

// Gives path and everything below it to uid and gid 65534.
void ChownToNobody(const std::string& path);

// The lines a successful run starts with, for base directory absolute.
std::string Header(const std::string& absolute);

// A short Ogg Vorbis file, 0.25 s, made once.
const std::string& Short();

}  // namespace trackmeter

#endif  // TRACKMETER_TEST_TEMP_TREE_H_
