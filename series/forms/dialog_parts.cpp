// Pieces every small worksheet dialog is made of.
#include "series/forms/dialog_parts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace krv::series {

QLineEdit* AddLabelledEdit(QDialog* dialog, QGridLayout* grid, const char* label,
                           const char* editName, int maxLength, QLabel** labelOut) {
  int row = grid->rowCount();
  auto* l = new QLabel(QString::fromLatin1(label), dialog);
  auto* e = new QLineEdit(dialog);
  e->setObjectName(editName);
  if (maxLength > 0) e->setMaxLength(maxLength);
  grid->addWidget(l, row, 0);
  grid->addWidget(e, row, 1);
  if (labelOut) *labelOut = l;
  return e;
}

void AddOkCancel(QDialog* dialog, QGridLayout* grid, const char* okName, const char* cancelName,
                 QPushButton** ok, QPushButton** cancel) {
  auto* row = new QHBoxLayout;
  *ok = new QPushButton("OK", dialog);
  (*ok)->setObjectName(okName);
  (*ok)->setDefault(true);
  *cancel = new QPushButton("Cancel", dialog);
  (*cancel)->setObjectName(cancelName);
  row->addStretch();
  row->addWidget(*ok);
  row->addWidget(*cancel);
  grid->addLayout(row, grid->rowCount(), 0, 1, 2);
  QObject::connect(*cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

bool RunModal(QDialog* dialog) { return dialog->exec() == QDialog::Accepted; }

}  // namespace krv::series
