#include "platform/File.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tsv {
namespace {

TEST(File, CreateNewNeverReplaces) {
  test::TempDir dir;
  const std::string path = dir.File("a.vs4");
  test::WriteBytes(path, {1, 2, 3});
  File f;
  EXPECT_FALSE(f.CreateNew(path));
  EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(File, OpenExistingRejectsFoldersAndMissingFiles) {
  test::TempDir dir;
  File f;
  EXPECT_FALSE(f.OpenExisting(dir.path(), false));
  EXPECT_FALSE(f.OpenExisting(dir.File("missing.vs4"), true));
}

TEST(File, ReadsShortAtEndAndSeeksFromEveryOrigin) {
  test::TempDir dir;
  const std::string path = dir.File("data");
  test::WriteBytes(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  File f;
  ASSERT_TRUE(f.OpenExisting(path, true));
  EXPECT_EQ(f.Size(), 10);
  uint8_t buf[16];
  ASSERT_TRUE(f.Seek(-4, File::Origin::End));
  EXPECT_EQ(f.Read(buf, sizeof buf), 4);
  EXPECT_EQ(buf[0], 6);
  ASSERT_TRUE(f.Seek(2, File::Origin::Begin));
  ASSERT_TRUE(f.Seek(3, File::Origin::Current));
  EXPECT_EQ(f.Tell(), 5);
  EXPECT_FALSE(f.ReadExact(buf, 6));
  EXPECT_FALSE(f.Seek(-20, File::Origin::Current));
}

TEST(File, PublishAndFreeNamesNeverReplace) {
  test::TempDir dir;
  EXPECT_EQ(FirstFreeName(dir.path(), "20050305_101530", ".vs4"), dir.File("20050305_101530.vs4"));
  test::WriteBytes(dir.File("20050305_101530.vs4"), {1});
  EXPECT_EQ(FirstFreeName(dir.path(), "20050305_101530", ".vs4"), dir.File("20050305_101530_2.vs4"));

  test::WriteBytes(dir.File("temp"), {2});
  EXPECT_FALSE(PublishNoReplace(dir.File("temp"), dir.File("20050305_101530.vs4")));
  EXPECT_EQ(test::ReadBytes(dir.File("20050305_101530.vs4")), std::vector<uint8_t>{1});
  EXPECT_TRUE(PublishNoReplace(dir.File("temp"), dir.File("20050305_101530_2.vs4")));
  EXPECT_EQ(test::ListFolder(dir.path()),
            (std::vector<std::string>{"20050305_101530.vs4", "20050305_101530_2.vs4"}));
}

TEST(File, ExtensionTestIgnoresCaseButNeverRewritesThePath) {
  EXPECT_EQ(UpperExtension4("/Footage/Cam1.vs4"), ".VS4");
  EXPECT_EQ(UpperExtension4("a.Vse"), ".VSE");
  EXPECT_EQ(UpperExtension4("\"a.vs4\""), "VS4\"");
  EXPECT_EQ(UpperExtension4("ab"), "AB");
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(JoinPath("/a/", "x"), "/a/x");
  EXPECT_EQ(JoinPath("/a", "x"), "/a/x");
}

}  // namespace
}  // namespace tsv
