// The column formula dialog.
#include "series/forms/ForU.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"

namespace krv::series {

using platform::AddLabelledEdit;
using platform::AddOkCancel;

TForFrm::TForFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("ForFrm");
  setWindowTitle("Formula ");
  auto* grid = new QGridLayout(this);
  Edit1 = AddLabelledEdit(this, grid, "Column A", "Edit1", 87, &Label1);
  Label1->setObjectName("Label1");
  Edit1->setMinimumWidth(420);
  CheckBox1 = new QCheckBox("Compute Now", this);
  CheckBox1->setObjectName("CheckBox1");
  grid->addWidget(CheckBox1, grid->rowCount(), 1);
  AddOkCancel(this, grid, "Button1", "Button2", &Button1, &Button2);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace krv::series
