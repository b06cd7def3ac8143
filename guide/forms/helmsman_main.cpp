// Helmsman, the guide shell: starts the main window and runs the message loop.
#include <QApplication>

#include "guide/forms/DGW1.h"
#include "platform/qt/latin1.h"
#include "platform/qt/qt_prompts.h"

static int ProgramMainGuide(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Guide");
  std::string programDir = krv::platform::ToBytes(QApplication::applicationDirPath()) + "/";
  TForm1 form(programDir);
  krv::platform::InstallQtPlatform(&form);
  form.show();
  return app.exec();
}

int main(int argc, char** argv) { return ProgramMainGuide(argc, argv); }
