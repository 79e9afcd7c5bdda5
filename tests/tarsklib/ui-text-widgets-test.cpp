// Paragraph layout (greedy wrap, four alignments) and the text area's caret, editing keys, capacity
// limits, references for wide characters and pasting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "tarsklib/ui-test-support.h"

namespace tarsk {
namespace {

using test::UiHarness;

// "b" is 0.5 em wide in the test face: "bb" at 10 pixels per em is 10 pixels, the word gap 2 pixels.
constexpr const char* kFiveWords = "bb bb\tbb\nbb  bb";
const UiColour kWordBackground{0.0f, 1.0f, 0.0f, 1.0f};

std::vector<UiRect> layoutOf(UiHarness& h, int align, float boxWidth) {
    UiStyle style = h.ui.style();
    style.background = kWordBackground;
    h.ui.setStyle(style);
    h.frame([&] { h.ui.paragraph(1, {100.0f + boxWidth / 2, 100.0f, boxWidth / 2, 30.0f}, kFiveWords, 10.0f, align); });
    return h.solidRects(kWordBackground);
}

TEST(UiParagraph, GreedyWrapAndTheFourAlignments) {
    UiHarness h;
    const float left = 100.0f, right = 135.0f, top = 130.0f;
    // Three words fit in 35 pixels (10 + 2 + 10 + 2 + 10), the fourth starts the second line.
    struct Expect {
        int align;
        float x[5];
    };
    const Expect cases[] = {
        {kAlignLeft, {left, left + 12, left + 24, left, left + 12}},
        {kAlignRight, {right - 34, right - 22, right - 10, right - 22, right - 10}},
        {kAlignCentre, {left + 0.5f, left + 12.5f, left + 24.5f, left + 6.5f, left + 18.5f}},
        // Justified: the 5 spare pixels go between the words; the last line is set flush left.
        {kAlignJustify, {left, left + 12.5f, left + 25, left, left + 12}},
    };
    for (const Expect& c : cases) {
        const std::vector<UiRect> words = layoutOf(h, c.align, 35.0f);
        ASSERT_EQ(words.size(), 5u) << c.align;
        for (int i = 0; i < 5; ++i) {
            EXPECT_NEAR(words[i].left(), c.x[i], 1e-3f) << "align " << c.align << " word " << i;
            EXPECT_NEAR(words[i].hw * 2, 10.0f, 1e-3f);
            // One line height (1.2 em) per line, from the top of the box down.
            const float lineTop = top - (i < 3 ? 0.0f : 12.0f);
            EXPECT_NEAR(words[i].top(), lineTop, 1e-3f) << "align " << c.align << " word " << i;
            EXPECT_NEAR(words[i].hh * 2, 12.0f, 1e-3f);
        }
    }
    // A narrow box puts every word on a line of its own; a wide one keeps them on one line.
    std::vector<UiRect> narrow = layoutOf(h, kAlignLeft, 8.0f);
    ASSERT_EQ(narrow.size(), 5u);
    EXPECT_NEAR(narrow[4].top(), top - 48.0f, 1e-3f);
    std::vector<UiRect> wide = layoutOf(h, kAlignJustify, 200.0f);
    ASSERT_EQ(wide.size(), 5u);
    EXPECT_NEAR(wide[4].left(), left + 48.0f, 1e-3f);  // a single (last) line is not spread
}

TEST(UiParagraph, TakesAtMost256Words) {
    UiHarness h;
    std::string text;
    for (int i = 0; i < 300; ++i) text += "b ";
    UiStyle style = h.ui.style();
    style.background = kWordBackground;
    h.ui.setStyle(style);
    h.frame([&] { h.ui.paragraph(1, {200, 200, 200, 200}, text.c_str(), 4.0f, kAlignLeft); });
    EXPECT_EQ(h.solidRects(kWordBackground).size(), 256u);
}

// A text area with the focus, fed keys frame by frame.
struct Editor {
    UiHarness h;
    char text[64] = {};
    int caret = 0;
    int capacity = 10;
    bool changed = false;
    UiRect rect{100.0f, 100.0f, 60.0f, 30.0f};

