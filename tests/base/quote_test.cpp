// Quoting user text in messages: visible control characters, shortened long values.
#include <gtest/gtest.h>

#include <string>

#include "base/quote.h"

namespace pimu {
namespace {

TEST(QuoteForMessage, ControlCharactersBecomeVisibleAndLongTextIsCut) {
    struct Case {
        std::string text;
        std::size_t max;
        std::string quoted;
    };
    const Case cases[] = {
        {"site.dxf", 80, "\"site.dxf\""},
        {"日影図.dxf", 80, "\"日影図.dxf\""},
        {"a\x1b[2Jb", 80, "\"a\\x1B[2Jb\""},
        {std::string("a\0b", 3), 80, "\"a\\0b\""},
        {"x\r\ny\tz\x7f", 80, "\"x\\r\\ny\\tz\\x7F\""},
        {"say \"hi\" \\", 80, "\"say \\\"hi\\\" \\\\\""},
        {"bad\xff\xc3", 80, "\"bad\\xFF\\xC3\""},
        {"c1\xc2\x9b", 80, "\"c1\\xC2\\x9B\""},
        {"abcdef", 3, "\"abc\"... (6 bytes)"},
        {"日影図", 2, "\"日影\"... (9 bytes)"},
        {std::string(10'000'000, 'v'), 5, "\"vvvvv\"... (10000000 bytes)"},
    };
    for (const Case &c : cases) EXPECT_EQ(QuoteForMessage(c.text, c.max), c.quoted);
    EXPECT_EQ(VisibleText("a\x1b\"b"), "a\\x1B\"b");
    EXPECT_EQ(ShowControlCharacters("one\x1b[2J\ntwo\r"), "one\\x1B[2J\ntwo\\r");
}

}  // namespace
}  // namespace pimu
