// Casewright's main window: file menu, the ten-row grid and its keys.
#include "problem_editor/forms/TForm1.h"

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

#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"
#include "platform/user_prompts.h"
#include "problem_editor/forms/TNumDlg.h"
#include "problem_editor/forms/TXSelect.h"
#include "problem_editor/forms/grid_font.h"
#include "problem_editor/value_entry.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

using platform::FromBytes;
using platform::ToBytes;

namespace {

const char* const kAbout = "Casewright: edits the data of a problem file (.PRB)";
const char* const kUpdateNotYet =
    "Update mode is not part of this version yet: the problem is loaded unchanged.";

template <typename W>
W* Placed(QWidget* parent, const QString& name, const QRect& at, const QFont* font = nullptr) {
  auto* w = new W(parent);
  w->setObjectName(name);
  w->setGeometry(at);
  if (font) w->setFont(*font);
  return w;
}

// Which grid row and edit an object is, from the properties set on it.
bool EditOf(QObject* obj, int& row, bool& range) {
  QVariant r = obj->property("gridRow");
  QVariant k = obj->property("rangeEdit");
  if (!r.isValid() || !k.isValid()) return false;
  row = r.toInt();
  range = k.toBool();
  return true;
}

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
  connect(add(file, "Quit1", "&Quit"), &QAction::triggered, this, &TForm1::Quit1Click);

  displayAdd_ = bar->addAction("DisplayAdd(F4)");
  displayAdd_->setObjectName("DisplayAdd1");
  displayAdd_->setShortcut(Qt::Key_F4);
  connect(displayAdd_, &QAction::triggered, this, &TForm1::DisplayAdd1Click);

  edit_ = bar->addMenu("&Edit");
  edit_->setObjectName("Edit1");
  add(edit_, "SelectAll1", "&Mark All");
  add(edit_, "DeselectAll1", "U&nmark All");
  add(edit_, "Xin1", "&Xin");
  add(edit_, "RangeVal1", "&RangeVal");
  add(edit_, "Positiveor0constr1", "&Positive or 0 constr");
  add(edit_, "Unconstrain1", "&Unconstrain");

  drop_ = bar->addMenu("Drop");
  drop_->setObjectName("Drop1");
  add(drop_, "Dropdeselected1", "Drop Unmarked");
  add(drop_, "DropALL1", "Drop ALL");

  merge_ = bar->addMenu("&Merge");
  merge_->setObjectName("Merge1");
  add(merge_, "PRBfileautomatch1", "&PRB file auto-match");
  add(merge_, "TXTfileautomatch1", "&TXT file auto-match");
  add(merge_, "OpenPRBtransferwindow1", "&Open PRB transfer window");
  QAction* onlyEmpty = add(merge_, "Automatchonlyempty1", "Auto-match only empty");
  QAction* all = add(merge_, "Automatchall1", "Auto-match all");
  onlyEmpty->setCheckable(true);
  all->setCheckable(true);
  all->setChecked(true);
  auto* group = new QActionGroup(this);
  group->addAction(onlyEmpty);
  group->addAction(all);
  connect(all, &QAction::toggled, this, [this](bool on) { session_.autoMatchAll = on; });

