// Sequist: the model sequencer program. A problem path on the command line
// is sequenced at once, before the message loop; the window stays open.
#include <QApplication>

#include <string>

#include "platform/qt/qt_prompts.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/forms/Sequist1.h"

static int SequencerMain(int argc, char** argv) {
  QApplication app(argc, argv);
  krv::seq::TForm1 form;
  form.show();
  krv::platform::InstallQtPlatform(&form);
  // Only the first argument counts; it is bytes, taken from argv.
  if (argc > 1) krv::seq::RunFromCommandLine(argv[1], form.Log());
  return app.exec();
}

int main(int argc, char** argv) { return SequencerMain(argc, argv); }
