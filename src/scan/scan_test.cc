// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// An in-memory tree. Each directory lists its entries in the order a search
// gives them; a directory may carry an identity, to model links.
struct FakeEntry {
  std::string name;
  bool directory;
  bool link = false;
};

class FakePlatform : public Platform {
 public:
  std::map<std::string, std::vector<FakeEntry>> dirs;  // "" is the base
  std::map<std::string, DirectoryId> ids;
  std::set<std::string> unreadable;
  std::vector<std::string> patterns;  // every pattern a search started with

  class Search : public DirectorySearch {
   public:
    explicit Search(FakePlatform* p) : p_(p) {}
    Listing Start(const std::string& pattern) override {
      p_->patterns.push_back(pattern);
      const std::size_t slash = pattern.rfind(kPathSeparator);
      const std::string dir =
          slash == std::string::npos ? "" : pattern.substr(0, slash);
      if (p_->unreadable.count(dir) != 0) return Listing::kUnreadable;
      auto it = p_->dirs.find(dir);
      if (it == p_->dirs.end()) return Listing::kNone;
      entries_ = it->second;
      return entries_.empty() ? Listing::kNone : Listing::kEntries;
    }
    bool Advance() override { return ++at_ + 1 < entries_.size(); }
    bool IsDots() const override { return Name() == "." || Name() == ".."; }
    bool IsDirectory() const override { return entries_[at_].directory; }
    bool IsLink() const override { return entries_[at_].link; }
    const std::string& Name() const override { return entries_[at_].name; }
    void End() override { ++p_->ended; }

   private:
    FakePlatform* p_;
    std::vector<FakeEntry> entries_;
    std::size_t at_ = static_cast<std::size_t>(-1);
  };

  int ended = 0;

  std::unique_ptr<DirectorySearch> NewSearch() override {
    return std::make_unique<Search>(this);
  }
  bool EnterDirectory(const std::string&) override { return true; }
  std::string CurrentDirectory() override { return "/fake"; }
  std::optional<DirectoryId> IdentifyDirectory(const std::string& path) override {
    auto it = ids.find(path);
    if (it == ids.end()) return std::nullopt;
    return it->second;
  }
  bool MemoryAvailable(std::size_t) override { return true; }
  bool MemoryMayBeRefused() override { return false; }
  std::unique_ptr<InputFile> OpenForReading(const std::string&) override { return nullptr; }
  std::unique_ptr<OutputFile> CreateTemporary(const std::string&,
                                              std::string*) override {
    return nullptr;
  }
  bool ReplaceFile(const std::string&, const std::string&) override { return false; }
  void RemoveFile(const std::string&) override {}
};

std::string J(const std::string& a, const std::string& b) {
  return a + kPathSeparator + b;
}

FileList Scan(FakePlatform& p) {
  FileList files;
  ScanDirectory(p, "", &files);
  return files;
}

TEST(IsOggNameTest, TakesOnlyLowerCaseEndingAfterANonEmptyStem) {
  EXPECT_TRUE(IsOggName("a.ogg"));
  EXPECT_TRUE(IsOggName("..ogg"));
  EXPECT_FALSE(IsOggName(".ogg"));
  EXPECT_FALSE(IsOggName("ogg"));
  EXPECT_FALSE(IsOggName(""));
  EXPECT_FALSE(IsOggName("song.ogg.bak"));
  EXPECT_FALSE(IsOggName("song.OGG"));
  EXPECT_FALSE(IsOggName("song.Ogg"));
  EXPECT_FALSE(IsOggName("songogg"));
}

TEST(ScanDirectoryTest, EmptyBaseGivesNothing) {
  FakePlatform p;
  p.dirs[""] = {{".", true}, {"..", true}};
  EXPECT_THAT(Scan(p), IsEmpty());
  EXPECT_THAT(p.patterns, ElementsAre("*.*"));
}

TEST(ScanDirectoryTest, DepthFirstInSearchOrderWithSubdirectoryFilesInPlace) {
  FakePlatform p;
  p.dirs[""] = {{".", true}, {"..", true}, {"z.ogg", false}, {"music", true},
                {"a.ogg", false}, {"Durations.bin", false}, {".hidden.ogg", false}};
  p.dirs["music"] = {{".", true}, {"..", true}, {"intro.ogg", false}, {"sfx", true},
                     {"outro.ogg", false}};
  p.dirs[J("music", "sfx")] = {{"boom.ogg", false}};
  EXPECT_THAT(Scan(p), ElementsAre("z.ogg", J("music", "intro.ogg"),
                                   J(J("music", "sfx"), "boom.ogg"),
                                   J("music", "outro.ogg"), "a.ogg", ".hidden.ogg"));
  EXPECT_THAT(p.patterns, ElementsAre("*.*", J("music", "*.*"),
                                      J(J("music", "sfx"), "*.*")));
  EXPECT_EQ(p.ended, 3);
}

