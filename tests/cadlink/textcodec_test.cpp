#include "cadlink/textcodec.h"

#include <gtest/gtest.h>

namespace pimu::cadlink {
namespace {

TEST(TextCodec, RoundTripsJapaneseAndAscii) {
    const std::string utf8 = "時刻日影図 PIMU_JIKOKU ８：００ ㎡";
    const std::string sjis = Utf8ToCp932(utf8);
    EXPECT_EQ(sjis.substr(0, 2), "\x8E\x9E");  // 時
    EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(TextCodec, RejectsWhatCannotBeConverted) {
    EXPECT_THROW(Utf8ToCp932("emoji \xF0\x9F\x98\x80"), TextCodecError);
    EXPECT_THROW(Cp932ToUtf8("ab\x81"), TextCodecError);  // lead byte without trail byte
}

TEST(TextCodec, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8("日影 abc"));
    EXPECT_TRUE(IsValidUtf8(""));
    for (const char *bad : {"\x8E\x9E", "\xC0\xAF", "\xE3\x81", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

}  // namespace
}  // namespace pimu::cadlink