  viewLabel_ = bar->addAction("&ViewLabel");
  viewLabel_->setObjectName("ViewLabel1");
  connect(viewLabel_, &QAction::triggered, this, &TForm1::ViewLabel);
  window_ = bar->addAction("Window(F6)");
  window_->setObjectName("Window1");
  window_->setShortcut(Qt::Key_F6);
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
  header_ = Placed<QLabel>(c, "HeadLabel", QRect(72, 0, 428, 16), &proportional);
  for (int r = 0; r < kGridRows; ++r) {
    const QString n = QString::number(r);
    const int dy = 40 * r;
    Row& row = rows_[size_t(r)];
    row.mark = Placed<QPushButton>(c, "Mark" + n, QRect(0, 16 + dy, 17, 33));
    row.mark->setFocusPolicy(Qt::NoFocus);
    row.p = Placed<QLabel>(c, "PLabel" + n, QRect(24, 38 + dy, 12, 14));
    row.caption = Placed<QLabel>(c, "CapLabel" + n, QRect(24, 16 + dy, 450, 16), &fixed);
    row.xin = Placed<QLineEdit>(c, "XINedit" + n, QRect(40, 32 + dy, 105, 21), &fixed);
    row.xout = Placed<QLabel>(c, "XoutLabel" + n, QRect(152, 34 + dy, 100, 16), &fixed);
    row.range = Placed<QLineEdit>(c, "RangeEdit" + n, QRect(256, 32 + dy, 81, 21), &fixed);
    row.err = Placed<QLabel>(c, "ErrLabel" + n, QRect(352, 34 + dy, 100, 16), &fixed);
    for (QLineEdit* e : {row.xin, row.range}) {
      e->setProperty("gridRow", r);
      e->setProperty("rangeEdit", e == row.range);
      e->installEventFilter(this);
    }
    connect(row.mark, &QPushButton::clicked, this,
            [this, r] { QMetaObject::invokeMethod(this, ("MarkClick" + std::to_string(r)).c_str()); });
  }
  scroll_ = Placed<QScrollBar>(c, "ScrollBar1", QRect(480, 24, 16, 360));
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
  resize(500, 460);
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
  // Update mode carries values over from an older problem; until it is
  // built, say so rather than look as if the values had been carried.
  if (updateMode) platform::Prompts().ShowMessage(kUpdateNotYet);
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
  if (FormCloseQuery())
    ev->accept();
  else
    ev->ignore();
}

void TForm1::DisplayAdd1Click() {
  if (!session_.loaded) return;
  xselect_->SetBuffer(&session_.main, true);
  xselect_->exec();
  ShowLastPage();
}

void TForm1::ViewLabel() { platform::Prompts().ShowMessage(session_.ViewLabelText()); }

void TForm1::About1Click() { platform::Prompts().ShowMessage(kAbout); }

// --- in-place editing -------------------------------------------------------

void TForm1::EnterEdit(int row, bool range) {
  PendingEdit& p = range ? pendingR_ : pendingX_;
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  if (refocusing_ == e) {
    // Back after a refused value: keep the text to restore and the change.
    refocusing_ = nullptr;
    p.pending = true;
    return;
  }
  p.text = ToBytes(e->text()).substr(0, kEntryTextMax);
  p.row = row;
  p.pending = true;
  e->setModified(false);
}

void TForm1::ExitEdit(int row, bool range) {
  Commit(row, range);
  (range ? pendingR_ : pendingX_).pending = false;
}

bool TForm1::Commit(int row, bool range) {
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  if (!e->isModified()) return true;
  auto shown = CommitValue(session_.main, row, ToBytes(e->text()), range);
  if (!shown) {
    platform::Prompts().Beep();
    refocusing_ = e;
    QTimer::singleShot(0, e, [e] { e->setFocus(Qt::OtherFocusReason); });
    return false;
  }
  ShowWhole(e, FromBytes(*shown));
  e->setModified(false);
  rows_[size_t(row)].err->setText(" ");
  session_.modified = true;
  return true;
}

void TForm1::CommitPendingEdit() {
  if (pendingX_.pending) Commit(pendingX_.row, false);
  if (pendingR_.pending) Commit(pendingR_.row, true);
}

bool TForm1::EditKeyPress(int row, bool range, int key) {
  if (key != Qt::Key_Escape) return false;
  const PendingEdit& p = range ? pendingR_ : pendingX_;
  QLineEdit* e = range ? rows_[size_t(row)].range : rows_[size_t(row)].xin;
  ShowWhole(e, FromBytes(p.text));
  e->setModified(false);
  return true;
}

