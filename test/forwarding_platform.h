// SPDX-License-Identifier: MIT
// A platform that passes every call to the system's, for test doubles that
// change one or two of them.
#ifndef TRACKMETER_TEST_FORWARDING_PLATFORM_H_
#define TRACKMETER_TEST_FORWARDING_PLATFORM_H_

#include "platform/platform.h"

namespace trackmeter {

class ForwardingPlatform : public Platform {
 public:
  std::unique_ptr<DirectorySearch> NewSearch() override { return real().NewSearch(); }
  bool EnterDirectory(const std::string& p) override { return real().EnterDirectory(p); }
  std::string CurrentDirectory() override { return real().CurrentDirectory(); }
  std::optional<DirectoryId> IdentifyDirectory(const std::string& p) override {
    return real().IdentifyDirectory(p);
  }
  bool MemoryAvailable(std::size_t bytes) override { return real().MemoryAvailable(bytes); }
  bool MemoryMayBeRefused() override { return real().MemoryMayBeRefused(); }
  std::unique_ptr<InputFile> OpenForReading(const std::string& p) override {
    return real().OpenForReading(p);
  }
  std::unique_ptr<OutputFile> CreateTemporary(const std::string& p,
                                              std::string* temp) override {
    return real().CreateTemporary(p, temp);
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return real().ReplaceFile(from, to);
  }
  void RemoveFile(const std::string& p) override { real().RemoveFile(p); }

 protected:
  static Platform& real() { return SystemPlatform(); }
};

}  // namespace trackmeter

#endif  // TRACKMETER_TEST_FORWARDING_PLATFORM_H_
