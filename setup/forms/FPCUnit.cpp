// TFPCFrm: asks where Free Pascal is installed and writes Helmsman's configuration file.
#include "setup/forms/FPCUnit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/user_prompts.h"
#include "setup/fpc_path_file.h"

namespace st = krv::setup;
namespace pf = krv::platform;

// The place of a label of the window: one below the other, at `y`.
static QRect LabelRow(int y) { return QRect(16, y, 527, 20); }

TFPCFrm::TFPCFrm(const std::string& mainDir, QWidget* parent)
    : QDialog(parent), mainDir_(mainDir) {
  setObjectName("FPCFrm");
  setWindowTitle("Telling Kravenor where Free Pascal is installed");
  setGeometry(188, 69, 559, 259);
  Label1 = pf::MakeLabel(this, "Label1", "Now select the base  Free Pascal directory: ",
                         LabelRow(16));
  Label2 = pf::MakeLabel(this, "Label2",
                         "For example if your installation has /usr/bin/fpc then the  base "
                         "directory is /usr",
                         LabelRow(48));
  Label3 = pf::MakeLabel(this, "Label3",
                         "(Note that the Free Pascal base directory is the one above bin, such as "
                         "\"/usr\".)",
                         LabelRow(80));
  // The note may be longer than one line of the window.
  Label3->setWordWrap(true);
  Label3->setGeometry(16, 74, 527, 36);
  Label4 = pf::MakeLabel(this, "Label4",
                         "If you have not yet installed Free Pascal, do so now before continuing.",
                         LabelRow(112));
  Button1 = new QPushButton("Select", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(120, 176, 100, 30);
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(340, 176, 100, 30);
  connect(Button1, &QPushButton::clicked, this, &TFPCFrm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFPCFrm::Button2Click);
}

void TFPCFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TFPCFrm::keyPressEvent(QKeyEvent* event) {
  // Escape is Cancel, with what Cancel does: the placeholder and the note.
  if (event->matches(QKeySequence::Cancel)) {
    Button2->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFPCFrm::FormActivate() { chosenDir_ = "/usr"; }

void TFPCFrm::Button1Click() {
  auto dir = pf::Prompts().ChooseDirectory("", chosenDir_);
  if (!dir) return;
  chosenDir_ = *dir;
  if (!st::FpcFound(chosenDir_)) {
    pf::Prompts().ShowMessage("Install Free Pascal and then select its base directory");
    return;
  }
  pf::Prompts().ShowMessage("Free Pascal Found");
  st::WriteFpcPathFile(mainDir_, chosenDir_);
  accept();
}

void TFPCFrm::Button2Click() {
  chosenDir_ = st::kNoFpcDir;
  st::WriteFpcPathFile(mainDir_, chosenDir_);
  pf::Prompts().ShowMessage(
      "Helmsman.txt in the PGM directory needs to be edited to show where Free Pascal is "
      "installed (its first line: the directory that holds bin/fpc).");
  reject();
}