    explicit Editor(const char* initial, int cap = 10) : capacity(cap) {
        std::strcpy(text, initial);
        h.press(41, 129);  // the top-left corner: the caret goes to the start
        frame();
        h.release(41, 129);
        frame();
    }
    void frame() {
        h.frame([&] { changed = h.ui.textArea(3, rect, text, 10.0f, kAlignLeft, caret, capacity); });
    }
    void keys(std::initializer_list<uint32_t> values) {
        for (uint32_t v : values) EXPECT_TRUE(h.ui.key(true, v));
        frame();
    }
    static uint32_t ch(uint32_t c) { return kKeyCharacter | c; }
};

TEST(UiTextArea, InsertsDeletesAndStopsAtCapacity) {
    Editor e("abc", 5);
    EXPECT_EQ(e.caret, 0);
    EXPECT_EQ(e.h.ui.focusId(), 3u);
    e.keys({kKeyEnd, Editor::ch('d'), Editor::ch('e'), Editor::ch('f')});
    EXPECT_TRUE(e.changed);
    EXPECT_STREQ(e.text, "abcde");
    EXPECT_EQ(e.caret, 5);
    e.keys({kKeyLeft, kKeyLeft, Editor::ch(kCharBackspace)});
    EXPECT_STREQ(e.text, "abde");
    EXPECT_EQ(e.caret, 2);
    e.keys({kKeyDelete, Editor::ch('X')});
    EXPECT_STREQ(e.text, "abXe");
    EXPECT_EQ(e.caret, 3);
    // Control characters are ignored, the caret stays within the text.
    e.keys({Editor::ch(1), Editor::ch(31), kKeyRight, kKeyRight, kKeyRight});
    EXPECT_FALSE(e.changed);
    EXPECT_EQ(e.caret, 4);
    e.keys({kKeyDelete});
    EXPECT_FALSE(e.changed);
    e.keys({kKeyHome, Editor::ch(kCharBackspace), kKeyLeft});
    EXPECT_FALSE(e.changed);
    EXPECT_EQ(e.caret, 0);
}

TEST(UiTextArea, WideCharactersGoInAsDecimalReferencesWhenTheyFit) {
    Editor e("ab", 8);
    e.keys({kKeyEnd, Editor::ch(0x3A9), Editor::ch(0x3A9)});
    EXPECT_STREQ(e.text, "ab&#937;");  // the second did not fit: 8 + 6 > 8
    EXPECT_EQ(e.caret, 8);
    Editor tight("ab", 7);
    tight.keys({kKeyEnd, Editor::ch(0x3A9)});
    EXPECT_STREQ(tight.text, "ab");
    EXPECT_FALSE(tight.changed);
    // A reference is one character to the caret keys and to Backspace.
    e.keys({kKeyLeft});
    EXPECT_EQ(e.caret, 2);
    e.keys({kKeyRight, Editor::ch(kCharBackspace)});
    EXPECT_STREQ(e.text, "ab");
}

TEST(UiTextArea, MultiByteTextIsEditedByWholeCharacters) {
    Editor e("a\xC3\xA9 b\xC3\xA9", 20);  // "aé bé"
    e.keys({kKeyRight, kKeyRight});
    EXPECT_EQ(e.caret, 3);  // behind the two bytes of "é"
    e.keys({kKeyLeft});
    EXPECT_EQ(e.caret, 1);
    e.keys({kKeyDelete});
    EXPECT_STREQ(e.text, "a b\xC3\xA9");
    e.keys({kKeyEnd, Editor::ch(kCharBackspace)});
    EXPECT_STREQ(e.text, "a b");
    EXPECT_EQ(e.caret, 3);
    // Latin-1 characters typed into UTF-8 text stay valid UTF-8 (as references).
    e.keys({Editor::ch(0xE9)});
    EXPECT_STREQ(e.text, "a b&#233;");
}

TEST(UiTextArea, UpDownHomeEndFollowTheWrappedLines) {
    // 120 pixels wide at 10 pixels per em, each "bbbb" 20 pixels: the fifth word still fits the first
    // line ((4 - 1) * 2 + 80 + 20 = 106), the sixth (4 * 2 + 100 + 20 = 128) goes to the second.
    Editor e("bbbb bbbb bbbb bbbb bbbb bbbb", 40);
    e.keys({kKeyEnd});
    EXPECT_EQ(e.caret, 24);  // end of the fifth word, the end of the first line
    e.keys({kKeyDown});
    EXPECT_EQ(e.caret, 29);  // the second line holds one word; past its end the caret goes to its end
    e.keys({kKeyHome});
    EXPECT_EQ(e.caret, 25);
    e.keys({kKeyDown});
    EXPECT_EQ(e.caret, 25);  // nothing below the last line
    e.keys({kKeyRight, kKeyUp});
    EXPECT_EQ(e.caret, 1);  // the same column one line up
    e.keys({kKeyUp});
    EXPECT_EQ(e.caret, 1);
}

TEST(UiTextArea, ClickPlacesTheCaretAndDrawsIt) {
    Editor e("bbbb bbbb", 20);
    // The second word starts at 40 + 22 = 62; its third "b" spans 72..77 pixels.
    e.h.move(74, 125);
    e.h.press(74, 125);
    e.frame();
    EXPECT_EQ(e.caret, 7);
    e.h.release(74, 125);
    e.frame();
    // The caret: an opaque white vertical line at its x + 2.
    bool found = false;
    for (const auto& batch : e.h.renderer.batches) {
        if (batch.primitive != kPrimitiveLines) continue;
        for (size_t i = 0; i + 1 < batch.vertices.size(); i += 2) {
            const DrawVertex& a = batch.vertices[i];
            if (a.colour == packColour({1, 1, 1, 1}) && a.x == batch.vertices[i + 1].x) {
                found = true;
                EXPECT_NEAR(a.x, 62.0f + 9.8f + 2.0f, 1e-3f);  // right edge of the second "b"
                EXPECT_NEAR(std::fabs(batch.vertices[i + 1].y - a.y), 11.5f, 1e-3f);  // descent to ascent
            }
        }
    }
    EXPECT_TRUE(found);
}

TEST(UiTextArea, PasteAsksTheClipboardAndInsertsTheTextWhenItArrives) {
    Editor e("ab", 30);
    e.keys({kKeyEnd, Editor::ch(kCharPaste)});
    EXPECT_EQ(e.h.clipboard.requests, 1);
    EXPECT_FALSE(e.changed);
    e.frame();  // nothing arrived yet: the frame goes on without it
    EXPECT_STREQ(e.text, "ab");
    const char pasted[] = "x\xC3\xA9\ny";
    e.h.ui.clipboardArrived(pasted, sizeof pasted - 1);
    e.frame();
    EXPECT_TRUE(e.changed);
    EXPECT_STREQ(e.text, "abx&#233; y");
    // Characters beyond 16 bits arrive as the replacement character; a stray continuation byte as itself.
    e.h.ui.clipboardArrived("\xF0\x9F\x98\x80", 4);
    e.frame();
    EXPECT_STREQ(e.text, "abx&#233; y&#65533;");
    e.h.ui.clipboardArrived("\x80", 1);
    e.frame();
    EXPECT_STREQ(e.text, "abx&#233; y&#65533;&#128;");
    // Without the focus, clipboard text is dropped.
    e.h.ui.focusChanged(false);
    e.h.ui.clipboardArrived("zz", 2);
    EXPECT_EQ(e.h.ui.keyQueueUsed(), 0u);
}

TEST(UiTextArea, DisabledAreaNeverTakesTheFocus) {
    UiHarness h;
    char text[8] = "ab";
    int caret = 0;
    h.press(100, 100);
    h.frame([&] { h.ui.textArea(kDisabledId, {100, 100, 50, 20}, text, 10.0f, 0, caret, 7); });
    EXPECT_EQ(h.ui.focusId(), 0u);
    EXPECT_FALSE(h.ui.key(true, kKeyCharacter | 'x'));
}

}  // namespace
}  // namespace tarsk
