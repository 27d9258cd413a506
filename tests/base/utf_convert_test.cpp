#include "base/utf_convert.h"

#include <gtest/gtest.h>

TEST(UtfConvertTest, RoundTripsEveryPlane) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToUtf8(u""), "");
}

TEST(UtfConvertTest, EmbeddedZerosAreConverted) {
  const std::string text("a\0b", 3);
  EXPECT_EQ(Utf8ToUtf16(text), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\0b", 3)), text);
}

TEST(UtfConvertTest, IllFormedInputBecomesReplacementCharacters) {
  // Lone surrogates in UTF-16.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', 0xDC00}), "x\xEF\xBF\xBD");
  // A stray continuation byte, a truncated sequence, an overlong form, an encoded surrogate,
  // and a code point above U+10FFFF.
  EXPECT_EQ(Utf8ToUtf16("\x80"), u"\xFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\xFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\xFFFD\xFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\xFFFD\xFFFD\xFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");
}

TEST(SanitizeUtf8Test, KeepsValidTextAndReplacesOnlyBadBytes) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xEF\xBF\xBD"));
  EXPECT_FALSE(IsValidUtf8("cp437 \x82"));
  EXPECT_EQ(SanitizeUtf8("ok"), "ok");
  EXPECT_EQ(SanitizeUtf8("na\x82ve.txt"), "na\xEF\xBF\xBDve.txt");
  EXPECT_EQ(SanitizeUtf8("\xF0\x9F\x98"), "\xEF\xBF\xBD");
  EXPECT_TRUE(IsValidUtf8(SanitizeUtf8("\xFF\xFE\xC3\x28")));
}
