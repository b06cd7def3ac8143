// The source editor: the QTL and PSY windows and "Edit Source".
#include "guide/forms/edit_source_form.h"

#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "guide/file_probe.h"
#include "guide/find_replace.h"
#include "guide/forms/any_file_form.h"
#include "guide/forms/find_form.h"
#include "guide/forms/headings_form.h"
#include "guide/memo_text.h"
#include "platform/qt/latin1.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "series/LSQU.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

SourceWindow::SourceWindow(const char* objectName, const char* caption, const char* memoName,
                           QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName(objectName);
  setWindowTitle(caption);
  resize(640, 420);
  memo_ = new gd::Memo(this);
  memo_->setObjectName(memoName);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);
}

void SourceWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) emit Activated();
}

TE1::TE1(QWidget* parent) : SourceWindow("E1", "QTL Source File", "M1", parent), M1(Memo()) {}

TE2::TE2(QWidget* parent) : SourceWindow("E2", "PSY Pascal File", "M2", parent), M2(Memo()) {}

TEditFrm::TEditFrm(const gd::ShellState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
  setObjectName("EditFrm");
  setWindowTitle("Edit Source");
  setFixedSize(440, 110);

  auto button = [this](const char* name, const char* caption, int x, int y, int w,
                       void (TEditFrm::*slot)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setGeometry(x, y, w, 25);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  Button1 = button("Button1", "OK (save changes)", 8, 32, 128, &TEditFrm::Button1Click);
  Button2 = button("Button2", "Cancel", 144, 32, 80, &TEditFrm::Button2Click);
  Button3 = button("Button3", "Refresh Headings", 8, 64, 128, &TEditFrm::Button3Click);
  Button4 = button("Button4", "Search headings", 144, 64, 120, &TEditFrm::Button4Click);
  Button5 = button("Button5", "LSQ setup", 272, 64, 88, &TEditFrm::Button5Click);
  Label1 = new QLabel("QTL Line=", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(240, 36, 96, 17);
  Label2 = new QLabel("PSY Line=", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(340, 36, 96, 17);
  Memo1 = new gd::Memo(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->hide();
  Memo2 = new gd::Memo(this);
  Memo2->setObjectName("Memo2");
  Memo2->setReadOnly(true);
  Memo2->hide();

  auto* bar = new QMenuBar(this);
  bar->setGeometry(0, 0, 440, 24);
  // Both edit menus show the clipboard keys; the QTL memo's items own them
  // (in the memo windows the memos handle the keys themselves).
  AddEditMenu(bar, "EditQTL", "Qtl", &TEditFrm::QtlMemo, Qt::WindowShortcut);
  bar->addAction("SearchQTL", this, &TEditFrm::Search1Click)->setObjectName("Search1");
  AddEditMenu(bar, "EditPSY", "Psy", &TEditFrm::PsyMemo, Qt::WidgetShortcut);
  bar->addAction("SearchPSY", this, &TEditFrm::SearchPSY1Click)->setObjectName("SearchPSY1");
  QAction* both = bar->addAction("SearchBoth", this, &TEditFrm::SearchBoth1Click);
  both->setObjectName("SearchBoth1");
  both->setShortcut(QKeySequence("Ctrl+F"));
}

void TEditFrm::AddEditMenu(QMenuBar* bar, const char* title, const char* prefix,
                           QPlainTextEdit* (TEditFrm::*memo)() const,
                           Qt::ShortcutContext context) {
  QMenu* menu = bar->addMenu(title);
  menu->setObjectName(title);
  struct {
    const char* name;
    const char* caption;
    const char* keys;
    void (QPlainTextEdit::*op)();
  } items[] = {
      {"Cut1", "Cu&t", "Ctrl+X", &QPlainTextEdit::cut},
      {"Copy1", "&Copy", "Ctrl+C", &QPlainTextEdit::copy},
      {"Paste1", "&Paste", "Ctrl+V", &QPlainTextEdit::paste},
      {"SelectAll1", "Select &All", nullptr, &QPlainTextEdit::selectAll},
  };
  for (const auto& item : items) {
    QAction* a = menu->addAction(item.caption);
    a->setObjectName(QString(prefix) + item.name);
    if (item.keys) {
      a->setShortcut(QKeySequence(item.keys));
      a->setShortcutContext(context);
    }
    // The memo gets the input focus first, then the clipboard operation.
    connect(a, &QAction::triggered, this, [this, memo, op = item.op] {
      QPlainTextEdit* m = (this->*memo)();
      if (!m) return;
      m->setFocus();
      (m->*op)();
    });
  }
}

void TEditFrm::Attach(TFindFrm* find, TE1* qtl, TE2* psy, TE3* headings, TSHFrm* search) {
  find_ = find;
  qtl_ = qtl;
  psy_ = psy;
  headings_ = headings;
  search_ = search;
  find_->SetMemo(gd::FindMemo::Qtl, qtl_->M1);
  find_->SetMemo(gd::FindMemo::Psy, psy_->M2);
  headings_->SetSourceMemo(qtl_->M1);
  connect(qtl_->M1, &gd::Memo::Clicked, this, &TEditFrm::ShowQtlLine);
  connect(qtl_->M1, &gd::Memo::KeyUp, this, &TEditFrm::ShowQtlLine);
  connect(qtl_, &SourceWindow::Activated, this, &TEditFrm::ShowQtlLine);
  connect(psy_->M2, &gd::Memo::Clicked, this, &TEditFrm::ShowPsyLine);
  connect(psy_->M2, &gd::Memo::KeyUp, this, &TEditFrm::ShowPsyLine);
  connect(psy_, &SourceWindow::Activated, this, &TEditFrm::ShowPsyLine);
}

QPlainTextEdit* TEditFrm::QtlMemo() const { return qtl_ ? qtl_->M1 : nullptr; }

QPlainTextEdit* TEditFrm::PsyMemo() const { return psy_ ? psy_->M2 : nullptr; }

bool TEditFrm::FormShow() {
  // Read both files before anything changes: a failed load leaves the
  // memos, their marks and the windows as they were.
  const std::string qtlName = state_.ProblemName + ".QTL";
  const std::string psyName = state_.ProblemName + ".PSY";
  std::string error;
  auto qtlText = gd::LoadMemoFile(qtlName, &error);
  if (!qtlText) {
    pf::Prompts().ShowMessage(error);
    return false;
  }
  std::optional<std::string> psyText;
  uint32_t stamp = 0;
  if (gd::GetFileDate(psyName, stamp)) {
    psyText = gd::LoadMemoFile(psyName, &error);
    if (!psyText) {
      pf::Prompts().ShowMessage(error);
      return false;
    }
  }
  gd::SetMemoText(qtl_->M1, *qtlText);
  if (psyText) gd::SetMemoText(psy_->M2, *psyText);
  gd::SetMemoText(Memo1, gd::MemoText(qtl_->M1));
  gd::SetMemoText(Memo2, gd::MemoText(psy_->M2));
  gd::SetMemoModified(qtl_->M1, false);
  gd::SetMemoModified(psy_->M2, false);

  open_ = true;
  show();
  qtl_->show();
  psy_->show();
  headings_->show();
  // The control window comes last, in front: its buttons are the way on.
  raise();
  activateWindow();
  return true;
}

// Saves a modified memo and takes the saved text as its backup; on failure
// says so and keeps text and mark.
bool TEditFrm::SaveIfModified(QPlainTextEdit* memo, QPlainTextEdit* backup,
                              const std::string& path) {
  if (!gd::MemoModified(memo)) return true;
  const std::string text = gd::MemoText(memo);
  if (auto error = gd::SaveMemoFile(path, text)) {
    pf::Prompts().ShowMessage(*error);
    return false;
  }
  gd::SetMemoModified(memo, false);
  gd::SetMemoText(backup, text);
  return true;
}

void TEditFrm::Button1Click() {
  bool saved = SaveIfModified(qtl_->M1, Memo1, state_.ProblemName + ".QTL");
  saved = SaveIfModified(psy_->M2, Memo2, state_.ProblemName + ".PSY") && saved;
  if (!saved) return;  // the editor stays open with what is not saved
  HideAll();
  find_->hide();
  emit Closed();
}

void TEditFrm::Button2Click() {
  if (gd::MemoModified(qtl_->M1) || gd::MemoModified(psy_->M2)) {
    // Only an explicit Yes discards; No keeps editing with nothing changed.
    if (pf::Prompts().Ask("Discard All Your Changes???", false) != pf::Answer::Yes) return;
    gd::SetMemoText(qtl_->M1, gd::MemoText(Memo1));
    gd::SetMemoText(psy_->M2, gd::MemoText(Memo2));
    find_->hide();
  }
  HideAll();
  emit Closed();
}

void TEditFrm::HideAll() {
  qtl_->hide();
  psy_->hide();
  headings_->hide();
  hide();
  open_ = false;
}

void TEditFrm::Button3Click() { headings_->BuildHeadingsList(); }

void TEditFrm::Button4Click() {
  search_->show();
  search_->raise();
  search_->SearchHeadings();
}

void TEditFrm::AttachLsq(TAeditFrm* anyFile, krv::series::LsqControl* lsq) {
  anyFile_ = anyFile;
  lsq_ = lsq;
}

void TEditFrm::Button5Click() {
  krv::series::LsqSourceTexts texts;
  texts.psy = gd::MemoText(psy_->M2);
  texts.qtl = gd::MemoText(qtl_->M1);
  if (anyFile_) texts.anyFile = gd::MemoText(anyFile_->M1);
  lsq_->Button5Click(texts);
}

void TEditFrm::Search1Click() { find_->ShowFor(gd::FindCommand::SearchQtl); }

void TEditFrm::SearchPSY1Click() { find_->ShowFor(gd::FindCommand::SearchPsy); }

void TEditFrm::SearchBoth1Click() { find_->ShowFor(gd::FindCommand::SearchBoth); }

void TEditFrm::ShowQtlLine() {
  Label1->setText(pf::FromBytes("QTL Line=" + pf::IntToString(gd::MemoCaretLine(qtl_->M1))));
}

void TEditFrm::ShowPsyLine() {
  Label2->setText(pf::FromBytes("PSY Line=" + pf::IntToString(gd::MemoCaretLine(psy_->M2))));
}
