// Plotvane: the result viewer program. It reads no command line.
#include <QApplication>

#include "platform/qt/qt_prompts.h"
#include "viewer/forms/Plotvane1.h"
#include "viewer/forms/XSelect.h"

static int RunViewer(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Plotvane");
  krv::view::TForm1 form;
  krv::view::TXSelect xselect(form.State(), &form);
  form.SetSelectDialog(&xselect);
  krv::platform::InstallQtPlatform(&form);
  form.showMaximized();
  return app.exec();
}

int main(int argc, char** argv) { return RunViewer(argc, argv); }
