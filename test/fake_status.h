// SPDX-License-Identifier: MIT
// A status that keeps what a run reports, one short line per call, for
// tests of the stages.
#ifndef TRACKMETER_TEST_FAKE_STATUS_H_
#define TRACKMETER_TEST_FAKE_STATUS_H_

#include <atomic>
#include <string>
#include <vector>

#include "console/status.h"

namespace trackmeter {

class FakeStatus : public Status {
 public:
  std::vector<std::string> said;  // all but the passes, which any thread may report
  std::atomic<uint64_t> passes_tried{0};

  void Banner() override { said.push_back("banner"); }
  void Help() override { said.push_back("help"); }
  void Version() override { said.push_back("version"); }
  void CannotEnterBase(const std::string& b) override { said.push_back("cannot enter " + b); }
  void BaseEntered(const std::string& a) override { said.push_back("base " + a); }
  void DirectoryUnreadable(const std::string& p) override { said.push_back("unreadable " + p); }
  void FileFound(std::size_t n) override { said.push_back("found " + std::to_string(n)); }
  void NoOggsFound() override { said.push_back("no oggs"); }
  void FileMeasured(const std::string& p, Outcome o, std::size_t i, std::size_t n) override {
    const char* what[] = {"measured", "could not open", "not ogg vorbis"};
    said.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + p + ": " +
                   what[static_cast<int>(o)]);
  }
  void FoldedDuplicate(const std::string& a, const std::string& b) override {
    said.push_back("folded " + a + " " + b);
  }
  void Inseparable(const std::string& a, const std::string& b) override {
    said.push_back("inseparable " + a + " " + b);
  }
  void PassTried(uint64_t) override { ++passes_tried; }
  void NoMultiplier(std::size_t n) override {
    said.push_back("no multiplier " + std::to_string(n));
  }
  void CouldNotWrite() override { said.push_back("could not write"); }
  void Generated(std::size_t n) override { said.push_back("generated " + std::to_string(n)); }
  void OutOfMemory() override { said.push_back("out of memory"); }
  void TooManyOpenFiles() override { said.push_back("too many open files"); }
  void JobsIgnored(const std::string& v, unsigned w) override {
    said.push_back("jobs ignored " + v + " " + std::to_string(w));
  }
};

}  // namespace trackmeter

#endif  // TRACKMETER_TEST_FAKE_STATUS_H_
