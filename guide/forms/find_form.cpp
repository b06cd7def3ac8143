// TFindFrm, the one Find/Replace window of Helmsman.
#include "guide/forms/find_form.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "guide/forms/memo.h"
#include "platform/qt/latin1.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

TFindFrm::TFindFrm(QWidget* parent) : QWidget(parent, Qt::Dialog), home_(parent) {
  setObjectName("FindFrm");
  setWindowTitle("Find/Replace");
  setFixedSize(360, 100);

  auto* findLabel = new QLabel("Find:", this);
  findLabel->setGeometry(8, 12, 36, 17);
  Edit1 = new QLineEdit(".", this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(48, 8, 200, 23);
  Edit1->setMaxLength(int(gd::kMaxFindText));
  findLabel->setBuddy(Edit1);
  auto* replLabel = new QLabel("Repl:", this);
  replLabel->setGeometry(8, 42, 36, 17);
  Edit2 = new QLineEdit(".", this);
  Edit2->setObjectName("Edit2");
  Edit2->setGeometry(48, 38, 200, 23);
  replLabel->setBuddy(Edit2);
  CaseBox = new QCheckBox("Case Sensitive", this);
  CaseBox->setObjectName("CaseBox");
  CaseBox->setGeometry(48, 70, 200, 21);

  auto button = [this](const char* name, const char* caption, int y, void (TFindFrm::*slot)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setGeometry(256, y, 96, 25);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  LookUp = button("LookUp", "SearchUp", 6, &TFindFrm::LookUpClick);
  LookDwn = button("LookDwn", "Search Down", 36, &TFindFrm::LookDwnClick);
  BRep = button("BRep", "Do Replace", 66, &TFindFrm::BRepClick);
  connect(Edit1, &QLineEdit::textChanged, this, &TFindFrm::Edit1Change);
}

void TFindFrm::SetMemo(gd::FindMemo which, QPlainTextEdit* memo) { memos_[size_t(which)] = memo; }

void TFindFrm::ShowFor(gd::FindCommand command, QWidget* owner) {
  state_.Select(command);
  if (auto caption = gd::FindCaptionFor(command)) setWindowTitle(pf::FromBytes(*caption));
  if (owner != owner_) {
    if (owner_) owner_->removeEventFilter(this);
    owner_ = owner;
    setParent(owner ? owner : home_, windowFlags());
    if (owner_) owner_->installEventFilter(this);
  }
  show();
  raise();
  activateWindow();
}

bool TFindFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == owner_ && (event->type() == QEvent::Hide || event->type() == QEvent::Close))
    ReturnHome();
  return QWidget::eventFilter(watched, event);
}

// Back under the parent it was made with, hidden: the owner's memo is gone.
void TFindFrm::ReturnHome() {
  if (!owner_) return;
  owner_->removeEventFilter(this);
  owner_ = nullptr;
  setParent(home_, windowFlags());
  hide();
}

void TFindFrm::Edit1Change() { state_.FindTextChanged(); }

void TFindFrm::LookDwnClick() { SearchTargets(true); }

void TFindFrm::LookUpClick() { SearchTargets(false); }

void TFindFrm::SearchTargets(bool forward) {
  const std::string find = pf::ToBytes(Edit1->text());
  for (gd::FindMemo which : state_.SearchOrder()) {
    QPlainTextEdit* memo = memos_[size_t(which)];
    if (!memo) continue;
    const std::string text = gd::MemoText(memo);
    auto hit = state_.Search(which, text, gd::MemoSelStart(memo), find, CaseBox->isChecked(), forward);
    if (!hit) continue;
    gd::SelectInMemo(memo, *hit, std::min(find.size(), gd::kMaxFindText));
    memo->activateWindow();
    memo->setFocus();
  }
}

// The memo's selection becomes `text`; without a selection `text` goes in
// at the caret.
static void ReplaceSelection(QPlainTextEdit* memo, const QString& text) {
  QTextCursor c = memo->textCursor();
  c.insertText(text);
  memo->setTextCursor(c);
}

void TFindFrm::BRepClick() {
  for (gd::FindMemo which : state_.ReplaceTargets()) {
    QPlainTextEdit* memo = memos_[size_t(which)];
    if (memo) ReplaceSelection(memo, Edit2->text());
  }
}
