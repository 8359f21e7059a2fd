#include "base/numconv.h"

#include <gtest/gtest.h>

#include <clocale>

namespace pimu {
namespace {

TEST(ParseNumber, AcceptsPlainDecimalTexts) {
    struct Case {
        const char *text;
        double value;
    };
    const Case cases[] = {{"35", 35.0},     {"35.5", 35.5},  {" -0.25 ", -0.25}, {"+12", 12.0},
                          {"1E-6", 1e-6},   {".5", 0.5},     {"7.", 7.0},        {"0", 0.0},
                          {"139.7", 139.7}, {"\t8\r\n", 8.0}};
    for (const Case &c : cases) EXPECT_DOUBLE_EQ(ParseNumber(c.text, "field"), c.value) << c.text;
}

TEST(ParseNumber, RejectsTextsThatAreNotNumbers) {
    for (const char *text :
         {"", "  ", "abc", "1,5", "12abc", "nan", "inf", "0x10", "--1", "+-1", "1e", "+"}) {
        double v = 99.0;
        EXPECT_FALSE(TryParseNumber(text, v)) << text;
        EXPECT_EQ(v, 99.0) << "value must stay untouched for " << text;
        EXPECT_THROW(ParseNumber(text, "f"), InputError) << text;
    }
}

TEST(ParseNumber, ErrorNamesTheFieldAndQuotesTheText) {
    try {
        ParseNumber("abc", "緯度");
        FAIL() << "no error";
    } catch (const InputError &e) {
        EXPECT_EQ(e.field(), "緯度");
        EXPECT_EQ(e.text(), "abc");
        const std::string msg = e.what();
        EXPECT_NE(msg.find("緯度"), std::string::npos);
        EXPECT_NE(msg.find("\"abc\""), std::string::npos);
    }
}

TEST(ParseNumber, IgnoresTheProcessLocale) {
    // A locale with ',' as decimal separator must not change how "1.5" reads.
    const char *set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_DOUBLE_EQ(ParseNumber("1.5", "f"), 1.5);
    EXPECT_THROW(ParseNumber("1,5", "f"), InputError);
    if (set) std::setlocale(LC_NUMERIC, "C");
}

TEST(ParseInteger, WholeNumbersOnly) {
    EXPECT_EQ(ParseInteger(" 42 ", "f"), 42);
    EXPECT_EQ(ParseInteger("-3", "f"), -3);
    EXPECT_EQ(ParseInteger("+3", "f"), 3);
    for (const char *text : {"3.0", "", "x", "99999999999"})
        EXPECT_THROW(ParseInteger(text, "f"), InputError) << text;
}

}  // namespace
}  // namespace pimu
