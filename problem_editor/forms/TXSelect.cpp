// The variable selection dialog: number range, mask, kind filter.
#include "problem_editor/forms/TXSelect.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/EPROCS.h"
#include "problem_editor/selection.h"

namespace krv::pe {

using platform::FromBytes;
using platform::MakeLabel;
using platform::Place;
using platform::ToBytes;

// The height of the dialog's edits.
constexpr int kEditHeight = 21;

TXSelect::TXSelect(EditorSession& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("XSelect");
  setWindowTitle("Variable Selection:");
  setFixedSize(439, 160);
  // The places are laid out for a small dialog font; the desktop's larger
  // default would cut the captions off.
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  MakeLabel(this, "BeginLabel", "BeginNumber", {8, 8});
  begin_ = Place(new QLineEdit(this), "BeginEdit", QRect(88, 8, 100, kEditHeight));
  MakeLabel(this, "EndLabel", "EndNumber", {8, 32});
  end_ = Place(new QLineEdit(this), "EndEdit", QRect(88, 32, 100, kEditHeight));
  MakeLabel(this, "MaskLabel", "Name selection mask:", {8, 72});
  mask_ = Place(new QLineEdit(this), "MaskEdit", QRect(8, 88, 297, kEditHeight));

  auto* group = new QGroupBox("Selection", this);
  group->setObjectName("SelectionGroup");
  group->setGeometry(216, 14, 121, 65);
  any_ = new QRadioButton("Any variables", group);
  any_->setObjectName("AnyVariables");
  empty_ = new QRadioButton("Empty only", group);
  empty_->setObjectName("EmptyOnly");
  auto* lay = new QVBoxLayout(group);
  lay->setContentsMargins(8, 2, 4, 2);
  lay->setSpacing(0);
  lay->addWidget(any_);
  lay->addWidget(empty_);
  any_->setChecked(true);
  connect(any_, &QRadioButton::toggled, this,
          [this] { session_.anyVariables = any_->isChecked(); });

  dropAll_ = new QCheckBox("Drop All", this);
  dropAll_->setObjectName("DropAll");
  dropAll_->move(72, 136);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setGeometry(352, 8, 75, 25);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelButton");
  cancel->setGeometry(352, 40, 75, 25);
  connect(ok, &QPushButton::clicked, this, &TXSelect::XSelOK);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TXSelect::SetBuffer(EditorBuffer* buffer, bool mainBuffer) {
  buffer_ = buffer;
  mainBuffer_ = mainBuffer;
}

void TXSelect::showEvent(QShowEvent* ev) {
  QDialog::showEvent(ev);
  XSELSetup();
}

void TXSelect::XSELSetup() {
  if (!buffer_) return;
  beginShown_ = platform::IntToString(buffer_->beginNumber).substr(0, 17);
  endShown_ = platform::IntToString(buffer_->endNumber).substr(0, 17);
  begin_->setText(FromBytes(beginShown_));
  end_->setText(FromBytes(endShown_));
  mask_->setText("&");
  setWindowTitle(FromBytes("Variable Selection: (max " + platform::IntToString(buffer_->HighestIndex()) + ")"));
  any_->setEnabled(mainBuffer_);
  empty_->setEnabled(mainBuffer_);
}

void TXSelect::XSelOK() {
  if (!buffer_) return;
  SelectionRequest req;
  req.beginText = ToBytes(begin_->text());
  req.endText = ToBytes(end_->text());
  req.maskText = ToBytes(mask_->text());
  req.dropAll = dropAll_->isChecked();
  req.mainBuffer = mainBuffer_;
  req.anyVariables = session_.anyVariables;
  dropAll_->setChecked(false);
  SelectionOutcome out = RunSelection(*buffer_, req);
  if (!out.beginValid) begin_->setText(FromBytes(beginShown_));
  if (!out.endValid) end_->setText(FromBytes(endShown_));
  if (!out.accepted) {
    // The dialog stays open so the entry can be put right.
    platform::Prompts().Beep();
    return;
  }
  accept();
}

}  // namespace krv::pe
