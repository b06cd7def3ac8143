// The number display choice of worksheet columns.
#include "series/forms/DecU.h"

#include <QComboBox>
#include <algorithm>
#include <QGridLayout>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "series/worksheet_dialogs.h"

namespace krv::series {

using platform::AddOkCancel;
using platform::RunModal;

TDecFrm::TDecFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("DecFrm");
  setWindowTitle("Number display");
  auto* grid = new QGridLayout(this);
  ComboBox1 = new QComboBox(this);  // a choice from the list only: no free text
  ComboBox1->setObjectName("ComboBox1");
  for (const char* item : kNumberDisplayItems) ComboBox1->addItem(QString::fromLatin1(item));
  grid->addWidget(ComboBox1, 0, 0, 1, 2);
  AddOkCancel(this, grid, "Button1", "Button2", &Button1, &Button2);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

bool TDecFrm::EditNumberDisplay(int& digits) {
  ComboBox1->setCurrentIndex(std::clamp(digits + 2, 0, 11));
  if (!RunModal(this)) return false;
  digits = ComboBox1->currentIndex() - 2;
  return true;
}

}  // namespace krv::series
