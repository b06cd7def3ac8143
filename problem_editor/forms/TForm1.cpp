// Casewright's main window: file menu, the ten-row grid and its keys.
#include "problem_editor/forms/TForm1.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"
#include "platform/user_prompts.h"
#include "problem_editor/DispMrgU.h"
#include "problem_editor/bulk_edits.h"
#include "problem_editor/forms/TDispMerge.h"
#include "problem_editor/forms/TNumDlg.h"
#include "problem_editor/forms/TXSelect.h"
#include "problem_editor/forms/grid_font.h"
#include "problem_editor/text_listing.h"
#include "problem_editor/value_entry.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

using platform::FromBytes;
using platform::Place;
using platform::ToBytes;

namespace {

const char* const kAbout = "Casewright: edits the data of a problem file (.PRB)";

}  // namespace

TForm1::TForm1() {
  setObjectName("Form1");
  auto* client = new QWidget(this);
  client->setObjectName("Client");
  client->setFixedSize(500, 417);
  setCentralWidget(client);
  BuildMenus();
  BuildGrid();
  setWindowTitle(kStartCaption);
  numDlg_ = new TNumDlg(this);
  xselect_ = new TXSelect(session_, this);
  dispMerge_ = std::make_unique<TDispMerge>(session_, *xselect_, nullptr);
  dispMerge_->beforeTransfer = [this] { CommitPendingEdit(); };
  dispMerge_->afterTransfer = [this] {
    session_.modified = true;
    RedrawRows();
  };
  dispMerge_->closed = [this] { TransferWindowClosed(); };
  dispMerge_->focusMain = [this] {
    raise();
    activateWindow();
  };
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto add = [this](QMenu* menu, const char* name, const QString& text) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    return a;
  };
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  connect(add(file, "Load1", "&Load"), &QAction::triggered, this, &TForm1::Load1Click);
  saveAs_ = add(file, "Saveas1", "&Save as");
  connect(saveAs_, &QAction::triggered, this, &TForm1::Saveas1Click);
  saveText_ = add(file, "SaveText1", "Save&Text");
  connect(saveText_, &QAction::triggered, this, &TForm1::SaveText1Click);
  connect(add(file, "Quit1", "&Quit"), &QAction::triggered, this, &TForm1::Quit1Click);

  displayAdd_ = bar->addAction("DisplayAdd(F4)");
  displayAdd_->setObjectName("DisplayAdd1");
  displayAdd_->setShortcut(Qt::Key_F4);
  connect(displayAdd_, &QAction::triggered, this, &TForm1::DisplayAdd1Click);

  edit_ = bar->addMenu("&Edit");
  edit_->setObjectName("Edit1");
  connect(add(edit_, "SelectAll1", "&Mark All"), &QAction::triggered, this, &TForm1::SelectAll1Click);
  connect(add(edit_, "DeselectAll1", "U&nmark All"), &QAction::triggered, this,
          &TForm1::DeselectAll1Click);
  connect(add(edit_, "Xin1", "&Xin"), &QAction::triggered, this, &TForm1::Xin1Click);
  connect(add(edit_, "RangeVal1", "&RangeVal"), &QAction::triggered, this, &TForm1::RangeVal1Click);
  connect(add(edit_, "Positiveor0constr1", "&Positive or 0 constr"), &QAction::triggered, this,
          &TForm1::Positiveor0constr1Click);
  connect(add(edit_, "Unconstrain1", "&Unconstrain"), &QAction::triggered, this,
          &TForm1::Unconstrain1Click);

  drop_ = bar->addMenu("Drop");
  drop_->setObjectName("Drop1");
  connect(add(drop_, "Dropdeselected1", "Drop Unmarked"), &QAction::triggered, this,
          &TForm1::Dropdeselected1Click);
  connect(add(drop_, "DropALL1", "Drop ALL"), &QAction::triggered, this, &TForm1::DropALL1Click);

  merge_ = bar->addMenu("&Merge");
  merge_->setObjectName("Merge1");
  connect(add(merge_, "PRBfileautomatch1", "&PRB file auto-match"), &QAction::triggered, this,
          &TForm1::PRBfileautomatch1Click);
  connect(add(merge_, "TXTfileautomatch1", "&TXT file auto-match"), &QAction::triggered, this,
          &TForm1::TXTfileautomatch1Click);
  connect(add(merge_, "OpenPRBtransferwindow1", "&Open PRB transfer window"), &QAction::triggered,
          this, &TForm1::OpenPRBtransferwindow1Click);
  automatchOnlyEmpty_ = add(merge_, "Automatchonlyempty1", "Auto-match only empty");
  automatchAll_ = add(merge_, "Automatchall1", "Auto-match all");
  automatchOnlyEmpty_->setCheckable(true);
  automatchAll_->setCheckable(true);
  automatchAll_->setChecked(true);
  auto* group = new QActionGroup(this);
  group->addAction(automatchOnlyEmpty_);
  group->addAction(automatchAll_);
  connect(automatchOnlyEmpty_, &QAction::triggered, this, &TForm1::Automatchonlyempty1Click);
  connect(automatchAll_, &QAction::triggered, this, &TForm1::Automatchall1Click);

  viewLabel_ = bar->addAction("&ViewLabel");
  viewLabel_->setObjectName("ViewLabel1");
  connect(viewLabel_, &QAction::triggered, this, &TForm1::ViewLabel);
  window_ = bar->addAction("Window(F6)");
  window_->setObjectName("Window1");
  window_->setShortcut(Qt::Key_F6);
  connect(window_, &QAction::triggered, this, &TForm1::Window1Click);
  QAction* about = bar->addAction("About");
  about->setObjectName("About1");
  connect(about, &QAction::triggered, this, &TForm1::About1Click);

  for (QAction* a : {saveAs_, saveText_, displayAdd_, viewLabel_, window_}) a->setEnabled(false);
  for (QMenu* m : {edit_, drop_, merge_}) m->menuAction()->setEnabled(false);
}

