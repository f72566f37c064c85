// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "common/shortage.h"
#include "fake_status.h"
#include "fake_system.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;

// An in-memory tree: each directory lists its entries in the order given
// here; a directory may carry an identity, to model links.
struct MemoryTree : FakeSystem {
  std::map<std::string, std::vector<RawEntry>> dirs;  // "" is the base
  std::map<std::string, DirectoryId> ids;
  std::map<std::string, Error> errors;  // of listing a directory
  Error ListDirectory(const std::string& path, std::vector<RawEntry>* entries) override {
    if (errors.count(path) != 0) return errors[path];
    if (dirs.count(path) == 0) return Error::kNotFound;
    *entries = dirs[path];
    return Error::kNone;
  }
  Error IdentifyDirectory(const std::string& path, DirectoryId* id) override {
    if (ids.count(path) == 0) return Error::kOther;
    *id = ids[path];
    return Error::kNone;
  }
};

RawEntry Dir(const std::string& name, bool link = false) { return {name, Kind::kDirectory, link}; }
RawEntry File(const std::string& name) { return {name, Kind::kFile, false}; }

std::string J(const std::string& a, const std::string& b) { return a + kPathSeparator + b; }

FileList Scan(System& system, FakeStatus* status = nullptr) {
  FakeStatus quiet;
  FileList files;
  ScanDirectory(system, status ? *status : quiet, "",
                [&](std::string path) { files.push_back(std::move(path)); });
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

TEST(ScanDirectoryTest, DepthFirstInByteOrderWithSubdirectoryFilesInPlace) {
  MemoryTree t;
  t.dirs[""] = {Dir("."),
                Dir(".."),
                File("z.ogg"),
                Dir("music"),
                File("a.ogg"),
                File("Durations.bin"),
                File(".hidden.ogg"),
                Dir("box.ogg"),
                File("A.OGG")};
  t.dirs["music"] = {Dir("."), Dir(".."), File("outro.ogg"), Dir("sfx"), File("intro.ogg")};
  t.dirs[J("music", "sfx")] = {File("boom.ogg"), {"fifo.ogg", Kind::kOther, false}};
  t.dirs["box.ogg"] = {Dir("a")};  // a directory is never taken as a file
  t.dirs[J("box.ogg", "a")] = {File("x.ogg")};
  FakeStatus status;
  EXPECT_THAT(Scan(t, &status), ElementsAre(".hidden.ogg", "a.ogg", J(J("box.ogg", "a"), "x.ogg"),
                                            J("music", "intro.ogg"), J("music", "outro.ogg"),
                                            J(J("music", "sfx"), "boom.ogg"),
                                            J(J("music", "sfx"), "fifo.ogg"), "z.ogg"));
  EXPECT_EQ(status.said.back(), "found 8");
}

TEST(ScanDirectoryTest, UnreadableDirectoryIsNamedAndAddsNothingAndTheWalkGoesOn) {
  MemoryTree t;
  t.dirs[""] = {Dir("a"), Dir("gone"), File("after.ogg")};
  t.dirs["a"] = {Dir("locked"), File("in.ogg")};
  t.errors[J("a", "locked")] = Error::kOther;
  // "gone" has no listing: it vanished while the walk ran, which is no error.
  FakeStatus status;
  EXPECT_THAT(Scan(t, &status), ElementsAre(J("a", "in.ogg"), "after.ogg"));
  EXPECT_THAT(status.said, ElementsAre("found 1", "unreadable " + J("a", "locked"), "found 2"));
  // The base is ".", and a shortage is no unreadable directory: it ends the run.
  t.errors[""] = Error::kOther;
  Scan(t, &status);
  EXPECT_EQ(status.said.back(), "unreadable .");
  t.errors[""] = Error::kNoMemory;
  EXPECT_THROW(Scan(t), std::bad_alloc);
  t.errors[""] = Error::kNoDescriptors;
  EXPECT_THROW(Scan(t), DescriptorShortage);
}

TEST(ScanDirectoryTest, LinkBackToAnAncestorIsNotEnteredButASecondLinkElsewhereIs) {
  MemoryTree t;
  t.dirs[""] = {Dir("a"), Dir("b")};
  t.dirs["a"] = {Dir("loop", true), Dir("wide"), File("x.ogg")};
  t.dirs[J("a", "loop")] = {File("x.ogg")};  // what the loop would show
  t.dirs[J("a", "wide")] = {File("y.ogg")};
  t.dirs["b"] = {File("x.ogg")};
  t.ids[""] = {1, 1};
  t.ids["a"] = {1, 2};
  t.ids[J("a", "loop")] = {1, 2};     // leads back to a
  t.ids[J("a", "wide")] = {1, 2, 5};  // a 128-bit id whose low half is a's
  t.ids["b"] = {1, 2};                // the same folder as a, reached twice
  EXPECT_THAT(Scan(t), ElementsAre(J(J("a", "wide"), "y.ogg"), J("a", "x.ogg"), J("b", "x.ogg")));
}

// The real platform, on trees on disk.

// Runs the walk with tree's root as the current directory.
FileList ScanTree(const TempTree& tree) {
  char old[4096];
  EXPECT_NE(getcwd(old, sizeof old), nullptr);
  EXPECT_EQ(SystemCalls().EnterDirectory(tree.root()), Error::kNone);
  const FileList files = Scan(SystemCalls());
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
  EXPECT_THAT(ScanTree(tree), ElementsAre(".hidden/h.ogg", "a/b/c/d.ogg", "a/broken.ogg",
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
