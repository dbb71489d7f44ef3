// Prints what the launcher's configuration data module reads, or what a settings component derives
// as its default file name, for a run beside a given executable name and settings file.
//
//   SettingsProbe            Mail=<value> / Ondrel=<value> / Path=<settings path>
//   SettingsProbe default    FileName=<derived name> / Path=<resolved path>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/ComData.h"
#include "framework/Application.h"
#include "framework/FormText.h"

namespace {
void PrintLine(const char* key, const std::string& value) {
  std::fwrite(key, 1, std::strlen(key), stdout);
  std::fputc('=', stdout);
  std::fwrite(value.data(), 1, value.size(), stdout);
  std::fputc('\n', stdout);
}

class TProbeModule : public framework::TDataModule {
 public:
  using TDataModule::TDataModule;
  static const framework::PropertyTable& ClassProperties() {
    static const framework::PropertyTable table("TProbeModule", &framework::TDataModule::ClassProperties());
    return table;
  }
  const framework::PropertyTable& Published() const override { return ClassProperties(); }
};
}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // the bytes as read, with plain line feeds
  framework::TApplication application;
  if (argc > 1 && std::strcmp(argv[1], "default") == 0) {
    // A settings component stored without a file name, as the launcher window's second one is.
    TProbeModule module(&application);
    framework::ReadComponent(module,
                             "object Probe: TProbeModule\n"
                             "  object IniGT2: TIniGT\n"
                             "    DefaultDir = ddApplication\n"
                             "    Fence = fnNone\n"
                             "  end\n"
                             "end\n",
                             framework::ClassRegistry().Add<settings::TIniGT>());
    const auto* ini = framework::ComponentAs<settings::TIniGT>(module.FindComponent("IniGT2"));
    PrintLine("FileName", ini->FileName());
    PrintLine("Path", ini->ResolvedPath());
    return 0;
  }
  application.CreateForm(CommonData);
  PrintLine("Mail", CommonData->GetMailCommand());
  PrintLine("Ondrel", CommonData->GetProxyPath());
  PrintLine("Path", CommonData->IniGT1()->ResolvedPath());
  return 0;
}
