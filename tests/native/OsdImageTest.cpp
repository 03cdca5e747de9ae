#include "osd/OsdImage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The image of one request, or -1 when no request is made.
int32_t Image(uint32_t kind, int32_t mic, int32_t fn, int32_t fan) {
  auto choice = PickOsdImage(kind, mic, fn, fan);
  return choice ? choice->imageId : -1;
}

std::u16string Text(uint32_t kind) {
  auto choice = PickOsdImage(kind, 0, 0, 0);
  return choice ? choice->text : u"(none)";
}

}  // namespace

TEST(OsdImage, MicrophoneShowsItsStateAndNothingWhenUnreadable) {
  EXPECT_EQ(Image(kOsdMicrophone, 1, 0, 0), 202);
  EXPECT_EQ(Image(kOsdMicrophone, 0, 1, 3), 203);
  for (int32_t unreadable : {-1, 2, INT32_MIN}) {
    EXPECT_EQ(Image(kOsdMicrophone, unreadable, 0, 2), -1) << unreadable;
  }
}

TEST(OsdImage, FnLockIsOnOnlyForOne) {
  EXPECT_EQ(Image(kOsdFnLock, -1, 1, 0), 201);
  for (int32_t off : {0, -1, 2, 7}) EXPECT_EQ(Image(kOsdFnLock, 0, off, 0), 200) << off;
}

TEST(OsdImage, SmartFanIsIntelligentOnlyForModeTwo) {
  EXPECT_EQ(Image(kOsdSmartFan, -1, 0, 2), 204);
  for (int32_t other : {3, -1, 7, 0}) EXPECT_EQ(Image(kOsdSmartFan, 0, 0, other), 205) << other;
}

TEST(OsdImage, OtherKindsHideWhateverTheState) {
  for (uint32_t kind : {0u, 4u, 9u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Image(kind, -1, 1, 2), 0) << kind;
    EXPECT_EQ(Text(kind), u"") << kind;
  }
  EXPECT_EQ(Text(kOsdMicrophone), u"MIC");
  EXPECT_EQ(Text(kOsdFnLock), u"FN");
  EXPECT_EQ(Text(kOsdSmartFan), u"FAN");
}
