// The option reader of tarskverb-host's commands: what it makes of argument lists, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/command-line.h"

namespace {

using tarskhost::CommandLine;
using tarskhost::OptionSpec;
using tarskhost::OptionSyntax;

const OptionSpec kOptions[] = {
    {"--block", true},
    {"--quick", false},
    {"--seed", true, "--seed needs a number"},
};

constexpr OptionSyntax kStrict{.optionStart = "-",
                               .loneDashIsPositional = true,
                               .doubleDashEndsOptions = true,
                               .attachedValues = true,
                               .valueMayStartWithDoubleDash = false};

// Each item as text: "--block=512" for an option, "@in.wav" for a positional argument, "!message" for
// the error that ends the list.
std::vector<std::string> itemsOf(const std::vector<std::string>& args, OptionSyntax syntax = {}) {
    CommandLine line(args, kOptions, syntax);
    std::vector<std::string> items;
    for (CommandLine::Item item = line.next(); item != CommandLine::Item::end; item = line.next()) {
        if (item == CommandLine::Item::error) {
            items.push_back("!" + line.error());
            EXPECT_EQ(line.next(), CommandLine::Item::error) << "an error stays an error";
            break;
        }
        items.push_back(item == CommandLine::Item::positional ? "@" + line.value() : line.name() + "=" + line.value());
    }
    return items;
}

using Items = std::vector<std::string>;

TEST(CommandLineParser, ReadsOptionsAndPositionalArgumentsInOrder) {
    EXPECT_EQ(itemsOf({"a.so", "--block", "64", "--quick", "in.wav"}),
              (Items{"@a.so", "--block=64", "--quick=", "@in.wav"}));
    EXPECT_EQ(itemsOf({}), Items{});
    // A repeated option comes twice; the command decides (the commands keep the last one).
    EXPECT_EQ(itemsOf({"--block", "1", "--block", "2"}), (Items{"--block=1", "--block=2"}));
    // Attached values only where the command's syntax allows them; "=" may be part of the value.
    EXPECT_EQ(itemsOf({"--block=64", "--seed=a=b"}, kStrict), (Items{"--block=64", "--seed=a=b"}));
    EXPECT_EQ(itemsOf({"--block="}, kStrict), (Items{"--block="}));
    EXPECT_EQ(itemsOf({"--block=64"}), (Items{"!unknown option '--block=64'"}));
    EXPECT_EQ(itemsOf({"--quick=1"}, kStrict), (Items{"!--quick takes no value"}));
}

TEST(CommandLineParser, DoubleDashEndsTheOptionsWhereTheSyntaxSaysSo) {
    EXPECT_EQ(itemsOf({"--quick", "--", "--block", "-x", "--"}, kStrict),
              (Items{"--quick=", "@--block", "@-x", "@--"}));
    EXPECT_EQ(itemsOf({"--", "a"}), (Items{"!unknown option '--'"}));
    // "-" alone names standard input or output for some commands, an unknown option for others.
    EXPECT_EQ(itemsOf({"-"}, kStrict), (Items{"@-"}));
    EXPECT_EQ(itemsOf({"-"}), (Items{"!unknown option '-'"}));
    // With "--" as the option start, one dash begins an ordinary argument.
    EXPECT_EQ(itemsOf({"-x", "--quick"}, OptionSyntax{.optionStart = "--"}), (Items{"@-x", "--quick="}));
}

TEST(CommandLineParser, ReportsUnknownOptionsAndMissingValues) {
    EXPECT_EQ(itemsOf({"a.so", "--bogus", "--block", "1"}), (Items{"@a.so", "!unknown option '--bogus'"}));
    EXPECT_EQ(itemsOf({"--bogus=3"}, kStrict), (Items{"!unknown option '--bogus'"}));
    EXPECT_EQ(itemsOf({"-b"}), (Items{"!unknown option '-b'"}));
    // The value missing at the end, with the default and with the option's own message.
    EXPECT_EQ(itemsOf({"a.so", "--block"}), (Items{"@a.so", "!--block needs a value"}));
    EXPECT_EQ(itemsOf({"--seed"}, kStrict), (Items{"!--seed needs a number"}));
    // A value that looks like an option: taken as the value, unless the syntax refuses "--" values.
    EXPECT_EQ(itemsOf({"--block", "--quick"}), (Items{"--block=--quick"}));
    EXPECT_EQ(itemsOf({"--block", "--quick"}, kStrict), (Items{"!--block needs a value"}));
    EXPECT_EQ(itemsOf({"--block", "--", "a"}, kStrict), (Items{"!--block needs a value"}));
    // One dash is a number's sign, so it stays a value.
    EXPECT_EQ(itemsOf({"--block", "-1"}, kStrict), (Items{"--block=-1"}));
}

TEST(CommandLineParser, ReadsWholeNumbersWithinTheirRange) {
    long value = 7;
    EXPECT_TRUE(tarskhost::readWholeNumber("1", 1, 8192, value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(tarskhost::readWholeNumber("8192", 1, 8192, value));
    EXPECT_EQ(value, 8192);
    EXPECT_TRUE(tarskhost::readWholeNumber("-3", -5, 5, value));
    EXPECT_EQ(value, -3);
    value = 7;
    for (const char* bad : {"0", "8193", "", " 5", "5 ", "2.5", "5x", "x", "0x10", "99999999999999999999999"}) {
        EXPECT_FALSE(tarskhost::readWholeNumber(bad, 1, 8192, value)) << "'" << bad << "'";
        EXPECT_EQ(value, 7) << "a refused text leaves the value alone: '" << bad << "'";
    }
    EXPECT_TRUE(tarskhost::readWholeNumber("-9223372036854775807", -9223372036854775807L, 0, value));
}

TEST(CommandLineParser, ReadsDecimalsWithinTheirRange) {
    double value = 7.0;
    EXPECT_TRUE(tarskhost::readDecimal("97.5", 1.0, 999.0, value));
    EXPECT_EQ(value, 97.5);
    EXPECT_TRUE(tarskhost::readDecimal("1e3", 0.0, 3600.0, value));
    EXPECT_EQ(value, 1000.0);
    EXPECT_TRUE(tarskhost::readDecimal("0", 0.0, 3600.0, value));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(tarskhost::readDecimal("3600", 0.0, 3600.0, value));
    EXPECT_EQ(value, 3600.0);
    value = 7.0;
    for (const char* bad : {"-0.001", "3600.001", "", " 1", "1 ", "fast", "nan", "inf", "-inf", "1e999", "1,5"}) {
        EXPECT_FALSE(tarskhost::readDecimal(bad, 0.0, 3600.0, value)) << "'" << bad << "'";
        EXPECT_EQ(value, 7.0) << "a refused text leaves the value alone: '" << bad << "'";
    }
    EXPECT_EQ(tarskhost::limitText(3600.0), "3600");
    EXPECT_EQ(tarskhost::limitText(0.1), "0.1");
}

}  // namespace
