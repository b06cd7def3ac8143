// setup, the installer: run from the directory the package was unpacked into.
#include <QApplication>
#include <QDir>
#include <QFile>

#include <string>

#include "platform/qt/qt_prompts.h"
#include "platform/user_prompts.h"
#include "setup/forms/FPCUnit.h"
#include "setup/forms/Unit0.h"
#include "setup/forms/Unit1.h"
#include "setup/install_steps.h"

namespace pf = krv::platform;

// SetupMain: the forms in their order, the main directory made current,
// the message loop until the main window closes.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("setup");
  const std::string mainDir = krv::setup::MainDirectory();
  TForm0 form0(mainDir);
  TForm1 form1(mainDir, &form0);
  TFPCFrm fpcFrm(mainDir, &form0);
  form0.SetForms(&form1, &fpcFrm);
  pf::InstallQtPlatform(&form0);
  if (mainDir.empty() || !QDir::setCurrent(QFile::decodeName(mainDir.c_str()))) {
    pf::Prompts().ShowMessage("Cannot enter the main directory " + mainDir +
                              ": setup cannot install from there.");
    return 1;
  }
  form0.show();
  form0.raise();
  form0.activateWindow();
  return app.exec();
}