void TForm1::BuildGrid() {
  QWidget* c = centralWidget();
  QFont fixed = GridFont();
  // The header's blanks line its titles up only in a proportional font.
  QFont proportional = font();
  proportional.setPixelSize(10);
  header_ = Place(new QLabel(c), "HeadLabel", QRect(72, 0, 428, 16), &proportional);
  for (int r = 0; r < kGridRows; ++r) {
    const QString n = QString::number(r);
    const int dy = 40 * r;
    Row& row = rows_[size_t(r)];
    row.mark = Place(new QPushButton(c), "Mark" + n, QRect(0, 16 + dy, 17, 33));
    row.mark->setFocusPolicy(Qt::NoFocus);
    row.p = Place(new QLabel(c), "PLabel" + n, QRect(24, 38 + dy, 12, 14));
    row.caption = Place(new QLabel(c), "CapLabel" + n, QRect(24, 16 + dy, 450, 16), &fixed);
    row.xin = Place(new QLineEdit(c), "XINedit" + n, QRect(40, 32 + dy, 105, 21), &fixed);
    row.xout = Place(new QLabel(c), "XoutLabel" + n, QRect(152, 34 + dy, 100, 16), &fixed);
    row.range = Place(new QLineEdit(c), "RangeEdit" + n, QRect(256, 32 + dy, 81, 21), &fixed);
    row.err = Place(new QLabel(c), "ErrLabel" + n, QRect(352, 34 + dy, 100, 16), &fixed);
    row.xin->installEventFilter(this);
    row.range->installEventFilter(this);
    connect(row.mark, &QPushButton::clicked, this, [this, r] { MarkClick(r); });
  }
  scroll_ = Place(new QScrollBar(c), "ScrollBar1", QRect(480, 24, 16, 360));
  scroll_->setOrientation(Qt::Vertical);
  scroll_->setPageStep(9);
  scroll_->installEventFilter(this);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int p) {
    if (settingScroll_) return;
    CommitPendingEdit();
    ScrollTo(session_.main, p);
    RedrawRows();
  });
}

