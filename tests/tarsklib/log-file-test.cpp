// Tests of LogFile: the opening line, the time prefix on every line, indentation and the format cap.
#include "tarsklib/log-file.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LogFile, EveryLineOfAMessageCarriesThePrefix) {
    test::TestFolder folder;
    std::string path = folder.file("log.txt");
    LogFile log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.print("first line\nsecond line %d\n", 7);
    log.print("%s and %c%%\n", "text with % in it", 'x');
    log.close();

    std::string text = test::readWholeFile(path);
    std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("Logfile opened at [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
                                                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(" *[0-9]+: first line"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(" *[0-9]+: second line 7"))) << lines[3];
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(" *[0-9]+: text with % in it and x%"))) << lines[4];
    EXPECT_EQ(text.back(), '\n');  // no prefix after the final line feed
    for (size_t i = 2; i < lines.size(); ++i) {
        EXPECT_GE(lines[i].find(':'), 6u) << "the tick count is at least six characters wide";
    }
}

TEST(LogFile, IndentationStaysWithinItsRange) {
    test::TestFolder folder;
    std::string path = folder.file("log.txt");
    LogFile log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.indent();
    log.indent();
    log.print("nested\nalso nested\n");
    for (int i = 0; i < 20; ++i) {
        log.indent();
    }
    EXPECT_EQ(log.depth(), LogFile::kMaxDepth);
    log.print("deep\n");
    for (int i = 0; i < 20; ++i) {
        log.outdent();
    }
    EXPECT_EQ(log.depth(), 0);
    log.print("flat\n");
    log.indent();
    log.close();
    EXPECT_EQ(log.depth(), 0);

    std::vector<std::string> lines = linesOf(test::readWholeFile(path));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(" *[0-9]+:  \\.  \\. nested"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(" *[0-9]+:  \\.  \\. also nested"))) << lines[3];
    std::string fifteen;
    for (int i = 0; i < 15; ++i) {
        fifteen += " \\. ";
    }
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(" *[0-9]+: " + fifteen + "deep"))) << lines[4];
    EXPECT_TRUE(std::regex_match(lines[5], std::regex(" *[0-9]+: flat"))) << lines[5];
}

TEST(LogFile, WithoutAFileNothingIsWritten) {
    LogFile log;
    EXPECT_FALSE(log.isOpen());
    log.print("nowhere %d\n", 1);  // must not crash
    test::TestFolder folder;
    EXPECT_FALSE(log.open(folder.path().string().c_str()));  // a folder is no file
    EXPECT_FALSE(log.open((folder.path() / "missing" / "log.txt").string().c_str()));
    EXPECT_FALSE(log.isOpen());

    std::string path = folder.file("log.txt");
    ASSERT_TRUE(log.open(path.c_str()));
    log.close();
    log.print("after close\n");
    EXPECT_EQ(test::readWholeFile(path).find("after close"), std::string::npos);
}

TEST(LogFile, ALongFormatIsCutBeforeAConversionNotInsideIt) {
    test::TestFolder folder;
    std::string path = folder.file("log.txt");
    LogFile log;
    ASSERT_TRUE(log.open(path.c_str()));
    // The prefix takes at least 8 characters; 8 + 1013 + 2 passes 1022, so "%s" cannot fit whole.
    std::string format(1013, 'x');
    format += "%s";
    log.print(format.c_str(), "ARGUMENT");
    log.close();

    std::vector<std::string> lines = linesOf(test::readWholeFile(path));
    ASSERT_EQ(lines.size(), 3u);
    const std::string& longLine = lines[2];
    EXPECT_LE(longLine.size(), static_cast<size_t>(LogFile::kMaxFormat));
    EXPECT_EQ(longLine.find("ARGUMENT"), std::string::npos);
    EXPECT_EQ(longLine.find('%'), std::string::npos);
    EXPECT_EQ(longLine.back(), 'x');
    EXPECT_GT(longLine.size(), 1013u);
}

}  // namespace
}  // namespace tarsk
