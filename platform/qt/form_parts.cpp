// The pieces the forms are built of.
#include "platform/qt/form_parts.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace krv::platform {

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setObjectName(name);
  return l;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QPoint at, int minWidth) {
  QLabel* l = MakeLabel(parent, name, text);
  l->move(at);
  if (minWidth > 0) l->setMinimumWidth(minWidth);
  return l;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, const QRect& where) {
  QLabel* l = MakeLabel(parent, name, text);
  l->setGeometry(where);
  return l;
}

void FitLabels(QDialog* dialog) {
  int width = dialog->width();
  for (QLabel* l : dialog->findChildren<QLabel*>()) {
    QSize need = l->sizeHint();
    l->resize(std::max(l->width(), need.width()), std::max(l->height(), need.height()));
    width = std::max(width, l->x() + l->width() + 8);
  }
  dialog->setFixedSize(width, dialog->height());
}

QLineEdit* AddLabelledEdit(QDialog* dialog, QGridLayout* grid, const char* label,
                           const char* editName, int maxLength, QLabel** labelOut) {
  int row = grid->rowCount();
  QLabel* l = MakeLabel(dialog, "", label);
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

}  // namespace krv::platform
