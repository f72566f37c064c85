// SPDX-License-Identifier: MIT
// The seam between the tool and its system: system calls, no rules. Each
// reports what it ran into and decides nothing; none throws, but for memory
// of its own (std::bad_alloc). platform_posix.cc (POSIX, macOS, the BSDs) and
// platform_win32*.cc implement it; tests stand a fake in its place.
#ifndef TRACKMETER_PLATFORM_PLATFORM_H_
#define TRACKMETER_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trackmeter {

enum class Error {
  kNone,
  kNotFound,       // no such file or directory, or a component is no directory
  kExists,         // a file of that name is there already
  kBusy,           // held by another program for a moment (Windows)
  kNoMemory,       // the machine ran out of memory
  kNoDescriptors,  // ... or of file descriptors (handles)
  kClosed,         // written to a pipe whose reader went away
  kOther,          // no permission, a path past the limit, a read error, ...
};

// What the system puts between path components: "/" on POSIX, "\" on Windows.
extern const char kPathSeparator;

enum class Stream { kOutput, kError };

enum class Kind { kFile, kDirectory, kOther, kMissing };  // kMissing: a broken link

struct RawEntry {  // one entry of a directory, as the system lists it
  std::string name;
  Kind kind;  // of what it leads to, links followed
  bool link;  // a symbolic link or a junction, whatever it leads to
};

struct DirectoryId {  // to notice a link that leads back up the tree
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t inode_high = 0;  // the upper half of a 128-bit file id, if any
  bool operator==(const DirectoryId& o) const {
    return device == o.device && inode == o.inode && inode_high == o.inode_high;
  }
};

struct FileStatus {  // of a path, its last component not followed
  bool regular = false;   // POSIX: a plain file (no link, no device); Windows: no directory
  bool writable = false;  // this process may write it (Windows: not read-only)
  bool has_owner = false;  // the three below are known (POSIX)
  uint32_t owner = 0, group = 0, mode = 0;
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

// A file being written; closed when destroyed, if Close was not called.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // All of data, or an error (a full disk).
  virtual Error Write(const void* data, std::size_t size) = 0;
  // Pushes what was written to the disk.
  virtual Error Flush() = 0;
  virtual Error Close() = 0;
  // kUnchanged leaves either as it is; without owners (Windows), nothing.
  virtual Error SetOwner(uint32_t owner, uint32_t group) = 0;
  virtual Error SetMode(uint32_t mode) = 0;
  static constexpr uint32_t kUnchanged = 0xFFFFFFFF;
};

// What a new thread runs; it outlives the thread.
class ThreadBody {
 public:
  virtual void Run() = 0;

 protected:
  ~ThreadBody() = default;
};

// A thread from StartThread, to be joined once.
using ThreadHandle = uintptr_t;

class System {
 public:
  virtual ~System() = default;
  // Every entry of directory path ("" is the current one), "." and ".."
  // included, in the system's order.
  virtual Error ListDirectory(const std::string& path, std::vector<RawEntry>* entries) = 0;
  virtual Error EnterDirectory(const std::string& path) = 0;
  // The absolute path of the current directory, of any length.
  virtual Error CurrentDirectory(std::string* path) = 0;
  // kOther also when the system gives no usable identity.
  virtual Error IdentifyDirectory(const std::string& path, DirectoryId* id) = 0;
  // Opens a regular file, never blocking; anything else (a FIFO, a device)
  // is kOther, asked before it is opened (opening a device does things).
  virtual Error OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) = 0;
  virtual Error StatusOf(const std::string& path, FileStatus* status) = 0;
  // Creates a new file, kExists if one is there, with the permissions of a
  // plain create.
  virtual Error CreateExclusive(const std::string& path, std::unique_ptr<OutputFile>* file) = 0;
  // Until called again ("" for none), a signal or console event that ends
  // the process first removes path.
  virtual Error RemoveOnEnd(const std::string& path) = 0;
  // Puts from in place of to in one step, replacing any file or link at to
  // (never written through), and makes it last through a power loss.
  virtual Error RenameOver(const std::string& from, const std::string& to) = 0;
  virtual Error Remove(const std::string& path) = 0;
  virtual unsigned long ProcessId() = 0;
  // The CPUs the process may run on (its affinity mask), else those online.
  virtual unsigned CountCpus() = 0;
  // How many more files the process may open now, counted up to most.
  virtual unsigned FreeDescriptors(unsigned most) = 0;
  // A limit is set on the process's memory (its address space or data).
  virtual bool MemoryLimited() = 0;
  // The most stack the main thread may grow to.
  virtual std::size_t MainStackLimit() = 0;
  // Runs body on a new thread with stack bytes of stack (0: the system's
  // default); kNoMemory or kOther (a limit on threads) when it cannot.
  virtual Error StartThread(std::size_t stack, ThreadBody* body, ThreadHandle* thread) = 0;
  virtual void JoinThread(ThreadHandle thread) = 0;
  // The width of stream's terminal (a console), 0 if unknown; -1: no terminal.
  virtual int TerminalColumns(Stream stream) = 0;
  // Where stream is a console that shows another code page (Windows),
  // writes text (UTF-8) as its characters; else false, nothing written.
  virtual bool WriteConsole(Stream stream, std::string_view text) = 0;
};

// The system the tool runs on.
System& SystemCalls();

// A reader of standard output that goes away (trackmeter | head) does not
// end the process, and bytes go out as they are (no "\r\n" on Windows).
void PrepareStandardOutput();
// Writes all of size bytes to file's descriptor, past stdio's buffer:
// waits while a pipe set not to block is full, and goes on after an
// interrupted or partial write.
Error WriteAll(std::FILE* file, const void* data, std::size_t size);
// The command line as UTF-8, whatever the code page (Windows).
std::vector<std::string> CommandLine(int argc, const char* const* argv);

}  // namespace trackmeter

#endif  // TRACKMETER_PLATFORM_PLATFORM_H_
