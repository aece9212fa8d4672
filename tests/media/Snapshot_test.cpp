#include "media/SnapshotWriter.h"

#include <gtest/gtest.h>

#include <vector>

#include "media/jpeg/JpegPicture.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

SYSTEMTIME At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms) {
  SYSTEMTIME t;
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  t.wMilliseconds = ms;
  return t;
}

TEST(Snapshot, NameIsSevenTwoDigitGroups) {
  EXPECT_EQ(SnapshotStem(At(2005, 3, 14, 10, 22, 33, 457)), "050314T10223357");
  EXPECT_EQ(SnapshotStem(At(2009, 1, 2, 3, 4, 5, 6)), "090102T03040506");
  EXPECT_EQ(SnapshotStem(At(2100, 12, 31, 23, 59, 59, 999)), "001231T23595999");
}

TEST(Snapshot, FolderGetsItsSeparatorAndNoFileIsReplaced) {
  test::TempDir dir;
  std::vector<uint8_t> picture(64 * 48 * 3);
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
  std::string folder = dir.path();
  const SYSTEMTIME now = At(2005, 3, 14, 10, 22, 33, 457);
  std::string first, second, error;
  ASSERT_TRUE(WriteSnapshot(folder, picture.data(), 64, 48, now, &first, &error)) << error;
  EXPECT_EQ(folder, dir.path() + "/");
  EXPECT_EQ(first, dir.File("050314T10223357.jpg"));
  ASSERT_TRUE(WriteSnapshot(folder, picture.data(), 64, 48, now, &second, &error)) << error;
  EXPECT_EQ(second, dir.File("050314T10223357_2.jpg"));
  EXPECT_EQ(test::ListFolder(dir.path()).size(), 2u);

  // The file is a JPEG of the picture's size.
  const std::vector<uint8_t> jpeg = test::ReadBytes(first);
  std::vector<uint8_t> back(kPictureSlotSize);
  uint16_t w = 0, h = 0;
  ASSERT_TRUE(DecodeJpegPicture(jpeg.data(), jpeg.size(), back.data(), back.size(), 64, 48, &w, &h));
}

TEST(Snapshot, AMissingFolderIsReportedAsAFailure) {
  test::TempDir dir;
  std::vector<uint8_t> picture(16 * 16 * 3, 128);
  std::string folder = dir.File("no/such/folder");
  std::string path, error;
  EXPECT_FALSE(WriteSnapshot(folder, picture.data(), 16, 16, At(2005, 3, 14, 10, 22, 33, 457), &path, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tsv
