// 8-bit texts from project files made into UTF-8 for output.
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using platform::EightBitToUtf8;
using platform::IsValidUtf8;

TEST(TextEncoding, WesternBytesBecomeTheirCharacters) {
    EXPECT_EQ(EightBitToUtf8("Caf\xE9"), "Caf\u00e9");
    EXPECT_EQ(EightBitToUtf8("\xA0\xBD\xFF"), "\u00a0\u00bd\u00ff");
    EXPECT_EQ(EightBitToUtf8("\xC0\xD7\xDF"), "\u00c0\u00d7\u00df");
    // Where Latin-1 has control codes the code page has printable characters.
    EXPECT_EQ(EightBitToUtf8("\x80 \x93quoted\x94 \x96 \x85"), "\u20ac \u201cquoted\u201d \u2013 \u2026");
    // The five bytes the code page leaves out keep their Latin-1 codes.
    EXPECT_EQ(EightBitToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008d\u008f\u0090\u009d");
    EXPECT_EQ(EightBitToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(EightBitToUtf8(""), "");
}

TEST(TextEncoding, ValidUtf8IsKeptAndEveryBrokenSequenceIsReadByteByByte) {
    for (const char* text : {"plain", "Basse \u00e9t\u00e9", "\u20ac \u4e2d \U0001F3B5", "\U0010FFFF"})
        EXPECT_EQ(EightBitToUtf8(text), text) << text;
    // A cut sequence, a stray continuation byte, overlong forms, a surrogate, a code point above
    // U+10FFFF: none is UTF-8, each byte becomes a character of its own.
    EXPECT_EQ(EightBitToUtf8("\xE2\x82"), "\u00e2\u201a");
    EXPECT_EQ(EightBitToUtf8("x\xA9"), "x\u00a9");
    EXPECT_EQ(EightBitToUtf8("\xC0\xAF"), "\u00c0\u00af");
    EXPECT_EQ(EightBitToUtf8("\xE0\x80\xAF"), "\u00e0\u20ac\u00af");
    EXPECT_EQ(EightBitToUtf8("\xED\xA0\x80"), "\u00ed\u00a0\u20ac");
    EXPECT_EQ(EightBitToUtf8("\xF4\x90\x80\x80"), "\u00f4\u0090\u20ac\u20ac");
    // A UTF-8 path quoted in a message with an 8-bit name: each part comes out right.
    EXPECT_EQ(EightBitToUtf8("'/home/jos\u00e9/a.tbp': Machine 'Fl\xFBte'"),
              "'/home/jos\u00e9/a.tbp': Machine 'Fl\u00fbte'");
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
    EXPECT_FALSE(IsValidUtf8("\xC1\xBF"));
    EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\u00e9\U0001F3B5"));
}

TEST(TextEncoding, AnyBytesGiveValidUtf8) {
    std::mt19937 random(18);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<size_t>(random() % 24), '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random() % 4 == 0 ? 0xE0 + random() % 0x20 : random() % 256);
        const std::string text = EightBitToUtf8(bytes);
        ASSERT_TRUE(IsValidUtf8(text)) << round;
        // Converting twice changes nothing: the output is valid UTF-8 and kept as it is.
        ASSERT_EQ(EightBitToUtf8(text), text) << round;
        if (IsValidUtf8(bytes)) {
            ASSERT_EQ(text, bytes) << round;
        }
    }
}
