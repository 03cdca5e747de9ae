#include "osd/OsdRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Str(const std::array<char16_t, kOsdTextUnits>& units) {
  return std::u16string(units.data());
}

}  // namespace

// Every byte of the record as ShowOsd sends it for the Fn-lock-on image.
TEST(OsdRequest, PackedRecordHasTheFieldsAtTheirOffsetsLittleEndian) {
  OsdRecord record = PackOsdRequest(MakeOsdRequest(u"FN", 201));
  ASSERT_EQ(record.size(), 1044u);

  std::vector<uint8_t> expected(1044, 0);
  expected[0] = 'F';
  expected[2] = 'N';
  expected[512] = 0xC9;  // 201
  expected[516] = 100;   // intervalMs
  // close (520) stays 0
  expected[524] = 0xFF;  // opacity 255
  expected[528] = 70;    // fontSize
  const char arial[] = "Arial";
  for (size_t i = 0; i < 5; ++i) expected[532 + 2 * i] = static_cast<uint8_t>(arial[i]);

  EXPECT_EQ(std::vector<uint8_t>(record.begin(), record.end()), expected);
}

TEST(OsdRequest, NegativeAndWideValuesRoundTrip) {
  OsdRequest request;
  request.text[0] = u'\u00e9';  // two-byte units, low byte first
  request.text[1] = u'\u4e2d';
  request.imageId = -2;
  request.intervalMs = 0x12345678;
  request.close = INT32_MIN;
  request.opacity = 128;
  request.fontSize = -70;
  request.fontName[kOsdTextUnits - 1] = u'z';  // no terminator: still carried

  OsdRecord record = PackOsdRequest(request);
  EXPECT_EQ(record[0], 0xE9);
  EXPECT_EQ(record[1], 0x00);
  EXPECT_EQ(record[2], 0x2D);
  EXPECT_EQ(record[3], 0x4E);
  EXPECT_EQ(record[512], 0xFE);
  EXPECT_EQ(record[515], 0xFF);
  EXPECT_EQ(record[516], 0x78);
  EXPECT_EQ(record[519], 0x12);
  EXPECT_EQ(record[523], 0x80);
  EXPECT_EQ(record[1042], 'z');

  OsdRequest back;
  ASSERT_TRUE(UnpackOsdRequest(record.data(), record.size(), &back));
  EXPECT_EQ(back.text, request.text);
  EXPECT_EQ(back.imageId, -2);
  EXPECT_EQ(back.intervalMs, 0x12345678);
  EXPECT_EQ(back.close, INT32_MIN);
  EXPECT_EQ(back.opacity, 128);
  EXPECT_EQ(back.fontSize, -70);
  EXPECT_EQ(back.fontName, request.fontName);
}

TEST(OsdRequest, OnlyAWholeRecordUnpacks) {
  OsdRecord record = PackOsdRequest(MakeOsdRequest(u"MIC", 202));
  OsdRequest kept = MakeOsdRequest(u"FAN", 205);
  OsdRequest target = kept;
  for (size_t size : {size_t{0}, size_t{1043}, size_t{1045}}) {
    EXPECT_FALSE(UnpackOsdRequest(record.data(), size, &target)) << size;
  }
  EXPECT_FALSE(UnpackOsdRequest(nullptr, kOsdRequestSize, &target));
  EXPECT_EQ(PackOsdRequest(target), PackOsdRequest(kept));
}

TEST(OsdRequest, TextIsCutToFitItsTerminator) {
  std::u16string longText(300, u'x');
  OsdRequest request = MakeOsdRequest(longText.c_str(), 203);
  EXPECT_EQ(Str(request.text), std::u16string(255, u'x'));
  EXPECT_TRUE(request.HasText());
  EXPECT_FALSE(MakeOsdRequest(u"", 0).HasText());
  EXPECT_EQ(Str(request.fontName), u"Arial");
}
