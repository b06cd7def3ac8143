// TForm0: the installer's main window and its install sequence.
#include "setup/forms/Unit0.h"

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/user_prompts.h"
#include "setup/install_steps.h"

namespace pf = krv::platform;
namespace st = krv::setup;

// The place of a label of the window: one below the other, at `y`.
static QRect LabelRow(int y) { return QRect(24, y, 514, 22); }

TForm0::TForm0(const std::string& mainDir, QWidget* parent) : QWidget(parent), mainDir_(mainDir) {
  setObjectName("Form0");
  setWindowTitle("Kravenor Setup");
  setGeometry(326, 115, 562, 342);
  Label1 = pf::MakeLabel(this, "Label1", "Kravenor numerical modelling package", LabelRow(16));
  Label8 = pf::MakeLabel(this, "Label8",
                         "Copyright (c) the Kravenor developers. All rights reserved.",
                         LabelRow(40));
  Label2 = pf::MakeLabel(this, "Label2", "Setup--Kravenor 6.04", LabelRow(80));
  QFont big = Label2->font();
  big.setPointSize(big.pointSize() + 4);
  big.setBold(true);
  Label2->setFont(big);
  Label2->setGeometry(24, 76, 514, 30);
  Label5 = pf::MakeLabel(this, "Label5",
                         "Free Pascal 3.2.2 is required (the Debian package fp-compiler).",
                         LabelRow(124));
  Label3 = pf::MakeLabel(this, "Label3", "", LabelRow(156));
  Label3->setWordWrap(true);
  Label3->setGeometry(24, 156, 514, 44);
  Button1 = new QPushButton("Continue with Installation", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(64, 248, 200, 36);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(328, 248, 160, 36);
  // Return presses the button that has the focus, as in the dialogs.
  Button1->setAutoDefault(true);
  Button2->setAutoDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TForm0::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm0::Button2Click);
  setTabOrder(Button1, Button2);
  Button1->setFocus();
}

void TForm0::SetForms(QDialog* form1, QDialog* fpcFrm) {
  form1_ = form1;
  fpcFrm_ = fpcFrm;
}

void TForm0::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormActivate();
}

void TForm0::FormActivate() {
  Label3->setText("You have already chosen a main directory for Kravenor when it was uncompressed");
  Button1->setFocus();
}

void TForm0::Button1Click() {
  if (!st::InstallProgramFiles(mainDir_)) {
    pf::Prompts().ShowMessage("File missing or other problem");
    close();
    return;
  }
  if (form1_) form1_->exec();
  if (fpcFrm_) fpcFrm_->exec();
  if (pf::Prompts().Confirm("Install Example Problems?") && !st::InstallExamples(mainDir_))
    pf::Prompts().ShowMessage("Example file missing or other problem");
  pf::Prompts().ShowMessage("Finished");
  close();
}

void TForm0::Button2Click() { close(); }
