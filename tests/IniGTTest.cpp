// The INI settings component on real files: path resolution, fences, limits and design mode.
#include <gtest/gtest.h>

#include <string>

#include "framework/FormText.h"
#include "framework/Forms.h"
#include "framework/Paths.h"
#include "settings/IniGT.h"
#include "tests/TestSupport.h"

using namespace settings;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {
const std::string kProgramDir = framework::ExtractFilePath(framework::ModuleFileName());

// A component bound to a file written with the given content.
struct IniFile {
  explicit IniFile(const std::string& content) : ini(nullptr) {
    WriteFileBytes(dir / "test.ini", content);
    ini.SetFileName(dir / "test.ini");
  }
  TempDir dir;
  TIniGT ini;
};
}  // namespace

TEST(IniGTPath, ABareNameIsPlacedAsDefaultDirSays) {
  TIniGT ini(nullptr);
  EXPECT_EQ(ini.DefaultDir(), TIniGTDefaultDir::ddApplication);
  EXPECT_EQ(ini.Fence(), TIniGTFence::fnNone);
  EXPECT_EQ(ini.ResolvedPath(), "");

  ini.SetFileName("Some.ini");
  EXPECT_EQ(ini.FileName(), "Some.ini");
  EXPECT_EQ(ini.ResolvedPath(), kProgramDir + "Some.ini");

  ini.SetDefaultDir(TIniGTDefaultDir::ddWindows);  // moves the file to the Windows directory
  EXPECT_EQ(ini.ResolvedPath(), framework::WindowsDirectory() + "\\Some.ini");
  EXPECT_EQ(ini.FileName(), "Some.ini");

  ini.SetDefaultDir(TIniGTDefaultDir::ddNone);
  EXPECT_EQ(ini.ResolvedPath(), "Some.ini");
}

TEST(IniGTPath, ANameWithADirectoryPartIsUsedUnchanged) {
  TIniGT ini(nullptr);
  ini.SetFileName("C:\\cfg\\a.ini");
  EXPECT_EQ(ini.ResolvedPath(), "C:\\cfg\\a.ini");
  ini.SetFileName("D:b.ini");  // a colon alone is a directory part
  EXPECT_EQ(ini.ResolvedPath(), "D:b.ini");
  ini.SetDefaultDir(TIniGTDefaultDir::ddWindows);
  EXPECT_EQ(ini.ResolvedPath(), "D:b.ini");
  // A name whose second byte is 0x5C (表.ini) has no directory part.
  ini.SetDefaultDir(TIniGTDefaultDir::ddApplication);
  ini.SetFileName("\x95\x5C.ini");
  EXPECT_EQ(ini.ResolvedPath(), kProgramDir + "\x95\x5C.ini");
}

TEST(IniGTPath, DefaultFileNameComesFromTheExecutablesName) {
  EXPECT_EQ(TIniGT::DefaultFileName("C:\\Apps\\LAUNCH.EXE"), "Launch.ini");
  EXPECT_EQ(TIniGT::DefaultFileName("C:\\Apps\\7ZIP.EXE"), "7zip.ini");
  EXPECT_EQ(TIniGT::DefaultFileName("C:\\Apps\\NOEXT"), "Noext.ini");
  EXPECT_EQ(TIniGT::DefaultFileName("C:\\My.Tools\\Run.Me.Exe"), "Run.me.ini");
  // キ (0x83 0x4C) keeps its second byte; 表 (0x95 0x5C) does not split the name.
  EXPECT_EQ(TIniGT::DefaultFileName("C:\\\x95\x5C\\\x83\x4CLAUNCH.EXE"), "\x83\x4Claunch.ini");
}

TEST(IniGTRead, MissingFileSectionOrKeyGiveTheDefault) {
  IniFile file("[Path]\r\nMail=client.exe\r\n");
  EXPECT_EQ(file.ini.ReadString("Path", "Mail", ""), "client.exe");
  EXPECT_EQ(file.ini.ReadString("Path", "Nope", ""), "");
  EXPECT_EQ(file.ini.ReadString("Other", "Mail", "dflt"), "dflt");
  TIniGT missing(nullptr);
  missing.SetFileName(file.dir / "absent.ini");
  EXPECT_EQ(missing.ReadString("Path", "Mail", ""), "");
  // The bare directory that an empty name resolves to is no readable file either.
  TIniGT empty(nullptr);
  empty.SetFileName("");
  EXPECT_EQ(empty.ReadString("Path", "Mail", "x"), "x");
}

