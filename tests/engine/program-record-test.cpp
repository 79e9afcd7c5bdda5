// Tests of the program record's text helpers and of the named field table.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/program-fields.h"
#include "engine/program-record.h"

namespace tarsk {
namespace {

ProgramRecord filled() {
    ProgramRecord r;
    std::memset(r.words, 0x5A, sizeof(r.words));
    return r;
}

TEST(ProgramRecordText, NameIsCutTerminatedAndZeroPadded) {
    ProgramRecord r = filled();
    r.setName("Init");
    EXPECT_EQ(std::string(r.name()), "Init");
    for (int i = 4; i < kNameBytes; ++i) {
        EXPECT_EQ(r.name()[i], 0) << i;
    }
    EXPECT_EQ(r.u(word::dry), 0x5A5A5A5Au) << "the word behind the name is untouched";

    r.setName("A name that is much longer than twenty-seven characters");
    EXPECT_EQ(std::string(r.name()), "A name that is much longer ");
    EXPECT_EQ(std::strlen(r.name()), 27u);
    EXPECT_EQ(r.u(word::dry), 0x5A5A5A5Au);

    // Two records that had different names end with equal bytes after the same setName.
    ProgramRecord a;
    ProgramRecord b;
    a.setName("Long previous name of a");
    b.setName("x");
    a.setName("Same");
    b.setName("Same");
    EXPECT_TRUE(a == b);

    r.setName(nullptr);
    EXPECT_EQ(r.name()[0], 0);
}

TEST(ProgramRecordText, DescriptionIsCutAt479Characters) {
    ProgramRecord r = filled();
    std::string longText(600, 'd');
    r.setDescription(longText.c_str());
    EXPECT_EQ(std::strlen(r.description()), 479u);
    EXPECT_EQ(r.description()[479], 0);
    EXPECT_EQ(r.u(word::tapLevel + 2), 0x5A5A5A5Au) << "the word before the description is untouched";
    r.setDescription("Short.");
    EXPECT_EQ(std::string(r.description()), "Short.");
    for (int i = 6; i < kDescriptionBytes; ++i) {
        ASSERT_EQ(r.description()[i], 0) << i;
    }
}

TEST(ProgramRecordText, ShownNameIsAtMost24Characters) {
    ProgramRecord r;
    r.setName("0123456789abcdefghijklmnopq");  // 27 characters
    char text[32];
    std::memset(text, 'X', sizeof(text));
    copyShownName(r, text);
    EXPECT_EQ(std::string(text), "0123456789abcdefghijklmn");
    EXPECT_EQ(text[24], 0);
    EXPECT_EQ(text[25], 'X') << "the buffer needs only 25 bytes";

    r.setName("Init");
    std::memset(text, 'X', sizeof(text));
    copyShownName(r, text);
    EXPECT_EQ(std::string(text), "Init");
    EXPECT_EQ(text[24], 0);

    // A name field without any NUL (as an old file may carry) still gives 24 characters.
    std::memset(r.name(), 'n', kNameBytes);
    copyShownName(r, text);
    EXPECT_EQ(std::string(text), std::string(24, 'n'));
}

TEST(ProgramFields, TableCoversEveryWordOnceAndMatchesTheIndices) {
    std::set<std::string> names;
    int next = 0;
    for (const ProgramField& f : programFields()) {
        EXPECT_EQ(f.firstWord, next) << f.name;
        next = f.firstWord + f.wordCount;
        EXPECT_TRUE(names.insert(f.name).second) << "duplicate " << f.name;
        EXPECT_EQ(findProgramField(f.name), &f);
        for (int w = f.firstWord; w < next; ++w) {
            EXPECT_EQ(programFieldAtWord(w), &f) << w;
        }
    }
    EXPECT_EQ(next, kRecordWords);
    EXPECT_EQ(programFieldAtWord(-1), nullptr);
    EXPECT_EQ(programFieldAtWord(kRecordWords), nullptr);
    EXPECT_EQ(findProgramField("nonsense"), nullptr);
    EXPECT_EQ(findProgramField("lfo1"), nullptr);
    EXPECT_EQ(findProgramField(""), nullptr);

    struct Expected {
        const char* name;
        int first;
        int count;
        FieldKind kind;
    };
    const Expected expected[] = {
        {"magic", 0, 1, FieldKind::Integer},          {"version", 1, 1, FieldKind::Integer},
        {"flags", 2, 1, FieldKind::Integer},          {"name", 4, 7, FieldKind::Text},
        {"dry", 11, 1, FieldKind::Float},             {"timeBase", 13, 1, FieldKind::Float},
        {"delayLength", 14, 4, FieldKind::Float},     {"tap1", 18, 4, FieldKind::Float},
        {"tap3", 26, 4, FieldKind::Float},            {"halfLife", 30, 1, FieldKind::Float},
        {"vectorV", 35, 4, FieldKind::Float},         {"beta", 40, 1, FieldKind::Float},
        {"overunity", 45, 1, FieldKind::Float},       {"decayScale", 46, 4, FieldKind::Float},
        {"theta", 54, 1, FieldKind::Float},           {"lfo1.period", 55, 1, FieldKind::Float},
        {"lfo1.shape", 58, 1, FieldKind::Integer},    {"lfo1.inverterDepth", 62, 1, FieldKind::Float},
        {"lfo2.period", 63, 1, FieldKind::Float},     {"lfo2.shape", 66, 1, FieldKind::Integer},
        {"lfo2.inverterDepth", 70, 1, FieldKind::Float}, {"attack", 71, 1, FieldKind::Float},
        {"support", 78, 1, FieldKind::Float},         {"envInverterDepth", 79, 1, FieldKind::Float},
        {"inputVectors", 80, 8, FieldKind::Float},    {"outputVectors", 88, 8, FieldKind::Float},
        {"inputGain", 96, 1, FieldKind::Float},       {"outGain", 97, 1, FieldKind::Float},
        {"tapLevel", 98, 3, FieldKind::Float},        {"description", 101, 120, FieldKind::Text},
    };
    for (const Expected& e : expected) {
        const ProgramField* f = findProgramField(e.name);
        ASSERT_NE(f, nullptr) << e.name;
        EXPECT_EQ(f->firstWord, e.first) << e.name;
        EXPECT_EQ(f->wordCount, e.count) << e.name;
        EXPECT_EQ(f->kind, e.kind) << e.name;
    }
}

}  // namespace
}  // namespace tarsk