TEST(ScanDirectoryTest, DirectoriesAreNeverTakenAsFilesWhateverTheirName) {
  FakePlatform p;
  p.dirs[""] = {{"box.ogg", true}, {"a", true}};
  p.dirs["box.ogg"] = {{"x.ogg", false}};
  p.dirs["a"] = {{"b", true}};
  p.dirs[J("a", "b")] = {{"c", true}};
  p.dirs[J(J("a", "b"), "c")] = {{"d.ogg", false}, {"song.OGG", false}};
  EXPECT_THAT(Scan(p), ElementsAre(J("box.ogg", "x.ogg"),
                                   J(J(J("a", "b"), "c"), "d.ogg")));
}

TEST(ScanDirectoryTest, LastEntryOfASearchIsHandled) {
  FakePlatform p;
  p.dirs[""] = {{"only.ogg", false}};
  EXPECT_THAT(Scan(p), ElementsAre("only.ogg"));
}

TEST(ScanDirectoryTest, UnreadableDirectoryIsNamedAndAddsNothingAndTheWalkGoesOn) {
  FakePlatform p;
  p.dirs[""] = {{"a", true}, {"gone", true}, {"after.ogg", false}};
  p.dirs["a"] = {{"locked", true}, {"in.ogg", false}};
  p.unreadable = {J("a", "locked")};
  // "gone" has no listing: it vanished while the walk ran, which is no error.
  ::testing::internal::CaptureStdout();
  EXPECT_THAT(Scan(p), ElementsAre(J("a", "in.ogg"), "after.ogg"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "ERROR: Could not read directory: " + J("a", "locked") + "\n");
  EXPECT_EQ(p.ended, 4);  // even the failed searches are ended
}

TEST(ScanDirectoryTest, LinkBackToAnAncestorIsNotEnteredButASecondLinkElsewhereIs) {
  FakePlatform p;
  p.dirs[""] = {{"a", true}, {"b", true}};
  p.dirs["a"] = {{"loop", true}, {"wide", true}, {"x.ogg", false}};
  p.dirs[J("a", "loop")] = {{"x.ogg", false}};  // what the loop would show
  p.dirs[J("a", "wide")] = {{"y.ogg", false}};
  p.dirs["b"] = {{"x.ogg", false}};
  p.ids[""] = {1, 1};
  p.ids["a"] = {1, 2};
  p.ids[J("a", "loop")] = {1, 2};     // leads back to a
  p.ids[J("a", "wide")] = {1, 2, 5};  // a 128-bit id whose low half is a's
  p.ids["b"] = {1, 2};                // the same folder as a, reached twice
  EXPECT_THAT(Scan(p), ElementsAre(J(J("a", "wide"), "y.ogg"), J("a", "x.ogg"),
                                   J("b", "x.ogg")));
}

// The real platform, on trees on disk.

// Runs the walk with tree's root as the current directory.
FileList ScanTree(const TempTree& tree) {
  char old[4096];
  EXPECT_NE(getcwd(old, sizeof old), nullptr);
  EXPECT_TRUE(SystemPlatform().EnterDirectory(tree.root()));
  FileList files;
  ScanDirectory(SystemPlatform(), "", &files);
  EXPECT_EQ(chdir(old), 0);
  return files;
}

TEST(PosixScanTest, RealTreeWithLinksHiddenEntriesAndACycle) {
  TempTree tree;
  tree.Write("a.ogg", "");
  tree.Write(".hidden/h.ogg", "");
  tree.Write("box.ogg/x.ogg", "");
  tree.Write("a/b/c/d.ogg", "");
  tree.Write("Durations.bin", "old");
  ASSERT_EQ(symlink("..", tree.Path("a/b/up").c_str()), 0);  // a cycle
  ASSERT_EQ(symlink("../a.ogg", tree.Path("a/link.ogg").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", tree.Path("a/broken.ogg").c_str()), 0);
  EXPECT_THAT(ScanTree(tree),
              ElementsAre(".hidden/h.ogg", "a/b/c/d.ogg", "a/broken.ogg",
                          "a/link.ogg", "a.ogg", "box.ogg/x.ogg"));
}

TEST(PosixScanTest, DeepTreeNeedsNoDescriptorPerLevel) {
  TempTree tree;
  std::string dir;
  for (int i = 0; i < 1000; ++i) dir += (i ? "/d" : "d");
  tree.MakeDir(dir);
  tree.Write(dir + "/deep.ogg", "");
  EXPECT_THAT(ScanTree(tree), ElementsAre(dir + "/deep.ogg"));
}

}  // namespace
}  // namespace trackmeter