void TForm1::FormCreate() {
  move(x(), 0);
  // The form's height of 460 is its outer frame: the title bar, the menu
  // and the client area of 417 below it.
  resize(500, menuBar()->sizeHint().height() + centralWidget()->height());
  scroll_->setFixedHeight(360);
  session_.main.lastDisplayed = -1;
  ShowLastPage();
}

void TForm1::SetScrollBar() {
  settingScroll_ = true;
  scroll_->setMaximum(ScrollMaximum(session_.main));
  scroll_->setValue(session_.main.top);
  settingScroll_ = false;
}

void TForm1::ShowLastPage() {
  ScrollToEnd(session_.main);
  RedrawRows();
}

void TForm1::RedrawRows() {
  const EditorBuffer& buf = session_.main;
  for (int r = 0; r < kGridRows; ++r) {
    RowView v = DrawRow(buf, buf.top + r, session_.transferMode);
    Row& row = rows_[size_t(r)];
    row.mark->setText(FromBytes(v.marker));
    row.p->setText(FromBytes(v.pLabel));
    row.caption->setText(FromBytes(v.caption));
    ShowWhole(row.xin, FromBytes(v.xin));
    ShowWhole(row.xout, FromBytes(v.xout));
    ShowWhole(row.range, FromBytes(v.range));
    ShowWhole(row.err, FromBytes(v.err));
    row.xin->setReadOnly(!v.editable);
    row.range->setReadOnly(!v.editable);
  }
  header_->setText(FromBytes(HeaderText(buf)));
  SetScrollBar();
}

void TForm1::AfterLoad() {
  setWindowTitle(FromBytes(session_.caption));
  ShowLastPage();
  for (QAction* a : {saveAs_, saveText_, displayAdd_, viewLabel_}) a->setEnabled(true);
  for (QMenu* m : {edit_, drop_, merge_}) m->menuAction()->setEnabled(true);
}

