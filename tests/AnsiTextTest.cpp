// Double-byte aware path and text helpers, under code pages 932 and 1252.
#include <gtest/gtest.h>

#include <string>

#include "framework/AnsiText.h"
#include "framework/Paths.h"

using namespace framework;

namespace {
// 表 is 0x95 0x5C in code page 932: its second byte is a backslash.
const std::string kHyou = "\x95\x5C";
// キ is 0x83 0x4C: its second byte is the letter L.
const std::string kKi = "\x83\x4C";
}  // namespace

TEST(AnsiText, TheProgramsTextsAreCodePage932Bytes) {
  EXPECT_EQ(std::string("終了"), "\x8F\x49\x97\xB9");
  EXPECT_EQ(std::string("表"), kHyou);
}

TEST(AnsiText, TestsRunUnderCodePage932) {
  // The path tests below rely on the ANSI code page of a Japanese system.
  EXPECT_EQ(GetACP(), 932u);
}

TEST(AnsiText, LastDelimiterStepsOverSecondBytesThatLookLikeBackslashes) {
  const std::string path = "C:\\data\\" + kHyou;  // a folder name ending in 表
  EXPECT_EQ(LastDelimiter(path, "\\:", 932), 7u);
  // Byte-wise (as code page 1252 sees it) the last backslash is 表's second byte.
  EXPECT_EQ(LastDelimiter(path, "\\:", 1252), path.size() - 1);
  EXPECT_EQ(LastDelimiter("abc", "\\:", 932), std::string::npos);
  EXPECT_EQ(LastDelimiter("C:name", "\\:", 932), 1u);
}

TEST(AnsiText, LeadByteRangesFollowTheCodePageInEffect) {
  // Under 1252, "é" (0xE9) is a character of its own, so the backslash after it counts;
  // under 932, 0xE9 0x5C is one double-byte character.
  const std::string text = "x\xE9\\y";
  EXPECT_EQ(LastDelimiter(text, "\\", 1252), 2u);
  EXPECT_EQ(LastDelimiter(text, "\\", 932), std::string::npos);
}

TEST(AnsiText, CaseChangesLeaveDoubleByteCharactersAlone) {
  EXPECT_EQ(AsciiLowerCase("AB" + kKi + "CD", 932), "ab" + kKi + "cd");
  EXPECT_EQ(AsciiUpperCase("ab" + kKi + "cd", 932), "AB" + kKi + "CD");
  // Byte-wise the L of キ would change: that is what 1252 does.
  EXPECT_EQ(AsciiLowerCase(kKi, 1252), "\x83\x6C");
  EXPECT_EQ(AsciiLowerCase("\xC4Z", 1252), "\xC4z");  // only A to Z change
}

TEST(AnsiText, CutOnCharBoundaryNeverSplitsACharacter) {
  const std::string text = "ab" + kHyou + kKi;
  EXPECT_EQ(CutOnCharBoundary(text, 3, 932), "ab");
  EXPECT_EQ(CutOnCharBoundary(text, 4, 932), "ab" + kHyou);
  EXPECT_EQ(CutOnCharBoundary(text, 3, 1252), "ab\x95");
  EXPECT_EQ(CutOnCharBoundary(text, 99, 932), text);
}

TEST(AnsiText, DecimalTextWritesEveryLongWithItsSign) {
  EXPECT_EQ(framework::DecimalText(0), "0");
  EXPECT_EQ(framework::DecimalText(-7), "-7");
  EXPECT_EQ(framework::DecimalText(2147483647L), "2147483647");
  EXPECT_EQ(framework::DecimalText(-2147483647L - 1), "-2147483648");
}

TEST(AnsiText, Utf8ConversionsRoundTrip) {
  EXPECT_EQ(Utf8ToAnsi(u8"\u7D42\u4E86", 932), "\x8F\x49\x97\xB9");
  EXPECT_EQ(AnsiToUtf8("\x8F\x49\x97\xB9", 932), u8"\u7D42\u4E86");
  EXPECT_EQ(AnsiToUtf8("\xA2x\xA3", 932), u8"\uFF62x\uFF63");
}

TEST(Paths, FilePathAndNameSplitOnRealDelimitersOnly) {
  const std::string dir = "C:\\" + kHyou;  // C:\表
  EXPECT_EQ(ExtractFilePath(dir + "\\Launcher.exe"), dir + "\\");
  EXPECT_EQ(ExtractFileName(dir + "\\Launcher.exe"), "Launcher.exe");
  EXPECT_EQ(ExtractFileName("C:" + kHyou + ".exe"), kHyou + ".exe");
  EXPECT_EQ(ExtractFilePath("name.ini"), "");
  EXPECT_EQ(ExtractFileBaseName("C:\\My.Tools\\Run.Me.Exe"), "Run.Me");
  EXPECT_EQ(ExtractFileBaseName("C:\\My.Tools\\NOEXT"), "NOEXT");
}

TEST(Paths, FileDirKeepsTheBackslashOfADriveRootOnly) {
  EXPECT_EQ(ExtractFileDir("C:\\Launcher.exe"), "C:\\");
  EXPECT_EQ(ExtractFileDir("C:\\Tools\\Launcher.exe"), "C:\\Tools");
  EXPECT_EQ(ExtractFileDir("\\\\server\\share\\x.exe"), "\\\\server\\share");
  // A folder ending in 表: the byte before the last backslash is 0x5C, but not a backslash.
  EXPECT_EQ(ExtractFileDir("C:\\" + kHyou + "\\Launcher.exe"), "C:\\" + kHyou);
}

TEST(Paths, SizedStringsGrowBeyondTheFirstBuffer) {
  const std::string longDirectory = "C:\\" + std::string(300, 'w');
  int calls = 0;
  const std::string result = ReadSizedString(
      [&](char* buffer, UINT size) -> UINT {
        ++calls;
        const UINT needed = static_cast<UINT>(longDirectory.size());
        if (size <= needed) return needed + 1;  // too small: the size it needs
        memcpy(buffer, longDirectory.c_str(), needed + 1);
        return needed;
      },
      150);
  EXPECT_EQ(result, longDirectory);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(ReadSizedString([](char*, UINT) -> UINT { return 0; }), "");
}

TEST(Paths, SystemPathsAreWhole) {
  const std::string windows = WindowsDirectory();
  char expected[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(expected, MAX_PATH);
  EXPECT_EQ(windows, std::string(expected, length));
  const std::string module = ModuleFileName();
  EXPECT_GT(module.size(), 4u);
  EXPECT_EQ(AsciiLowerCase(module.substr(module.size() - 4)), ".exe");
}
