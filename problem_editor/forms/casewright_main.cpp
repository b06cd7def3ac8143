// Casewright: edits the values, ranges and constraints of a problem file.
#include <QApplication>
#include <QStringList>

#include "platform/qt/latin1.h"
#include "platform/qt/qt_prompts.h"
#include "problem_editor/forms/TForm1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Edit PRB");
  krv::pe::TForm1 form;  // creates the number and selection dialogs after it
  krv::platform::InstallQtPlatform(&form);

  // First argument: the problem path without ".PRB"; then "/u" exactly.
  QStringList args = QApplication::arguments();
  std::string path = args.size() > 1 ? krv::platform::ToBytes(args[1]) : std::string();
  bool update = args.size() > 2 && args[2] == "/u";
  form.show();
  form.StartWith(path, update);
  form.Session().startupDone = true;
  return app.exec();
}
