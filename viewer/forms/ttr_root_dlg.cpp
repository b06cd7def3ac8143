// The name of a save's root DSDir.
#include "viewer/forms/ttr_root_dlg.h"

#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"

namespace krv::view {

TTTRrootF::TTTRrootF(QWidget* parent) : QDialog(parent) {
  setObjectName("TTRrootF");
  setWindowTitle("DSDir for this Save");
  setFixedSize(288, 71);
  edit1_ = new QLineEdit(this);
  edit1_->setObjectName("Edit1");
  edit1_->setGeometry(8, 8, 272, edit1_->sizeHint().height());
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("Button1");
  ok->setGeometry(40, 40, 75, 25);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel save", this);
  cancel->setObjectName("Button2");
  cancel->setGeometry(150, 40, 90, 25);
  connect(ok, &QPushButton::clicked, this, &TTTRrootF::Button1Click);
  connect(cancel, &QPushButton::clicked, this, &TTTRrootF::Button2Click);
}

void TTTRrootF::SetName(const std::string& name) { edit1_->setText(platform::FromBytes(name)); }

std::string TTTRrootF::Name() const { return platform::ToBytes(edit1_->text()); }

void TTTRrootF::Button1Click() {
  std::string name = Name();
  bool ok = accepts ? accepts(name) : true;
  SetName(name);  // the trimmed name stays in the field
  if (!ok) {
    platform::Prompts().Beep();
    return;
  }
  accept();
}

void TTTRrootF::Button2Click() { reject(); }

}  // namespace krv::view