TEST(IniGTRead, ValuesAreCutAt2047Characters) {
  const std::string longValue(3000, 'v');
  IniFile file("[S]\r\nK=" + longValue + "\r\n");
  EXPECT_EQ(file.ini.ReadString("S", "K", ""), std::string(2047, 'v'));
}

TEST(IniGTRead, BadFilesReadAsMissingValues) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  for (const std::string& content : {garbage, std::string(), std::string("[Path]\r\nMail=end-of-file")}) {
    IniFile file(content);
    EXPECT_EQ(file.ini.ReadString("Path", "Ondrel", ""), "");
  }
  IniFile noNewline("[Path]\r\nMail=end-of-file");
  EXPECT_EQ(noNewline.ini.ReadString("Path", "Mail", ""), "end-of-file");
}

// The platform's read drops one pair of quotes around a stored value, so the file holds an extra
// pair where a raw result with quotes is wanted.
class IniGTFenceTest : public ::testing::Test {
 protected:
  IniGTFenceTest()
      : file("[F]\r\n"
             "twoQuotes=\"\"\"\"\r\n"
             "oneQuote=\"\r\n"
             "leftOnly=\"abc\r\n"
             "quoted=\"\"abc\"\"\r\n"
             "cornered=\xA2" "abc\xA3\r\n"
             "both=\"\"\xA2" "abc\xA3\"\"\r\n"
             "nested=\xA2\"abc\"\xA3\r\n"
             "plain=abc\r\n") {}
  std::string Raw(const char* key) { return file.ini.ReadRawString("F", key, ""); }
  std::string Read(TIniGTFence fence, const char* key, const std::string& dflt = "") {
    file.ini.SetFence(fence);
    return file.ini.ReadString("F", key, dflt);
  }
  IniFile file;
};

TEST_F(IniGTFenceTest, RawReadsAreWhatThePlatformGives) {
  EXPECT_EQ(Raw("twoQuotes"), "\"\"");
  EXPECT_EQ(Raw("oneQuote"), "\"");
  EXPECT_EQ(Raw("leftOnly"), "\"abc");
  EXPECT_EQ(Raw("quoted"), "\"abc\"");
  EXPECT_EQ(Raw("cornered"), "\xA2" "abc\xA3");
  EXPECT_EQ(Raw("both"), "\"\xA2" "abc\xA3\"");
}

TEST_F(IniGTFenceTest, DoubleQuoteFenceTakesOnlyQuotes) {
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "twoQuotes"), "");
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "oneQuote"), "\"");
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "leftOnly"), "\"abc");
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "quoted"), "abc");
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "cornered"), "\xA2" "abc\xA3");
  EXPECT_EQ(Read(TIniGTFence::fnDoubleQuote, "missing", "dflt"), "dflt");
}

TEST_F(IniGTFenceTest, ParenthesisFenceTakesOnlyCorners) {
  EXPECT_EQ(Read(TIniGTFence::fnParenthesis, "cornered"), "abc");
  EXPECT_EQ(Read(TIniGTFence::fnParenthesis, "quoted"), "\"abc\"");
  EXPECT_EQ(Read(TIniGTFence::fnParenthesis, "missing", "dflt"), "dflt");
}

TEST_F(IniGTFenceTest, Ver11ModeTakesEitherPairButOnlyTheOuterOne) {
  EXPECT_EQ(Read(TIniGTFence::fnVer11Mode, "quoted"), "abc");
  EXPECT_EQ(Read(TIniGTFence::fnVer11Mode, "cornered"), "abc");
  EXPECT_EQ(Read(TIniGTFence::fnVer11Mode, "both"), "\xA2" "abc\xA3");
  EXPECT_EQ(Read(TIniGTFence::fnVer11Mode, "nested"), "\"abc\"");
  EXPECT_EQ(Read(TIniGTFence::fnVer11Mode, "missing", "dflt"), "dflt");
}

