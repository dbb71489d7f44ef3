// The configuration program's value rules and program lookup, called in this process.
#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"
#include "cunfigure/ConfigSettings.h"

using configure::CheckValue;
using configure::FindCommandProgram;
using configure::NamedProgram;
using configure::NeedsEnclosingQuotes;
using configure::ReplaceCommandProgram;
using configure::UnquotedProgramWithBlank;
using configure::ValueProblem;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {
std::wstring Wide(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}
}  // namespace

TEST(ConfigValues, AreQuotedOnlyWhenTheReadWouldChangeThem) {
  for (const wchar_t* plain : {L"", L"a", L"C:\\x.exe -a", L"\"C:\\x y.exe\" -a", L"a \"b\"", L"\"", L"'", L"\"a'",
                               L"'a\"", L"a\"", L"表"}) {
    EXPECT_FALSE(NeedsEnclosingQuotes(plain)) << plain;
    EXPECT_EQ(configure::ProfileText(plain), plain);
  }
  for (const wchar_t* quoted : {L" a", L"a ", L"\ta", L"a\t", L"\"\"", L"''", L"\"a\"", L"'a'", L"\x3000" L"a", L" "}) {
    EXPECT_TRUE(NeedsEnclosingQuotes(quoted)) << quoted;
    EXPECT_EQ(configure::ProfileText(quoted), L"\"" + std::wstring(quoted) + L"\"");
  }
}

TEST(ConfigValues, AreCheckedForWhatTheLauncherCanReadBack) {
  std::string bytes;
  EXPECT_EQ(CheckValue(L"C:\\表\\キ.exe", bytes), ValueProblem::None);
  EXPECT_EQ(bytes, "C:\\\x95\x5C\\\x83\x4C.exe");
  EXPECT_EQ(CheckValue(std::wstring(2047, L'a'), bytes), ValueProblem::None);
  EXPECT_EQ(CheckValue(std::wstring(2048, L'a'), bytes), ValueProblem::TooLong);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(CheckValue(L" " + std::wstring(2045, L'a'), bytes), ValueProblem::None);
  EXPECT_EQ(CheckValue(L" " + std::wstring(2046, L'a'), bytes), ValueProblem::TooLong);
  EXPECT_EQ(CheckValue(std::wstring(1023, L'表') + L"a", bytes), ValueProblem::None);
  EXPECT_EQ(CheckValue(std::wstring(1024, L'表'), bytes), ValueProblem::TooLong);
  EXPECT_EQ(CheckValue(L"a\r\nb", bytes), ValueProblem::LineBreak);
  EXPECT_EQ(CheckValue(L"caf\x00e9", bytes), ValueProblem::NotInCodePage);
  EXPECT_EQ(CheckValue(L"\x2460", bytes), ValueProblem::None);  // ① is in code page 932
}

TEST(ConfigCommandLine, NamesItsProgramForMessages) {
  EXPECT_EQ(NamedProgram(L"\"C:\\Program Files\\x.exe\" -a"), L"C:\\Program Files\\x.exe");
  EXPECT_EQ(NamedProgram(L"C:\\Program Files\\x.exe -a"), L"C:\\Program Files\\x.exe");
  EXPECT_EQ(NamedProgram(L"  C:\\x.EXE"), L"C:\\x.EXE");
  EXPECT_EQ(NamedProgram(L"mail -a b"), L"mail");
  EXPECT_EQ(NamedProgram(L"C:\\x.exe.bak -a"), L"C:\\x.exe.bak");
  EXPECT_EQ(NamedProgram(L"\"C:\\open"), L"C:\\open");
  EXPECT_EQ(NamedProgram(L""), L"");
}

