// SPDX-License-Identifier: MIT
// The POSIX calls on a real tree.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/platform.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;

TEST(PosixSystemTest, ListsEveryEntryWithItsKindLinksFollowed) {
  TempTree tree;
  tree.Write("d/b.ogg", "");
  tree.MakeDir("d/sub");
  ASSERT_EQ(symlink("sub", tree.Path("d/tosub").c_str()), 0);
  ASSERT_EQ(symlink("b.ogg", tree.Path("d/tofile").c_str()), 0);
  ASSERT_EQ(symlink("missing", tree.Path("d/broken").c_str()), 0);
  ASSERT_EQ(mkfifo(tree.Path("d/fifo").c_str(), 0644), 0);
  std::vector<RawEntry> entries;
  ASSERT_EQ(SystemCalls().ListDirectory(tree.Path("d"), &entries), Error::kNone);
  std::sort(entries.begin(), entries.end(),
            [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
  std::vector<std::string> seen;
  const char* kinds[] = {"file", "dir", "other", "missing"};
  for (const RawEntry& e : entries)
    seen.push_back(e.name + " " + kinds[static_cast<int>(e.kind)] + (e.link ? " link" : ""));
  EXPECT_THAT(seen, ElementsAre(". dir", ".. dir", "b.ogg file", "broken missing link",
                                "fifo other", "sub dir", "tofile file link", "tosub dir link"));
  tree.Write("file", "");
  for (const char* gone : {"none", "file"})
    EXPECT_EQ(SystemCalls().ListDirectory(tree.Path(gone), &entries), Error::kNotFound);
}

TEST(PosixSystemTest, OpenForReadingTakesOnlyRegularFiles) {
  TempTree tree;
  tree.Write("file.ogg", "bytes");
  ASSERT_EQ(mkfifo(tree.Path("fifo.ogg").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", tree.Path("zero.ogg").c_str()), 0);
  System& s = SystemCalls();
  std::unique_ptr<InputFile> f;
  ASSERT_EQ(s.OpenForReading(tree.Path("file.ogg"), &f), Error::kNone);
  EXPECT_EQ(f->Size(), 5u);
  char buf[8] = {};
  EXPECT_EQ(f->ReadAt(1, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf), "ytes");
  EXPECT_EQ(s.OpenForReading(tree.Path("fifo.ogg"), &f), Error::kOther);  // must not block
  EXPECT_EQ(s.OpenForReading(tree.Path("zero.ogg"), &f), Error::kOther);
  EXPECT_EQ(s.OpenForReading(tree.Path("missing.ogg"), &f), Error::kNotFound);
  EXPECT_EQ(s.OpenForReading(tree.root(), &f), Error::kOther);
}

TEST(PosixSystemTest, NewFilesAreExclusiveWithPlainPermissionsAndRenameOver) {
  TempTree tree;
  System& s = SystemCalls();
  const mode_t mask = umask(022);
  std::unique_ptr<OutputFile> out;
  ASSERT_EQ(s.CreateExclusive(tree.Path("new"), &out), Error::kNone);
  EXPECT_EQ(s.CreateExclusive(tree.Path("new"), &out), Error::kExists);
  umask(mask);
  EXPECT_EQ(out->Write("x", 1), Error::kNone);
  EXPECT_EQ(out->SetMode(0604), Error::kNone);
  EXPECT_EQ(out->Close(), Error::kNone);
  FileStatus status;
  ASSERT_EQ(s.StatusOf(tree.Path("new"), &status), Error::kNone);
  EXPECT_TRUE(status.regular && status.writable && status.has_owner);
  EXPECT_EQ(status.mode & 07777, 0604u);
  ASSERT_EQ(symlink("new", tree.Path("link").c_str()), 0);
  ASSERT_EQ(s.StatusOf(tree.Path("link"), &status), Error::kNone);
  EXPECT_FALSE(status.regular);  // the link itself, not followed

  tree.Write("old", "old");
  EXPECT_EQ(s.RenameOver(tree.Path("new"), tree.Path("old")), Error::kNone);
  EXPECT_EQ(ReadBytes(tree.Path("old")), "x");
  tree.MakeDir("dir/full");
  tree.Write("another", "");
  EXPECT_NE(s.RenameOver(tree.Path("another"), tree.Path("dir")), Error::kNone);
}

TEST(PosixSystemTest, CurrentDirectoryHasNoLengthLimit) {
  TempTree tree;
  std::string dir;
  for (int i = 0; i < 30; ++i) dir += (i ? "/" : "") + std::string(120, 'a' + i % 26);
  tree.MakeDir(dir);
  const ScopedDirectory inside(tree.root());
  for (std::size_t from = 0; from < dir.size(); from += 121)
    ASSERT_EQ(SystemCalls().EnterDirectory(dir.substr(from, 120)), Error::kNone);
  std::string here;
  ASSERT_EQ(SystemCalls().CurrentDirectory(&here), Error::kNone);
  EXPECT_EQ(here, tree.root() + "/" + dir);
  EXPECT_EQ(SystemCalls().EnterDirectory("no such dir"), Error::kNotFound);
}

}  // namespace
}  // namespace trackmeter
