// TAeditFrm, "Edit Any File".
#include "guide/forms/any_file_form.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QVBoxLayout>

#include "guide/find_replace.h"
#include "guide/forms/find_form.h"
#include "guide/memo_text.h"
#include "platform/qt/latin1.h"
#include "platform/text.h"
#include "platform/user_prompts.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

static constexpr const char* kCaption = "Edit Any File";

TAeditFrm::TAeditFrm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("AeditFrm");
  setWindowTitle(kCaption);
  resize(631, 375);
  M1 = new gd::Memo(this);
  M1->setObjectName("M1");

  auto* bar = new QMenuBar(this);
  auto item = [this](QMenu* menu, const char* name, const char* caption, const char* keys,
                     void (TAeditFrm::*slot)()) {
    QAction* a = menu->addAction(caption, this, slot);
    a->setObjectName(name);
    if (keys) a->setShortcut(QKeySequence(keys));
  };
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  item(file, "New1", "&New", nullptr, &TAeditFrm::New1Click);
  item(file, "Open1", "&Open", nullptr, &TAeditFrm::Open1Click);
  item(file, "Save1", "&Save", nullptr, &TAeditFrm::Save1Click);
  item(file, "SaveAs1", "SaveAs", nullptr, &TAeditFrm::SaveAs1Click);
  item(file, "Close1", "Close", nullptr, &TAeditFrm::Close1Click);
  QMenu* edit = bar->addMenu("&Edit");
  edit->setObjectName("Edit1");
  item(edit, "SearchorRepl1", "&Search or Repl", nullptr, &TAeditFrm::SearchorRepl1Click);
  edit->addSeparator();
  item(edit, "Cut1", "Cu&t", "Ctrl+X", &TAeditFrm::Cut1Click);
  item(edit, "Copy1", "&Copy", "Ctrl+C", &TAeditFrm::Copy1Click);
  item(edit, "Paste1", "&Paste", "Ctrl+V", &TAeditFrm::Paste1Click);
  item(edit, "SelectAll1", "Select &All", nullptr, &TAeditFrm::SelectAll1Click);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(bar);
  layout->addWidget(M1);
  connect(M1, &gd::Memo::Clicked, this, &TAeditFrm::ShowCaretLine);
  connect(M1, &gd::Memo::KeyUp, this, &TAeditFrm::ShowCaretLine);
}

void TAeditFrm::SetFindFrm(TFindFrm* find) {
  find_ = find;
  find_->SetMemo(gd::FindMemo::Any, M1);
}

void TAeditFrm::ShowCaretLine() {
  emit CaretLine(pf::FromBytes("Any file line=" + pf::IntToString(gd::MemoCaretLine(M1))));
}

void TAeditFrm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowCaretLine();
}

std::optional<std::string> TAeditFrm::AskSaveName() {
  pf::FileDialogSpec desc;
  desc.fileName = fileName_;
  return pf::Prompts().SaveFileName(desc);
}

// Saves the memo; a failure is shown and keeps text, name and mark.
bool TAeditFrm::SaveTo(const std::string& path) {
  if (auto error = gd::SaveMemoFile(path, gd::MemoText(M1))) {
    pf::Prompts().ShowMessage(*error);
    return false;
  }
  gd::SetMemoModified(M1, false);
  fileName_ = path;
  setWindowTitle(pf::FromBytes(path));
  return true;
}

bool TAeditFrm::ConfirmSaveAnyFile() {
  if (pf::Prompts().Ask("Text Changed; Save?", false) != pf::Answer::Yes) return true;
  auto path = AskSaveName();
  return path && SaveTo(*path);
}

void TAeditFrm::New1Click() {
  if (gd::MemoModified(M1) && !ConfirmSaveAnyFile()) return;
  gd::SetMemoText(M1, "");
  // A new text has no file yet: a later "&Save" must ask for one.
  fileName_.clear();
  setWindowTitle(kCaption);
  emit CaretLine("Any file line=1");
}

void TAeditFrm::Open1Click() {
  pf::FileDialogSpec desc;
  desc.mustExist = true;
  auto path = pf::Prompts().OpenFileName(desc);
  if (!path) return;
  if (gd::MemoModified(M1) && !ConfirmSaveAnyFile()) return;
  std::string error;
  auto text = gd::LoadMemoFile(*path, &error);
  if (!text) {
    pf::Prompts().ShowMessage(error);
    return;
  }
  gd::SetMemoText(M1, *text);
  fileName_ = *path;
  setWindowTitle(pf::FromBytes(*path));
}

void TAeditFrm::Save1Click() {
  if (fileName_.empty())
    SaveAs1Click();
  else
    SaveTo(fileName_);
}

void TAeditFrm::SaveAs1Click() {
  if (auto path = AskSaveName()) SaveTo(*path);
}

void TAeditFrm::Close1Click() { close(); }

void TAeditFrm::closeEvent(QCloseEvent* event) {
  if (gd::MemoModified(M1) && !ConfirmSaveAnyFile())
    event->ignore();
  else
    event->accept();
}

void TAeditFrm::SearchorRepl1Click() {
  if (find_) find_->ShowFor(gd::FindCommand::SearchAny);
}

void TAeditFrm::Cut1Click() { M1->cut(); }
void TAeditFrm::Copy1Click() { M1->copy(); }
void TAeditFrm::Paste1Click() { M1->paste(); }
void TAeditFrm::SelectAll1Click() { M1->selectAll(); }