void TForm1::StartWith(const std::string& path, bool updateMode) {
  if (path.empty()) return;
  bool ok;
  {
    platform::WaitCursor wait;
    ok = session_.LoadFromCommandLine(path);
  }
  if (!ok) return;  // the message has been shown; the window stays empty
  AfterLoad();
  if (!updateMode) return;
  // The hourglass shows while the values are taken over, not over the dialog.
  AutoMergeOutcome merged;
  if (auto source = ChooseMergeSource(session_, MergeSourceKind::Prb)) {
    platform::WaitCursor wait;
    merged = AutoMergeFile(session_, MergeSourceKind::Prb, *source);
  }
  UpdateResult r = FinishUpdate(session_, merged);
  RedrawRows();
  if (r == UpdateResult::Updated) {
    setWindowTitle(FromBytes(session_.caption));
    // The update is done: the program ends once its message loop runs.
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TForm1::Load1Click() {
  platform::FileDialogSpec desc;
  desc.title = "PRB file:";
  desc.filter = "PRB files|*.PRB";
  desc.defaultExt = "PRB";
  desc.initialDir = ToBytes(QDir::currentPath());
  desc.mustExist = true;
  std::string path;
  for (;;) {
    auto file = platform::Prompts().OpenFileName(desc);
    if (!file) return;
    path = RemovePrbExtension(*file);
    if (session_.Validate(path)) break;
  }
  bool ok;
  {
    platform::WaitCursor wait;
    ok = session_.LoadProblem(path);
  }
  if (ok) AfterLoad();
}

std::optional<std::string> TForm1::SaveDialogName(bool preset) {
  platform::FileDialogSpec desc;
  desc.title = "Save as:";
  desc.filter = "Problem file|*.PRB";
  desc.defaultExt = "PRB";
  if (preset) desc.fileName = session_.main.problemName + ".PRB";
  auto file = platform::Prompts().SaveFileName(desc);
  if (!file) return std::nullopt;
  return RemovePrbExtension(*file);
}

void TForm1::Saveas1Click() {
  CommitPendingEdit();
  auto name = SaveDialogName(true);
  if (!name) return;
  platform::WaitCursor wait;
  if (session_.SaveAs(*name)) setWindowTitle(FromBytes(session_.caption));
  ShowSolverValues();
}

void TForm1::ShowSolverValues() {
  const EditorBuffer& buf = session_.main;
  for (int r = 0; r < kGridRows; ++r) {
    // The edits keep what the modeller may be typing.
    RowView v = DrawRow(buf, buf.top + r, session_.transferMode);
    ShowWhole(rows_[size_t(r)].xout, FromBytes(v.xout));
    ShowWhole(rows_[size_t(r)].err, FromBytes(v.err));
  }
}

void TForm1::changeEvent(QEvent* ev) {
  // Back from another window, perhaps after a solver run: show its X out.
  if (ev->type() == QEvent::ActivationChange && isActiveWindow() &&
      session_.TakeSolverResults())
    ShowSolverValues();
  QMainWindow::changeEvent(ev);
}

void TForm1::Quit1Click() {
  CommitPendingEdit();
  close();
}

bool TForm1::FormCloseQuery() {
  if (!session_.modified) return true;
  if (auto name = SaveDialogName(false)) {
    platform::WaitCursor wait;
    // A failed save keeps the window open so nothing is lost.
    return session_.SaveAs(*name);
  }
  return platform::Prompts().Confirm(kCloseWithoutSaving);
}

void TForm1::closeEvent(QCloseEvent* ev) {
  // The window's close button, like Quit, must not drop a value still being typed.
  CommitPendingEdit();
  if (FormCloseQuery()) {
    ev->accept();
    dispMerge_->close();  // the program ends with its main window
  } else {
    ev->ignore();
  }
}

void TForm1::DisplayAdd1Click() {
  if (!session_.loaded) return;
  xselect_->SetBuffer(&session_.main, true);
  xselect_->exec();
  ShowLastPage();
}

void TForm1::ViewLabel() { platform::Prompts().ShowMessage(session_.ViewLabelText()); }

void TForm1::About1Click() { platform::Prompts().ShowMessage(kAbout); }

// --- bulk edits, listing, auto-match and transfer mode ---------------------

void TForm1::SelectAll1Click() {
  CommitPendingEdit();
  MarkAllRows(session_.main, true);
  RedrawRows();
}

void TForm1::DeselectAll1Click() {
  CommitPendingEdit();
  MarkAllRows(session_.main, false);
  RedrawRows();
}

void TForm1::BulkSetValueCommand(bool range) {
  CommitPendingEdit();
  double value = kBulkProposedValue;
  if (!numDlg_->EditRealValue(range ? kBulkRangePrompt : kBulkXPrompt, value)) return;
  switch (BulkSetValue(session_.main, value, range)) {
    case BulkResult::Applied:
      session_.modified = true;
      break;
    case BulkResult::Refused:
      platform::Prompts().Beep();
      return;
    case BulkResult::Ignored:
      return;
  }
  RedrawRows();
}

void TForm1::Xin1Click() { BulkSetValueCommand(false); }
void TForm1::RangeVal1Click() { BulkSetValueCommand(true); }

void TForm1::BulkSetConstraintCommand(bool on) {
  CommitPendingEdit();
  if (platform::Prompts().ConfirmOk(kBulkConstraintQuestion)) BulkSetConstraint(session_.main, on);
  RedrawRows();
  session_.modified = true;
}

void TForm1::Positiveor0constr1Click() { BulkSetConstraintCommand(true); }
void TForm1::Unconstrain1Click() { BulkSetConstraintCommand(false); }

void TForm1::Dropdeselected1Click() {
  CommitPendingEdit();
  DropUnmarkedRows(session_.main);
  RedrawRows();
}

void TForm1::DropALL1Click() {
  DropAllRows(session_.main);
  RedrawRows();
}

void TForm1::SaveText1Click() {
  platform::FileDialogSpec desc;
  desc.filter = "Text file|*.TXT";
  desc.defaultExt = "TXT";
  desc.askOverwrite = true;
  auto file = platform::Prompts().SaveFileName(desc);
  if (!file) return;
  platform::WaitCursor wait;
  SaveTextListing(session_.main, *file);
}

void TForm1::AutoMergeCommand(int kind) {
  const auto k = MergeSourceKind(kind);
  auto path = ChooseMergeSource(session_, k);
  if (!path) return;
  {
    platform::WaitCursor wait;
    AutoMergeFile(session_, k, *path);
  }
  RedrawRows();
}

void TForm1::PRBfileautomatch1Click() { AutoMergeCommand(int(MergeSourceKind::Prb)); }
void TForm1::TXTfileautomatch1Click() { AutoMergeCommand(int(MergeSourceKind::Txt)); }

void TForm1::Automatchonlyempty1Click() {
  automatchOnlyEmpty_->setChecked(true);
  session_.autoMatchAll = false;
}

void TForm1::Automatchall1Click() {
  automatchAll_->setChecked(true);
  session_.autoMatchAll = true;
}

void TForm1::OpenPRBtransferwindow1Click() {
  CommitPendingEdit();
  session_.transferMode = true;
  merge_->menuAction()->setEnabled(false);
  window_->setEnabled(true);
  session_.main.cursor = session_.main.top;
  savedTop_ = y();
  savedState_ = windowState();
  setWindowState(Qt::WindowNoState);
  // Places are outer frames: the transfer window's title bar at the top of
  // the screen, the main window's right below its frame. The transfer
  // window has the main window's decoration, whose sizes the window manager
  // has already given.
  const QRect outer = frameGeometry(), inner = geometry();
  const int above = std::max(0, inner.top() - outer.top());
  const int below = std::max(0, outer.bottom() - inner.bottom());
  dispMerge_->setWindowState(Qt::WindowNoState);
  dispMerge_->adjustSize();
  const QSize merge = dispMerge_->size();
  dispMerge_->setGeometry(dispMerge_->geometry().x(), above, merge.width(), merge.height());
  setGeometry(inner.x(), above + merge.height() + below + above, inner.width(), inner.height());
  scroll_->setFixedHeight(150);
  scroll_->setPageStep(kMergeRows);
  dispMerge_->show();
  RedrawRows();
}

void TForm1::TransferWindowClosed() {
  session_.transferMode = false;
  move(x(), savedTop_);
  setWindowState(savedState_);
  scroll_->setFixedHeight(360);
  scroll_->setPageStep(9);
  merge_->menuAction()->setEnabled(true);
  window_->setEnabled(false);
  RedrawRows();
}

void TForm1::Window1Click() {
  if (!session_.transferMode) return;
  dispMerge_->raise();
  dispMerge_->activateWindow();
}

// --- in-place editing -------------------------------------------------------

bool TForm1::EditOf(const QObject* obj, int& row, bool& range) const {
  for (int r = 0; r < kGridRows; ++r) {
    const Row& w = rows_[size_t(r)];
    if (obj == w.xin || obj == w.range) {
      row = r;
      range = obj == w.range;
      return true;
    }
  }
  return false;
}

void TForm1::EnterEdit(int row, bool range) {
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  if (edits_.Enter(row, range, ToBytes(e->text()))) e->setModified(false);
}

void TForm1::Show(int row, bool range, const GridEdits::Commit& c) {
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  switch (c.outcome) {
    case GridEdits::Outcome::Unchanged:
      break;
    case GridEdits::Outcome::Refused:
      platform::Prompts().Beep();
      QTimer::singleShot(0, e, [e] { e->setFocus(Qt::OtherFocusReason); });
      break;
    case GridEdits::Outcome::Stored:
      ShowWhole(e, FromBytes(c.shown));
      e->setModified(false);
      rows_[size_t(row)].err->setText(" ");
      break;
  }
}

void TForm1::ExitEdit(int row, bool range) {
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  Show(row, range,
       edits_.Exit(session_.main, session_.modified, row, range, ToBytes(e->text()),
                   e->isModified()));
}

void TForm1::Commit(int row, bool range) {
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  Show(row, range,
       edits_.Store(session_.main, session_.modified, row, range, ToBytes(e->text()),
                    e->isModified()));
}

void TForm1::CommitPendingEdit() {
  for (const GridEdits::Pending& p : edits_.PendingEdits()) Commit(p.row, p.range);
}

bool TForm1::EditKeyPress(int row, bool range, int key) {
  if (key != Qt::Key_Escape) return false;
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  ShowWhole(e, FromBytes(edits_.EscapeText(range)));
  e->setModified(false);
  return true;
}

bool TForm1::HandleGridKey(QObject* obj, int key) {
  std::optional<GridKey> found = GridKeyFor(key);
  if (!found) return false;
  const GridKey k = *found;
  if ((k == GridKey::Up || k == GridKey::Down) && !session_.transferMode) return false;
  // The scroll bar pages by itself.
  if (obj == scroll_ && (k == GridKey::PageUp || k == GridKey::PageDown)) return false;
  if (session_.main.lastDisplayed < 0) return true;
  CommitPendingEdit();
  ApplyGridKey(session_.main, k, session_.transferMode);
  RedrawRows();
  return true;
}

bool TForm1::eventFilter(QObject* obj, QEvent* ev) {
  int row = 0;
  bool range = false;
  switch (ev->type()) {
    case QEvent::KeyPress: {
      int key = static_cast<QKeyEvent*>(ev)->key();
      if (HandleGridKey(obj, key)) return true;
      if (EditOf(obj, row, range))
        return range ? RangeEditKeyPress(row, key) : XINeditKeyPress(row, key);
      break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
      if (!EditOf(obj, row, range)) break;
      bool in = ev->type() == QEvent::FocusIn;
      // Menus and other windows take the focus only for a while: the edit
      // stays pending (commands commit it) and is not entered again.
      auto reason = static_cast<QFocusEvent*>(ev)->reason();
      if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) {
        if (!in || !edits_.EntersOnReturn(row, range)) break;
      }
      if (range)
        in ? Renter(row) : Rexit(row);
      else
        in ? Xenter(row) : Xexit(row);
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(obj, ev);
}

void TForm1::keyPressEvent(QKeyEvent* ev) {
  if (!HandleGridKey(this, ev->key())) QMainWindow::keyPressEvent(ev);
}

void TForm1::MarkClick(int row) {
  if (!MarkOrSetCursor(session_.main, row, session_.transferMode)) return;
  if (session_.transferMode)
    RedrawRows();
  else
    rows_[size_t(row)].mark->setText(FromBytes(MarkerText(session_.main, row)));
}

void TForm1::Xenter(int row) { EnterEdit(row, false); }
void TForm1::Xexit(int row) { ExitEdit(row, false); }
void TForm1::Renter(int row) { EnterEdit(row, true); }
void TForm1::Rexit(int row) { ExitEdit(row, true); }
bool TForm1::XINeditKeyPress(int row, int key) { return EditKeyPress(row, false, key); }
bool TForm1::RangeEditKeyPress(int row, int key) { return EditKeyPress(row, true, key); }

}  // namespace krv::pe
