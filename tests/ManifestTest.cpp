// The application manifests built into the two shipped programs, read back from the programs.
#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

// The text of a program's manifest resource (type 24, id 1); empty when it has none.
std::string ManifestOf(const std::string& program) {
  HMODULE module = LoadLibraryExA(testsupport::BuiltProgram(program).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const void* bytes = LockResource(LoadResource(module, resource));
    if (bytes != nullptr) text.assign(static_cast<const char*>(bytes), SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return text;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Manifest, BothProgramsRunAsInvokerKnowTheSystemsFromVistaTo11AndFollowTheDisplayScale) {
  for (const char* program : {"TolvaneLauncher.exe", "Cunfigure.exe"}) {
    SCOPED_TRACE(program);
    const std::string manifest = ManifestOf(program);
    ASSERT_FALSE(manifest.empty());
    EXPECT_TRUE(Has(manifest, "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
    for (const char* system : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
      EXPECT_TRUE(Has(manifest, std::string("<supportedOS Id=\"{") + system + "}\"/>")) << system;
    }
    // Per-monitor (v2) where the system has it, else aware of the system's scale.
    EXPECT_TRUE(Has(manifest, "SMI/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>"));
    EXPECT_TRUE(Has(manifest, "SMI/2005/WindowsSettings\">true</dpiAware>"));
  }
  // The visual styles of the common controls: for the configuration window only.
  const char* commonControls = "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"";
  EXPECT_TRUE(Has(ManifestOf("Cunfigure.exe"), commonControls));
  EXPECT_FALSE(Has(ManifestOf("TolvaneLauncher.exe"), commonControls));
}