bool TForm1::HandleGridKey(QObject* obj, int key) {
  GridKey k;
  switch (key) {
    case Qt::Key_PageUp: k = GridKey::PageUp; break;
    case Qt::Key_PageDown: k = GridKey::PageDown; break;
    case Qt::Key_Home: k = GridKey::Home; break;
    case Qt::Key_End: k = GridKey::End; break;
    case Qt::Key_Up: k = GridKey::Up; break;
    case Qt::Key_Down: k = GridKey::Down; break;
    default: return false;
  }
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
      if (EditOf(obj, row, range)) {
        bool handled = false;
        std::string slot = (range ? "RangeEdit" : "XINedit") + std::to_string(row) + "KeyPress";
        QMetaObject::invokeMethod(this, slot.c_str(), Q_RETURN_ARG(bool, handled), Q_ARG(int, key));
        return handled;
      }
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
        const PendingEdit& p = range ? pendingR_ : pendingX_;
        if (!in || (p.pending && p.row == row)) break;
      }
      std::string slot = std::string(range ? "R" : "X") + (in ? "enter" : "exit") + std::to_string(row);
      QMetaObject::invokeMethod(this, slot.c_str());
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

#define KRV_PE_ROW_FAMILY(name, call)                      \
  void TForm1::name##0() { call(0); } void TForm1::name##1() { call(1); } \
  void TForm1::name##2() { call(2); } void TForm1::name##3() { call(3); } \
  void TForm1::name##4() { call(4); } void TForm1::name##5() { call(5); } \
  void TForm1::name##6() { call(6); } void TForm1::name##7() { call(7); } \
  void TForm1::name##8() { call(8); } void TForm1::name##9() { call(9); }

#define KRV_PE_MARK(r)                                                   \
  if (MarkOrSetCursor(session_.main, r, session_.transferMode)) {        \
    if (session_.transferMode)                                           \
      RedrawRows();                                                      \
    else                                                                 \
      rows_[r].mark->setText(session_.main.marks[size_t(session_.main.top + r)] ? "I" : " "); \
  }
#define KRV_PE_XENTER(r) EnterEdit(r, false)
#define KRV_PE_XEXIT(r) ExitEdit(r, false)
#define KRV_PE_RENTER(r) EnterEdit(r, true)
#define KRV_PE_REXIT(r) ExitEdit(r, true)
KRV_PE_ROW_FAMILY(MarkClick, KRV_PE_MARK)
KRV_PE_ROW_FAMILY(Xenter, KRV_PE_XENTER)
KRV_PE_ROW_FAMILY(Xexit, KRV_PE_XEXIT)
KRV_PE_ROW_FAMILY(Renter, KRV_PE_RENTER)
KRV_PE_ROW_FAMILY(Rexit, KRV_PE_REXIT)

#define KRV_PE_KEY_FAMILY(name, range)                                            \
  bool TForm1::name##0KeyPress(int k) { return EditKeyPress(0, range, k); }       \
  bool TForm1::name##1KeyPress(int k) { return EditKeyPress(1, range, k); }       \
  bool TForm1::name##2KeyPress(int k) { return EditKeyPress(2, range, k); }       \
  bool TForm1::name##3KeyPress(int k) { return EditKeyPress(3, range, k); }       \
  bool TForm1::name##4KeyPress(int k) { return EditKeyPress(4, range, k); }       \
  bool TForm1::name##5KeyPress(int k) { return EditKeyPress(5, range, k); }       \
  bool TForm1::name##6KeyPress(int k) { return EditKeyPress(6, range, k); }       \
  bool TForm1::name##7KeyPress(int k) { return EditKeyPress(7, range, k); }       \
  bool TForm1::name##8KeyPress(int k) { return EditKeyPress(8, range, k); }       \
  bool TForm1::name##9KeyPress(int k) { return EditKeyPress(9, range, k); }
KRV_PE_KEY_FAMILY(XINedit, false)
KRV_PE_KEY_FAMILY(RangeEdit, true)

}  // namespace krv::pe