TEST_F(IniGTFenceTest, NoFenceAddsAndRemovesNothing) {
  EXPECT_EQ(Read(TIniGTFence::fnNone, "quoted"), "\"abc\"");
  EXPECT_EQ(Read(TIniGTFence::fnNone, "cornered"), "\xA2" "abc\xA3");
  EXPECT_EQ(Read(TIniGTFence::fnNone, "plain"), "abc");
  EXPECT_EQ(Read(TIniGTFence::fnNone, "missing", "\xA2" "dflt\xA3"), "\xA2" "dflt\xA3");
  // The platform's own rule still applies to the default: its trailing blanks are cut.
  EXPECT_EQ(Read(TIniGTFence::fnNone, "missing", "dflt  "), "dflt");
}

namespace {
using TIniHost = testsupport::THostModule;

TIniGT* LoadIni(TIniHost& host, const std::string& properties) {
  return testsupport::LoadHosted<TIniGT>(host, "Ini", properties);
}
}  // namespace

TEST(IniGTLoad, AnEmptyFileNameBecomesTheExecutablesNameAtEndOfLoad) {
  TIniHost host(nullptr);
  TIniGT* ini = LoadIni(host, "    DefaultDir = ddApplication\n    Fence = fnNone\n");
  const std::string expected = TIniGT::DefaultFileName(framework::ModuleFileName());
  EXPECT_EQ(ini->FileName(), expected);
  EXPECT_EQ(ini->ResolvedPath(), kProgramDir + expected);
}

TEST(IniGTLoad, StoredValuesAreAppliedAndSaved) {
  TIniHost host(nullptr);
  TIniGT* ini = LoadIni(host, "    DefaultDir = ddWindows\n    FileName = 'x.ini'\n    Fence = fnDoubleQuote\n");
  EXPECT_EQ(ini->ResolvedPath(), framework::WindowsDirectory() + "\\x.ini");
  EXPECT_EQ(ini->Fence(), TIniGTFence::fnDoubleQuote);
  EXPECT_FALSE(ini->FenceNeverAssigned());
  // No stored defaults: every value is written, even those equal to the values after construction.
  ini->SetDefaultDir(TIniGTDefaultDir::ddApplication);
  ini->SetFence(TIniGTFence::fnNone);
  const std::string text = framework::WriteComponent(host);
  EXPECT_NE(text.find("DefaultDir = ddApplication"), std::string::npos) << text;
  EXPECT_NE(text.find("Fence = fnNone"), std::string::npos) << text;
}

TEST(IniGTDesign, InADesignerTheFenceStartsAsVer11AndLeavingItWarnsOncePerChange) {
  testsupport::MessageBoxWatcher boxes;
  TIniHost host(nullptr);
  host.SetDesigning(true);
  TIniGT* ini = LoadIni(host, "    DefaultDir = ddApplication\n");
  EXPECT_EQ(ini->Fence(), TIniGTFence::fnVer11Mode);  // set directly, no warning
  EXPECT_EQ(ini->FileName(), "");                     // no default name in a designer
  EXPECT_TRUE(ini->FenceNeverAssigned());

  ini->SetFence(TIniGTFence::fnVer11Mode);  // same value: no warning, flag cleared
  EXPECT_FALSE(ini->FenceNeverAssigned());
  EXPECT_TRUE(boxes.Texts().empty());

  ini->SetFence(TIniGTFence::fnNone);
  ini->SetFence(TIniGTFence::fnDoubleQuote);  // not leaving fnVer11Mode: no warning
  ini->SetFence(TIniGTFence::fnVer11Mode);
  ini->SetFence(TIniGTFence::fnParenthesis);
  EXPECT_EQ(ini->Fence(), TIniGTFence::fnParenthesis);
  const std::vector<std::string> texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0],
            "fnVer11Mode以外の値にすると、TIniGTのVer1.0とVer1.1で書き込んだﾌｧｲﾙを正しく読めない事があります。");
}

TEST(IniGTDesign, AtRunTimeLeavingVer11ShowsNothing) {
  testsupport::MessageBoxWatcher boxes;
  TIniGT ini(nullptr);
  ini.SetFence(TIniGTFence::fnVer11Mode);
  ini.SetFence(TIniGTFence::fnNone);
  EXPECT_TRUE(boxes.Texts().empty());
}
