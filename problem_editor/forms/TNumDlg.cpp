// The number-entry dialog: one value edited as text, accepted only as a number.
#include "problem_editor/forms/TNumDlg.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "problem_editor/FormatReal.h"
#include "problem_editor/forms/grid_font.h"
#include "problem_editor/value_entry.h"

namespace krv::pe {

TNumDlg::TNumDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("NumDlg");
  setWindowTitle("Enter/edit value");
  setFixedSize(469, 66);
  prompt_ = new QLabel(this);
  prompt_->setObjectName("PromptLabel");
  prompt_->setGeometry(8, 12, 313, 16);
  edit_ = new QLineEdit(this);
  edit_->setObjectName("ValueEdit");
  edit_->setGeometry(336, 8, 121, 21);
  edit_->setFont(GridFont());
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("OKButton");
  ok_->setGeometry(296, 36, 75, 25);
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("CancelButton");
  cancel_->setGeometry(382, 36, 75, 25);
  ok_->installEventFilter(this);
  connect(ok_, &QPushButton::clicked, this, &TNumDlg::OKButtonClick);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);  // Esc too
}

bool TNumDlg::EditRealValue(const std::string& prompt, double& value) {
  prompt_->setText(platform::FromBytes(prompt.substr(0, 59)));
  std::string text = TrimBlanks(FormatReal(14, value));
  ShowWhole(edit_, platform::FromBytes(text));
  // The restore text is known from the start, not only once OK has focus.
  remembered_ = text;
  acceptedFlag_ = false;
  edit_->setFocus();
  if (exec() == QDialog::Accepted) {
    value = accepted_;
    return true;
  }
  return false;
}

bool TNumDlg::eventFilter(QObject* obj, QEvent* ev) {
  if (obj == ok_ && ev->type() == QEvent::FocusIn) {
    acceptedFlag_ = false;
    remembered_ = platform::ToBytes(edit_->text()).substr(0, kEntryTextMax);
  }
  return QDialog::eventFilter(obj, ev);
}

void TNumDlg::OKButtonClick() {
  auto v = ParseRealValue(TrimBlanks(platform::ToBytes(edit_->text())));
  if (!v) {
    ShowWhole(edit_, platform::FromBytes(remembered_));
    platform::Prompts().Beep();
    return;
  }
  accepted_ = *v;
  acceptedFlag_ = true;
  accept();
}

}  // namespace krv::pe
