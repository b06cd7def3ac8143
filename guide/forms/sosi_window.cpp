// The SOSI window TSOfrm: edits the problem's .SO file.
#include "guide/forms/sosi_window.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include "guide/sosi_text.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

namespace {

QFont CourierNew() {
  QFont font("Courier New");
  font.setStyleHint(QFont::Monospace);
  if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(10);
  return font;
}

std::string MemoBytes(const QPlainTextEdit* memo) { return pf::ToBytes(memo->toPlainText()); }

}  // namespace

TSOfrm::TSOfrm(const std::string& problemName, const std::string& programDir, QWidget* parent)
    : QDialog(parent), problemName_(problemName), programDir_(programDir) {
  setObjectName("SOfrm");
  setWindowTitle("SOSI (SYSTEM Only Simplified Input)");
  setFixedSize(696, 346);
  setModal(true);

  M1 = new QPlainTextEdit(this);
  M1->setObjectName("M1");
  M1->setGeometry(8, 8, 680, 290);
  M1->setFont(CourierNew());
  M1->setLineWrapMode(QPlainTextEdit::NoWrap);
  M1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  M1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

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
  MemoBak->setPlainText(M1->toPlainText());
  M1->document()->setModified(false);
}

// Loads once per opening: coming back from another window keeps the
// unsaved edits, and a declined "create" is not asked again.
void TSOfrm::FormActivate() {
  if (auto bytes = gd::LoadSosiFile(problemName_, programDir_))
    M1->setPlainText(pf::FromBytes(gd::MemoTextFromFile(*bytes)));
  Backup();
}

int TSOfrm::Open() {
  FormActivate();
  return exec();
}

void TSOfrm::ShowText(const std::string& text, size_t offset) {
  M1->setPlainText(pf::FromBytes(gd::MemoTextFromFile(text)));
  Backup();
  QTextCursor c = M1->textCursor();
  const int length = M1->document()->characterCount() - 1;
  const int at = std::min<int>(int(gd::MemoPosition(text, offset)), length);
  c.setPosition(at);
  c.setPosition(std::min(at + 2, length), QTextCursor::KeepAnchor);
  M1->setTextCursor(c);
  M1->setFocus();
}

int TSOfrm::OpenAt(const std::string& text, size_t offset) {
  ShowText(text, offset);
  return exec();
}

void TSOfrm::Button1Click() {
  if (M1->document()->isModified()) {
    // A failed save keeps the window, the text and its modified mark.
    if (!gd::SaveSosiFile(problemName_, MemoBytes(M1))) return;
    M1->document()->setModified(false);
  }
  HideFindWindow();
  done(QDialog::Accepted);
}

void TSOfrm::Button2Click() {
  if (M1->document()->isModified()) {
    if (pf::Prompts().Ask("Discard All Your Changes???", false) != pf::Answer::Yes) return;
    M1->setPlainText(MemoBak->toPlainText());
    M1->document()->setModified(false);
    HideFindWindow();
  }
  done(QDialog::Rejected);
}

void TSOfrm::reject() { Button2Click(); }

void TSOfrm::Button3Click() {
  pf::Prompts().ShowMessage("The Find/Replace window is not part of this version yet.");
}

void TSOfrm::HideFindWindow() {}
