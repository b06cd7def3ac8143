// The row-use limits dialog.
#include "series/forms/UseU.h"

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

TUseDlg::TUseDlg(SeriesStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("UseDlg");
  setWindowTitle("Change Row Use limits");
  auto* grid = new QGridLayout(this);
  Edit1 = AddLabelledEdit(this, grid, "From:", "Edit1");
  Edit2 = AddLabelledEdit(this, grid, "To:", "Edit2");
  AddOkCancel(this, grid, "Button1", "Button2", &Button1, &Button2);
  connect(Button1, &QPushButton::clicked, this, &TUseDlg::Button1Click);
}

bool TUseDlg::EditLimits() {
  FormActivate();
  return RunModal(this);
}

void TUseDlg::FormActivate() {
  Edit1->setText(platform::FromBytes(RowUseText(store_.RowUseLow)));
  Edit2->setText(platform::FromBytes(RowUseText(store_.RowUseHigh)));
  Edit1->setFocus();
  Edit1->selectAll();
}

void TUseDlg::Button1Click() {
  if (RowUseAccept(store_, platform::ToBytes(Edit1->text()), platform::ToBytes(Edit2->text()))) accept();
}

}  // namespace krv::series
