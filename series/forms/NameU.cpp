// The series name and description dialog.
#include "series/forms/NameU.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "series/worksheet_dialogs.h"

namespace krv::series {

using platform::AddLabelledEdit;
using platform::AddOkCancel;
using platform::RunModal;

TNameFrm::TNameFrm(SeriesStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("NameFrm");
  setWindowTitle("Edit Series Name and description");
  auto* grid = new QGridLayout(this);
  Edit1 = AddLabelledEdit(this, grid, "Series name:", "Edit1");
  Edit2 = AddLabelledEdit(this, grid, "Description line 1:", "Edit2", int(kDescriptionLineMax));
  Edit3 = AddLabelledEdit(this, grid, "Description line 2:", "Edit3", int(kDescriptionLineMax));
  Edit1->setMinimumWidth(420);
  AddOkCancel(this, grid, "OKButton", "CanButton", &OKButton, &CanButton);
  connect(OKButton, &QPushButton::clicked, this, &TNameFrm::OKButtonClick);
}

bool TNameFrm::EditColumn(int column) {
  column_ = column;
  FormActivate();
  return RunModal(this);
}

void TNameFrm::FormActivate() {
  NameDialogTexts t = NameDialogFill(store_, column_);
  setWindowTitle(platform::FromBytes(t.caption));
  Edit1->setText(platform::FromBytes(t.name));
  Edit2->setText(platform::FromBytes(t.line1.substr(0, kDescriptionLineMax)));
  Edit3->setText(platform::FromBytes(t.line2.substr(0, kDescriptionLineMax)));
  Edit1->setFocus();
  Edit1->selectAll();
}

void TNameFrm::OKButtonClick() {
  if (NameDialogAccept(store_, column_, platform::ToBytes(Edit1->text()), platform::ToBytes(Edit2->text()),
                       platform::ToBytes(Edit3->text())))
    accept();
}

}  // namespace krv::series
