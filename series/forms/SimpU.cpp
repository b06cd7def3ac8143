// The one-line text entry.
#include "series/forms/SimpU.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"

namespace krv::series {

using platform::AddLabelledEdit;
using platform::AddOkCancel;

TSimplFrm::TSimplFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("SimplFrm");
  auto* grid = new QGridLayout(this);
  Edit1 = AddLabelledEdit(this, grid, "", "Edit1", 0, &Label1);
  Label1->setObjectName("Label1");
  Edit1->setMinimumWidth(300);
  AddOkCancel(this, grid, "Button1", "Button2", &Button1, &Button2);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace krv::series
