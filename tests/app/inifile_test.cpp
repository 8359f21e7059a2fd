#include "app/inifile.h"

#include <gtest/gtest.h>

namespace pimu::app {
namespace {

TEST(IniFile, ReadsValuesLikeTheProfileInterface) {
    const IniFile ini({"; comment=ignored", "[Common]", "  ido1 =  35 ", "quoted=\"a b\"",
                       "bool2=2", "boolx=x", "[ common ]", "ido2=9", "[Other]", "ido1=99",
                       "noequals", "empty="});
    EXPECT_EQ(ini.Read("COMMON", "IDO1"), "35");
    EXPECT_EQ(ini.Read("Common", "quoted"), "a b");
    EXPECT_EQ(ini.Read("Common", "ido2"), "9");  // a repeated section header continues it
    EXPECT_EQ(ini.Read("Other", "ido1"), "99");
    EXPECT_EQ(ini.Read("Other", "empty"), "");
    EXPECT_FALSE(ini.Read("Other", "noequals"));
    EXPECT_FALSE(ini.Read("Missing", "ido1"));
    EXPECT_EQ(ini.ReadInteger("Common", "ido1", 7), 35);
    EXPECT_EQ(ini.ReadInteger("Common", "quoted", 7), 7);
    EXPECT_TRUE(ini.ReadBool("Common", "bool2", false));
    EXPECT_FALSE(ini.ReadBool("Common", "boolx", false));
    EXPECT_TRUE(ini.ReadBool("Common", "nokey", true));
}

TEST(IniFile, WritesInPlaceAtSectionEndOrAsNewSection) {
    IniFile ini({"[A]", "x=1", "; note", "", "[B]", "y=2"});
    ini.Write("a", "X", "10");  // existing key, other case: replaced, its spelling kept
    ini.Write("A", "z", "3");   // new key: after the last key of the section
    ini.Write("C", "w", "line1\r\nline2");
    ini.WriteBool("B", "flag", true);
    const std::vector<std::string> expected = {"[A]", "x=10", "z=3",    "; note", "",
                                               "[B]", "y=2",  "flag=1", "[C]",    "w=line1  line2"};
    EXPECT_EQ(ini.Lines(), expected);
}

}  // namespace
}  // namespace pimu::app
