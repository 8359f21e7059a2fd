#include "app/input_rules.h"

#include <gtest/gtest.h>

#include "app/form.h"
#include "app/recording_host.h"

namespace pimu::app {
namespace {

TEST(KeyFilter, AcceptsPerFieldClass) {
    struct Case {
        const char *field;
        char32_t key;
        bool accepted;
    };
    const Case cases[] = {
        {"Edit2", U'-', false},  {"Edit12", U'-', true}, {"Edit2", U'.', true},
        {"Edit3", U'.', false},  {"Edit3", U'7', true},  {"Edit3", kKeyBackspace, true},
        {"Edit4", U'a', false},  {"Edit17", U'-', true}, {"Edit19", U'-', false},
        {"Edit15", U'.', false}, {"Edit20", U'.', true}, {"Edit26", U'-', true},
        {"Edit43", U'-', true},  {"Edit44", U'.', true}, {"Edit46", U'.', false},
        {"Edit23", U'x', true},  {"Edit38", U'-', true}, {"Edit27", U'A', true},
        {"Edit6", U'-', false},  {"Edit25", U'2', true},
    };
    for (const auto &c : cases) {
        const FieldKeyRule rule = KeyRuleOf(c.field);
        EXPECT_EQ(AcceptsKey(rule.keys, c.key), c.accepted)
            << c.field << " key " << static_cast<unsigned>(c.key);
    }
}

TEST(KeyFilter, EnterWalksTheTimeOfDayChain) {
    RecordingUiHost host;
    TForm1 form(FormPaths("/nonexistent"), host);
    struct Case {
        const char *field;
        const char *focusAfter;  // "" : Enter changes nothing
        bool reachesField;
    };
    const Case cases[] = {
        {"Edit3", "Edit5", false},  {"Edit5", "Edit23", false}, {"Edit12", "Edit2", false},
        {"Edit43", "Edit2", false}, {"Edit44", "Edit2", false}, {"Edit2", "Edit7", false},
        {"Edit7", "Edit11", false}, {"Edit11", "Edit4", false}, {"Edit4", "", false},
        {"Edit19", "", false},      {"Edit15", "", false},      {"Edit26", "", true},
        {"Edit38", "", true},
    };
    for (const auto &c : cases) {
        form.ActiveControl = c.field;
        EXPECT_EQ(form.KeyPress(c.field, kKeyEnter), c.reachesField) << c.field;
        EXPECT_EQ(form.ActiveControl, *c.focusAfter ? c.focusAfter : c.field) << c.field;
    }
}

TEST(Between, CutsAfterLastStartBeforeFirstStop) {
    EXPECT_EQ(Between(",", "°", "東京  ,35°40′"), "35");
    EXPECT_EQ(Between("°", "′", "東京  ,35°40′"), "40");
    EXPECT_EQ(Between("′", "″", "東京  ,35°40′"), "");  // no stop
    EXPECT_EQ(Between(",", "°", "a,b, 12 °x"), "12");   // last start, blanks trimmed
    EXPECT_EQ(Between(",", "°", "東京  35°40′"), "");   // no start
    EXPECT_EQ(Between(",", "°", "x,°"), "");            // stop follows at once
    EXPECT_EQ(Between("°", "′", "x°1′2′"), "1");        // first stop after the start
}

TEST(CityList, BuiltInLinesAndParsing) {
    const auto &lines = BuiltInCityLines();
    ASSERT_EQ(lines.size(), 48u);
    EXPECT_EQ(lines.front(), "基準  ,36°00′");
    EXPECT_EQ(lines.back(), "沖縄  ,26°12′");
    EXPECT_EQ(lines[1], "北海道,43°03′");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "東京  ,35°41′"), lines.end());
    for (const auto &l : lines) {
        const LatitudeTexts t = LatitudeOfCityLine(l);
        const int deg = std::stoi(t.degrees);
        EXPECT_TRUE(deg >= 24 && deg <= 45) << l;
        EXPECT_EQ(t.minutes.size(), 2u) << l;
        EXPECT_EQ(t.seconds, "00") << l;
    }

    const LatitudeTexts tokyo = LatitudeOfCityLine("東京  ,35°40′");
    EXPECT_EQ(tokyo.degrees, "35");
    EXPECT_EQ(tokyo.minutes, "40");
    EXPECT_EQ(tokyo.seconds, "00");
    const LatitudeTexts noComma = LatitudeOfCityLine("東京  35°40′12″");
    EXPECT_EQ(noComma.degrees, "36");
    EXPECT_EQ(noComma.minutes, "40");
    EXPECT_EQ(noComma.seconds, "12");
}

TEST(DegreeConverter, BothDirections) {
    EXPECT_EQ(DmsToDecimalText("130", "33", "0"), "130.5500");
    EXPECT_EQ(DmsToDecimalText("130", "", "x"), "130.0000");
    EXPECT_EQ(DmsToDecimalText("35", "41", "22"), "35.6894");

    struct Case {
        const char *decimal, *d, *m, *s;
    };
    const Case cases[] = {
        {"130.5500", "130", "33", "00"},
        {"1.15", "1", "09", "00"},  // binary 1.1499999... must not give 08'59"
        {"35.6894", "35", "41", "21"},
        {"abc", "0", "00", "00"},
        {"-130.55", "-130", "-33", "00"},
    };
    for (const auto &c : cases) {
        const LatitudeTexts t = DecimalToDmsTexts(c.decimal);
        EXPECT_EQ(t.degrees, c.d) << c.decimal;
        EXPECT_EQ(t.minutes, c.m) << c.decimal;
        EXPECT_EQ(t.seconds, c.s) << c.decimal;
    }
}

TEST(GridTools, CopyAsTabTextAndReverse) {
    TStringGrid grid("g");
    grid.SetColCount(7);
    grid.SetRowCount(3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 7; ++c) grid.Cell(c, r) = std::to_string(r) + std::to_string(c);
    const std::string text = GridAsTabText(grid);
    EXPECT_EQ(text.substr(0, 22), "00\t01\t02\t03\t04\t05\t06\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 18);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    TStringGrid five("g5");
    five.SetColCount(2);
    five.SetRowCount(6);
    for (int r = 0; r < 6; ++r) five.Cell(0, r) = std::to_string(r);
    five.Cell(1, 0) = "head";
    ReverseGridRows(five);
    const char *expected[] = {"0", "5", "4", "3", "2", "1"};
    for (int r = 0; r < 6; ++r) EXPECT_EQ(five.Cell(0, r), expected[r]);
    EXPECT_EQ(five.Cell(1, 0), "head");

    TStringGrid one("g1");
    one.SetRowCount(2);
    one.Cell(0, 1) = "only";
    ReverseGridRows(one);
    EXPECT_EQ(one.Cell(0, 1), "only");
}

}  // namespace
}  // namespace pimu::app
