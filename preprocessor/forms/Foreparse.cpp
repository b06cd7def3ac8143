// Foreparse: the model preprocessor program. A model path on the command
// line runs at once, before the message loop; the window stays open.
#include <QApplication>

#include <string>
#include <vector>

#include "platform/qt/qt_prompts.h"
#include "preprocessor/forms/Foreparse1.h"
#include "preprocessor/program_start.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  krv::pp::TForm1 form;
  form.show();
  krv::platform::InstallQtPlatform(&form);
  // Arguments are bytes: taken from argv, not from Qt's decoded list.
  std::vector<std::string> args(argv + 1, argv + argc);
  krv::pp::HandleCommandLine(form.Core(), args);
  return app.exec();
}
