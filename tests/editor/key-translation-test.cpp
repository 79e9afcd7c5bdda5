// Key values from X key symbols and from the keys hosts hand over with effEditKeyDown.
// gtest before the X11 headers: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include "plugin/editor-window.h"
#include "tarsklib/platform-window-x11.h"

namespace tarsk {
namespace {

uint32_t fromSymbol(unsigned long symbol) { return keyValueOf(translateKeySymbol(symbol)); }

TEST(KeyTranslation, XSymbolsBecomeCharactersOrKeyCodes) {
    EXPECT_EQ(fromSymbol(XK_a), key::kCharacterTag | 'a');
    EXPECT_EQ(fromSymbol(XK_A), key::kCharacterTag | 'A');
    EXPECT_EQ(fromSymbol(XK_space), key::kCharacterTag | ' ');
    EXPECT_EQ(fromSymbol(XK_eacute), key::kCharacterTag | 0xE9);
    EXPECT_EQ(fromSymbol(0x010020AC), key::kCharacterTag | 0x20AC);  // the euro sign as a Unicode symbol
    EXPECT_EQ(fromSymbol(XK_KP_7), key::kCharacterTag | '7');
    EXPECT_EQ(fromSymbol(XK_KP_Add), key::kCharacterTag | '+');
    EXPECT_EQ(fromSymbol(XK_BackSpace), key::kCharacterTag | 8);
    EXPECT_EQ(fromSymbol(XK_Tab), key::kCharacterTag | 9);
    EXPECT_EQ(fromSymbol(XK_KP_Enter), key::kCharacterTag | 13);
    EXPECT_EQ(fromSymbol(XK_Escape), key::kCharacterTag | 27);

    EXPECT_EQ(fromSymbol(XK_Shift_R), key::kShift);
    EXPECT_EQ(fromSymbol(XK_Caps_Lock), key::kCapsLock);
    EXPECT_EQ(fromSymbol(XK_Control_L), key::kCtrl);
    EXPECT_EQ(fromSymbol(XK_Alt_L), key::kAlt);
    EXPECT_EQ(fromSymbol(XK_Super_L), key::kWindows);
    EXPECT_EQ(fromSymbol(XK_Left), 10u);
    EXPECT_EQ(fromSymbol(XK_Right), 11u);
    EXPECT_EQ(fromSymbol(XK_Up), 12u);
    EXPECT_EQ(fromSymbol(XK_KP_Down), 13u);
    EXPECT_EQ(fromSymbol(XK_Home), 14u);
    EXPECT_EQ(fromSymbol(XK_End), 15u);
    EXPECT_EQ(fromSymbol(XK_Page_Up), 16u);
    EXPECT_EQ(fromSymbol(XK_Page_Down), 17u);
    EXPECT_EQ(fromSymbol(XK_Insert), 18u);
    EXPECT_EQ(fromSymbol(XK_Delete), 19u);
    EXPECT_EQ(fromSymbol(XK_F1), 20u);
    EXPECT_EQ(fromSymbol(XK_F12), 31u);
    EXPECT_EQ(fromSymbol(XF86XK_AudioRaiseVolume), 32u);
    EXPECT_EQ(fromSymbol(XF86XK_AudioLowerVolume), 33u);
    EXPECT_EQ(fromSymbol(XF86XK_AudioMute), 34u);
    EXPECT_EQ(fromSymbol(XK_Print), key::kOther);
    EXPECT_EQ(fromSymbol(XK_F13), key::kOther);
}

TEST(KeyTranslation, HostKeysByCharacterOrVirtualKey) {
    EXPECT_EQ(keyValueFromHost('x', 0), key::kCharacterTag | 'x');
    EXPECT_EQ(keyValueFromHost('x', vst2::VKEY_LEFT), key::kCharacterTag | 'x');  // the character wins
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_LEFT), key::kLeft);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_NEXT), key::kPageDown);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_PAGEUP), key::kPageUp);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_F1 + 4), key::kF1 + 4);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_NUMPAD0 + 3), key::kCharacterTag | '3');
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_RETURN), key::kCharacterTag | 13);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_ENTER), key::kCharacterTag | 13);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_BACK), key::kCharacterTag | 8);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_SPACE), key::kCharacterTag | ' ');
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_DELETE), key::kDelete);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_SHIFT), key::kShift);
    EXPECT_EQ(keyValueFromHost(0, vst2::VKEY_PRINT), key::kOther);
    EXPECT_EQ(keyValueFromHost(0, 0), 0u);
}

}  // namespace
}  // namespace tarsk
