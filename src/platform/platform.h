// SPDX-License-Identifier: MIT
// The one seam between the tool and its operating system: searching a
// directory, entering the base directory, and the few file operations of
// reading an Ogg file and replacing the table. platform_posix.cc (POSIX,
// macOS and the BSDs) and platform_win32.cc implement it; tests replace it
// with fakes. Any call may throw ResourceShortage when the machine runs out
// of memory or of file descriptors.
#ifndef TRACKMETER_PLATFORM_PLATFORM_H_
#define TRACKMETER_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/shortage.h"

namespace trackmeter {

// What the walk puts between path components: "/" on POSIX.
extern const char kPathSeparator;

// How a directory search started.
enum class Listing {
  kEntries,     // Advance reaches the first entry
  kNone,        // nothing matched, or the directory is gone (removed or
                // replaced while the walk ran)
  kUnreadable,  // the directory could not be read: no permission, a path
                // past the system's limit, or an error partway through
};

// One search over the entries of a directory, in the manner of the classic
// find-first/find-next API.
class DirectorySearch {
 public:
  virtual ~DirectorySearch() = default;
  // Starts a search for pattern ("dir/*.*", "*.*"), relative to the current
  // directory. An unreadable directory gives no entries at all.
  virtual Listing Start(const std::string& pattern) = 0;
  // Moves to the next entry. False when that entry is the last one; the
  // entry reached is valid either way.
  virtual bool Advance() = 0;
  // The entry reached is "." or "..".
  virtual bool IsDots() const = 0;
  // The entry reached is a directory, or a link to one.
  virtual bool IsDirectory() const = 0;
  // The entry reached is a link (a junction on Windows), whatever it leads to.
  virtual bool IsLink() const = 0;
  virtual const std::string& Name() const = 0;
  virtual void End() = 0;
};

// Identity of a directory, to notice a link that leads back up the tree.
struct DirectoryId {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t inode_high = 0;  // the upper half of a 128-bit file id, if any
  bool operator==(const DirectoryId& o) const {
    return device == o.device && inode == o.inode && inode_high == o.inode_high;
  }
};

// A regular file open for reading at any offset; closed when destroyed.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // The size the file had when it was opened.
  virtual uint64_t Size() const = 0;
  // Reads up to size bytes at offset into buffer and returns how many were
  // read: fewer only at the end of the file, -1 on an error.
  virtual int64_t ReadAt(uint64_t offset, void* buffer, std::size_t size) = 0;
};

// A file being written; each step reports whether it succeeded.
class OutputFile {
 public:
  // Closes the file if Close was not called; the result is then lost.
  virtual ~OutputFile() = default;
  // False on an error or a short write (a full disk).
  virtual bool Write(const void* data, std::size_t size) = 0;
  // Pushes what was written to the disk.
  virtual bool Flush() = 0;
  virtual bool Close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::unique_ptr<DirectorySearch> NewSearch() = 0;
  // Makes path the current directory. False if it cannot be entered.
  virtual bool EnterDirectory(const std::string& path) = 0;
  // The absolute path of the current directory, of any length, as it was
  // entered: the start directory with the paths given to EnterDirectory
  // appended, "." and ".." folded by name, links not resolved.
  virtual std::string CurrentDirectory() = 0;
  // Identity of the directory at path ("" is the current one); nothing if
  // it cannot be found out or the system gives no usable one.
  virtual std::optional<DirectoryId> IdentifyDirectory(
      const std::string& path) = 0;
  // Whether bytes more memory could be had now. May answer true without
  // asking where no request of that size can be refused (no limit on the
  // process, a kernel that overcommits).
  virtual bool MemoryAvailable(std::size_t bytes) = 0;
  // Whether a request for memory can be refused before the machine's memory
  // runs out: a limit on the process's address space or data, or a kernel
  // that never overcommits.
  virtual bool MemoryMayBeRefused() = 0;

  // Opens path for reading without ever blocking. Null if it cannot be
  // opened or is not a regular file; the kind is asked before opening, so a
  // FIFO, a device or a reserved device name is never opened.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
  // Creates a new, empty file beside path, to be renamed over it later, and
  // stores its name in temp_path. It gets the permission bits (not setuid,
  // setgid or sticky) of an existing file at path, and its owner and group
  // as far as this process may set them; else those of a plain create (also
  // when path is a link, which is never followed). Null if it cannot be
  // created, or if path is a file the user may not write (protected on
  // purpose). Until the file is renamed or removed, a signal or console
  // event that ends the process removes it.
  virtual std::unique_ptr<OutputFile> CreateTemporary(
      const std::string& path, std::string* temp_path) = 0;
  // Puts from in place of to in one step, replacing any file or link at to,
  // and makes that last through a power loss. Once to is replaced, nothing
  // throws.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
};

// The platform the tool runs on.
Platform& SystemPlatform();

// Sets up standard output for a run: a reader that goes away (trackmeter |
// head) does not end the process, and bytes go out as they are (no
// line-end translation on Windows).
void PrepareStandardOutput();

// How many threads the tool may keep busy at once: the CPUs the process may
// run on (its affinity mask), and on Linux no more than its cgroup's CPU
// quota allows. At least 1.
unsigned AvailableCpus();

// Standard error is a terminal (a console on Windows) that a person reads.
bool StandardErrorIsTerminal();

}  // namespace trackmeter

#endif  // TRACKMETER_PLATFORM_PLATFORM_H_
