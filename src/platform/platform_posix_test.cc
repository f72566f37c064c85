// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Every entry a search over pattern reaches, with "/" after directories.
std::vector<std::string> ListAll(const std::string& pattern) {
  std::vector<std::string> seen;
  auto search = SystemPlatform().NewSearch();
  if (search->Start(pattern) == Listing::kEntries) {
    bool more = true;
    while (more) {
      more = search->Advance();
      seen.push_back(search->Name() + (search->IsDirectory() ? "/" : ""));
      EXPECT_EQ(search->IsDots(), search->Name() == "." || search->Name() == "..");
    }
  }
  search->End();
  return seen;
}

TEST(PosixSearchTest, ListsEveryEntryInByteOrderAndFollowsLinks) {
  TempTree tree;
  tree.Write("d/b.ogg", "");
  tree.Write("d/A.ogg", "");
  tree.Write("d/noext", "");
  tree.MakeDir("d/sub");
  ASSERT_EQ(symlink("sub", tree.Path("d/tosub").c_str()), 0);
  ASSERT_EQ(symlink("b.ogg", tree.Path("d/tofile").c_str()), 0);
  ASSERT_EQ(symlink("missing", tree.Path("d/broken").c_str()), 0);
  EXPECT_THAT(ListAll(tree.Path("d") + "/*.*"),
              ElementsAre("./", "../", "A.ogg", "b.ogg", "broken", "noext",
                          "sub/", "tofile", "tosub/"));
}

TEST(PosixSearchTest, MissingDirectoryMatchesNothing) {
  TempTree tree;
  tree.Write("file", "");
  for (const char* gone : {"none", "file"}) {
    EXPECT_EQ(SystemPlatform().NewSearch()->Start(tree.Path(gone) + "/*.*"), Listing::kNone);
    EXPECT_THAT(ListAll(tree.Path(gone) + "/*.*"), IsEmpty());
  }
}

TEST(PosixPlatformTest, OpenForReadingTakesOnlyRegularFiles) {
  TempTree tree;
  tree.Write("file.ogg", "bytes");
  ASSERT_EQ(mkfifo(tree.Path("fifo.ogg").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", tree.Path("zero.ogg").c_str()), 0);
  Platform& p = SystemPlatform();
  std::unique_ptr<InputFile> f = p.OpenForReading(tree.Path("file.ogg"));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Size(), 5u);
  char buf[8] = {};
  EXPECT_EQ(f->ReadAt(1, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf), "ytes");
  EXPECT_EQ(p.OpenForReading(tree.Path("fifo.ogg")), nullptr);  // no writer: must not block
  EXPECT_EQ(p.OpenForReading(tree.Path("zero.ogg")), nullptr);
  EXPECT_EQ(p.OpenForReading(tree.Path("missing.ogg")), nullptr);
  EXPECT_EQ(p.OpenForReading(tree.root()), nullptr);
}

TEST(PosixPlatformTest, TemporaryFileGetsPlainOrInheritedPermissions) {
  TempTree tree;
  Platform& p = SystemPlatform();
  const mode_t mask = umask(022);
  std::string temp;
  auto out = p.CreateTemporary(tree.Path("new.bin"), &temp);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->Write("x", 1) && out->Flush() && out->Close());
  struct stat st;
  ASSERT_EQ(stat(temp.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  tree.Write("old.bin", "old");
  ASSERT_EQ(chmod(tree.Path("old.bin").c_str(), 0604), 0);
  std::string temp2;
  auto out2 = p.CreateTemporary(tree.Path("old.bin"), &temp2);
  ASSERT_NE(out2, nullptr);
  EXPECT_NE(temp2, temp);
  EXPECT_TRUE(out2->Close());
  ASSERT_EQ(stat(temp2.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  umask(mask);

  EXPECT_TRUE(p.ReplaceFile(temp2, tree.Path("old.bin")));
  EXPECT_EQ(ReadBytes(tree.Path("old.bin")), "");
  tree.MakeDir("dir.bin");
  EXPECT_FALSE(p.ReplaceFile(temp, tree.Path("dir.bin")));
}

TEST(PosixPlatformTest, CurrentDirectoryHasNoLengthLimit) {
  TempTree tree;
  std::string dir;
  for (int i = 0; i < 30; ++i) dir += (i ? "/" : "") + std::string(120, 'a' + i % 26);
  tree.MakeDir(dir);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  // Far past the 260 bytes of the old console API.
  Platform& p = SystemPlatform();
  ASSERT_TRUE(p.EnterDirectory(tree.root()));
  for (std::size_t from = 0; from < dir.size(); from += 121)
    ASSERT_TRUE(p.EnterDirectory(dir.substr(from, 120)));
  EXPECT_EQ(p.CurrentDirectory(), tree.root() + "/" + dir);
  EXPECT_FALSE(p.EnterDirectory("no such dir"));
  ASSERT_EQ(chdir(old), 0);
}

}  // namespace
}  // namespace trackmeter
