// SPDX-License-Identifier: MIT
// The system's calls, passed on as they are, for test doubles that change
// one or two of them.
#ifndef TRACKMETER_TEST_FAKE_SYSTEM_H_
#define TRACKMETER_TEST_FAKE_SYSTEM_H_

#include "platform/platform.h"

namespace trackmeter {

class FakeSystem : public System {
 public:
  using Path = const std::string&;
  Error ListDirectory(Path p, std::vector<RawEntry>* e) override {
    return real.ListDirectory(p, e);
  }
  Error EnterDirectory(Path p) override { return real.EnterDirectory(p); }
  Error CurrentDirectory(std::string* p) override { return real.CurrentDirectory(p); }
  Error IdentifyDirectory(Path p, DirectoryId* id) override {
    return real.IdentifyDirectory(p, id);
  }
  Error OpenForReading(Path p, std::unique_ptr<InputFile>* f) override {
    return real.OpenForReading(p, f);
  }
  Error StatusOf(Path p, FileStatus* s) override { return real.StatusOf(p, s); }
  Error CreateExclusive(Path p, std::unique_ptr<OutputFile>* f) override {
    return real.CreateExclusive(p, f);
  }
  Error RemoveOnEnd(Path p) override { return real.RemoveOnEnd(p); }
  Error RenameOver(Path from, Path to) override { return real.RenameOver(from, to); }
  Error Remove(Path p) override { return real.Remove(p); }
  unsigned long ProcessId() override { return real.ProcessId(); }
  unsigned CountCpus() override { return real.CountCpus(); }
  unsigned FreeDescriptors(unsigned most) override { return real.FreeDescriptors(most); }
  bool MemoryLimited() override { return real.MemoryLimited(); }
  std::size_t MainStackLimit() override { return real.MainStackLimit(); }
  Error StartThread(std::size_t stack, ThreadBody* body, ThreadHandle* thread) override {
    return real.StartThread(stack, body, thread);
  }
  void JoinThread(ThreadHandle thread) override { real.JoinThread(thread); }
  int TerminalColumns(Stream) override { return -1; }
  bool WriteConsole(Stream, std::string_view) override { return false; }

  System& real = SystemCalls();
};

}  // namespace trackmeter

#endif  // TRACKMETER_TEST_FAKE_SYSTEM_H_
