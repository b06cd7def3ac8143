// The SOSI window TSOfrm: edits the problem's .SO file.
#include "guide/forms/sosi_window.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "guide/forms/find_form.h"
#include "guide/forms/memo.h"
#include "guide/memo_text.h"
#include "guide/sosi_text.h"
#include "platform/user_prompts.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

TSOfrm::TSOfrm(const std::string& problemName, const std::string& programDir, QWidget* parent)
    : QDialog(parent), problemName_(problemName), programDir_(programDir) {
  setObjectName("SOfrm");
  setWindowTitle("SOSI (SYSTEM Only Simplified Input)");
  setFixedSize(696, 346);
  setModal(true);

  M1 = new gd::Memo(this);
  M1->setObjectName("M1");
  M1->setGeometry(8, 8, 680, 290);

  MemoBak = new QPlainTextEdit(this);
  MemoBak->setObjectName("MemoBak");
  MemoBak->setReadOnly(true);
  MemoBak->hide();

  auto button = [this](const char* name, const char* caption, int x, int w, void (TSOfrm::*slot)()) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    b->setObjectName(name);
    b->setGeometry(x, 310, w, 25);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  Button1 = button("Button1", "OK (save changes)", 8, 130, &TSOfrm::Button1Click);
  Button2 = button("Button2", "Cancel", 146, 90, &TSOfrm::Button2Click);
  Button3 = button("Button3", "Search/Repl", 244, 100, &TSOfrm::Button3Click);
}

void TSOfrm::Backup() {
  gd::SetMemoText(MemoBak, gd::MemoText(M1));
  gd::SetMemoModified(M1, false);
}

// Loads once per opening: coming back from another window keeps the
// unsaved edits, and a declined "create" is not asked again.
void TSOfrm::FormActivate() {
  if (auto text = gd::LoadSosiFile(problemName_, programDir_)) gd::SetMemoText(M1, *text);
  Backup();
}

int TSOfrm::Open() {
  FormActivate();
  return exec();
}

void TSOfrm::ShowText(const std::string& text, size_t offset) {
  gd::SetMemoText(M1, gd::MemoTextFromFile(text));
  Backup();
  gd::SelectInMemo(M1, gd::MemoPosition(text, offset), 2);
  M1->setFocus();
}

int TSOfrm::OpenAt(const std::string& text, size_t offset) {
  ShowText(text, offset);
  return exec();
}

void TSOfrm::Button1Click() {
  if (M1->document()->isModified()) {
    // A failed save keeps the window, the text and its modified mark.
    if (!gd::SaveSosiFile(problemName_, gd::MemoText(M1))) return;
    gd::SetMemoModified(M1, false);
  }
  HideFindWindow();
  done(QDialog::Accepted);
}

void TSOfrm::Button2Click() {
  if (M1->document()->isModified()) {
    if (pf::Prompts().Ask("Discard All Your Changes???", false) != pf::Answer::Yes) return;
    gd::SetMemoText(M1, gd::MemoText(MemoBak));
    HideFindWindow();
  }
  done(QDialog::Rejected);
}

void TSOfrm::reject() { Button2Click(); }

void TSOfrm::SetFindWindow(TFindFrm* find) {
  find_ = find;
  if (find_) find_->SetMemo(gd::FindMemo::Sosi, M1);
}

// The Find/Replace window becomes this window's child while it shows, so
// that this modal window does not block it.
void TSOfrm::Button3Click() {
  if (find_) find_->ShowFor(gd::FindCommand::SearchSosi, this);
}

void TSOfrm::HideFindWindow() {
  if (find_) find_->hide();
}
