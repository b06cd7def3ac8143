// The real-value entry.
#include "series/forms/REntU.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "series/worksheet_dialogs.h"

namespace krv::series {

using platform::AddOkCancel;
using platform::RunModal;

TRealEntry::TRealEntry(QWidget* parent) : QDialog(parent) {
  setObjectName("RealEntry");
  setWindowTitle("Enter/edit value:");
  auto* grid = new QGridLayout(this);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  grid->addWidget(Label1, 0, 0, 1, 2);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  grid->addWidget(Edit1, 1, 0, 1, 2);
  AddOkCancel(this, grid, "Button1", "Button2", &Button1, &Button2);
  connect(Button1, &QPushButton::clicked, this, &TRealEntry::Button1Click);
}

bool TRealEntry::EditValue(double& value, const std::string& prompt) {
  Label1->setText(platform::FromBytes(prompt.substr(0, 67)));
  Edit1->setText(platform::FromBytes(RealEntryText(value)));
  FormActivate();
  if (!RunModal(this)) return false;
  value = EnteredValue;
  return true;
}

void TRealEntry::FormActivate() {
  Edit1->setFocus();
  Edit1->selectAll();
}

void TRealEntry::Button1Click() {
  if (std::optional<double> v = RealEntryAccept(platform::ToBytes(Edit1->text()))) {
    EnteredValue = *v;
    accept();
  }
}

}  // namespace krv::series
