// The variable selection dialog.
#include "viewer/forms/XSelect.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "viewer/var_selection.h"

namespace krv::view {

using platform::FromBytes;
using platform::Place;
using platform::ToBytes;

TXSelect::TXSelect(ViewerState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName("XSelect");
  setWindowTitle("Variable Selection:");
  setFixedSize(317, 129);
  label1_ = Place(new QLabel("BeginNumber", this), "Label1", 8, 10, 100);
  begXNUM_ = Place(new QLineEdit(this), "BegXNUM", 112, 8, 80);
  label2_ = Place(new QLabel("EndNumber", this), "Label2", 8, 38, 100);
  endXNUM_ = Place(new QLineEdit(this), "EndXNUM", 112, 36, 80);
  label3_ = Place(new QLabel("Name selection mask:", this), "Label3", 8, 66, 140);
  xSelectStr_ = Place(new QLineEdit(this), "XSelectStr", 150, 64, 159);
  okButton_ = Place(new QPushButton("OK", this), "OKbutton", 150, 96, 75);
  cancelButton_ = Place(new QPushButton("Cancel", this), "CancelButton", 234, 96, 75);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &TXSelect::XSelOK);
  connect(cancelButton_, &QPushButton::clicked, this, &TXSelect::CancelButtonClick);
}

void TXSelect::showEvent(QShowEvent* event) {
  XSELSetup();
  QDialog::showEvent(event);
}

void TXSelect::XSELSetup() {
  SelectionTexts t = SelectionOpening(state_);
  shownFirst_ = FromBytes(t.first);
  shownLast_ = FromBytes(t.last);
  begXNUM_->setText(shownFirst_);
  endXNUM_->setText(shownLast_);
  xSelectStr_->setText(FromBytes(t.mask));
  setWindowTitle(FromBytes(t.caption));
}

void TXSelect::XSelOK() {
  SelectionResult r = SelectVariables(state_, ToBytes(begXNUM_->text()),
                                      ToBytes(endXNUM_->text()), ToBytes(xSelectStr_->text()));
  if (r.resetFirst) begXNUM_->setText(shownFirst_);
  if (r.resetLast) endXNUM_->setText(shownLast_);
  if (!r.valid) return;
  accept();
  emit Selected();
}

void TXSelect::CancelButtonClick() { reject(); }

}  // namespace krv::view