TEST(ConfigCommandLine, FindsItsProgramAsTheSystemWould) {
  TempDir folder(" a b");
  WriteFileBytes(folder / "prog.exe", "MZ");
  CreateDirectoryA((folder / "x y").c_str(), nullptr);
  WriteFileBytes(folder / "x y\\z.exe", "MZ");
  const std::wstring dir = Wide(folder.Path());
  EXPECT_EQ(FindCommandProgram(dir + L"\\prog.exe -x \"y z\""), dir + L"\\prog.exe");
  EXPECT_EQ(FindCommandProgram(dir + L"\\prog -x"), dir + L"\\prog.exe");
  EXPECT_EQ(FindCommandProgram(L"  \"" + dir + L"\\prog.exe\" -x"), dir + L"\\prog.exe");
  EXPECT_EQ(FindCommandProgram(dir + L"\\x y\\z.exe -x"), dir + L"\\x y\\z.exe");
  EXPECT_EQ(FindCommandProgram(dir + L"\\prog.exe\t-x"), dir + L"\\prog.exe");  // a tab ends it too
  EXPECT_EQ(FindCommandProgram(dir + L"\\nothing.exe -x"), L"");
  EXPECT_EQ(FindCommandProgram(L"\"" + dir + L"\\x\" y\\z.exe"), L"");  // quoted: that name only
  EXPECT_EQ(FindCommandProgram(dir), L"");                             // a folder is no program
  EXPECT_EQ(FindCommandProgram(L""), L"");
  // A shorter prefix that names a file wins, as it does for CreateProcess.
  WriteFileBytes(folder / "x.exe", "MZ");
  EXPECT_EQ(FindCommandProgram(dir + L"\\x y\\z.exe -x"), dir + L"\\x.exe");
  // A bare name is searched for in the system's folders.
  const std::wstring cmd = FindCommandProgram(L"cmd /c exit");
  ASSERT_GE(cmd.size(), 8u);
  EXPECT_EQ(CompareStringOrdinal(cmd.c_str() + cmd.size() - 8, 8, L"\\cmd.exe", 8, TRUE), CSTR_EQUAL) << cmd;
  EXPECT_EQ(configure::FindProgram(dir + L"\\prog"), dir + L"\\prog.exe");
  EXPECT_EQ(configure::FindProgram(dir + L"\\x y"), L"");
}

TEST(ConfigCommandLine, GetsANewProgramAndKeepsItsArguments) {
  TempDir folder(" a b");
  WriteFileBytes(folder / "prog.exe", "MZ");
  const std::wstring dir = Wide(folder.Path());
  EXPECT_EQ(ReplaceCommandProgram(L"old.exe -a \"b c\"", L"C:\\new.exe"), L"C:\\new.exe -a \"b c\"");
  EXPECT_EQ(ReplaceCommandProgram(L"\"C:\\o ld.exe\" -a", L"C:\\n ew.exe"), L"\"C:\\n ew.exe\" -a");
  EXPECT_EQ(ReplaceCommandProgram(L"", L"C:\\x y\\n.exe"), L"\"C:\\x y\\n.exe\"");
  EXPECT_EQ(ReplaceCommandProgram(dir + L"\\prog.exe -x", L"C:\\n.exe"), L"C:\\n.exe -x");
  EXPECT_EQ(ReplaceCommandProgram(L"\"C:\\unclosed -x", L"C:\\n.exe"), L"C:\\n.exe");
}

TEST(ConfigCommandLine, TellsAnUnquotedProgramWithABlankAndQuotesIt) {
  TempDir folder(" a b");
  WriteFileBytes(folder / "prog.exe", "MZ");
  const std::wstring dir = Wide(folder.Path());
  EXPECT_EQ(UnquotedProgramWithBlank(dir + L"\\prog.exe -x"), dir + L"\\prog.exe");
  EXPECT_EQ(UnquotedProgramWithBlank(L"  " + dir + L"\\prog"), dir + L"\\prog");  // as typed
  EXPECT_EQ(ReplaceCommandProgram(dir + L"\\prog -x \"y\"", UnquotedProgramWithBlank(dir + L"\\prog -x \"y\"")),
            L"\"" + dir + L"\\prog\" -x \"y\"");
  EXPECT_EQ(UnquotedProgramWithBlank(L"\"" + dir + L"\\prog.exe\" -x"), L"");  // quoted
  EXPECT_EQ(UnquotedProgramWithBlank(dir + L"\\nothing.exe -x"), L"");  // not found: that has a question of its own
  EXPECT_EQ(UnquotedProgramWithBlank(L"cmd /c exit"), L"");             // no blank in the program
}

TEST(ConfigCommandLine, AShorterProgramTheSystemFindsFirstDoesNotHideTheNamedOne) {
  TempDir folder;
  CreateDirectoryA((folder / "Mail Box").c_str(), nullptr);
  WriteFileBytes(folder / "Mail Box\\prog.exe", "MZ");
  WriteFileBytes(folder / "Mail.exe", "MZ");  // what the unquoted line starts today
  const std::wstring meant = Wide(folder / "Mail Box\\prog.exe");
  const std::wstring typed = meant + L" -x";
  ASSERT_EQ(FindCommandProgram(typed), Wide(folder / "Mail.exe"));
  std::wstring startsInstead;
  EXPECT_EQ(UnquotedProgramWithBlank(typed, &startsInstead), meant);
  EXPECT_EQ(startsInstead, Wide(folder / "Mail.exe"));
  EXPECT_EQ(ReplaceCommandProgram(typed, meant), L"\"" + meant + L"\" -x");
  EXPECT_EQ(ReplaceCommandProgram(typed, L"C:\\n.exe"), L"C:\\n.exe -x");
  // Nothing found: a chosen program replaces the whole named one, not its first word.
  EXPECT_EQ(ReplaceCommandProgram(L"C:\\nowhere at all\\x.exe -a", L"C:\\n.exe"), L"C:\\n.exe -a");
}
