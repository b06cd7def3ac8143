// The transfer window: the source problem's display list in four rows, from
// which "&Merge (F7)" copies one value block at a time onto the main grid.
#include "problem_editor/forms/TDispMerge.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>

#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"
#include "platform/user_prompts.h"
#include "problem_editor/DispMrgU.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/forms/TXSelect.h"
#include "problem_editor/forms/grid_font.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

using platform::FromBytes;

TDispMerge::TDispMerge(EditorSession& session, TXSelect& xselect, QWidget* parent)
    : QMainWindow(parent), session_(session), xselect_(xselect) {
  setObjectName("DispMerge");
  setWindowTitle(kMergeCaption);
  auto* client = new QWidget(this);
  client->setObjectName("Client");
  client->setFixedSize(498, 165);
  setCentralWidget(client);

  QMenuBar* bar = menuBar();
  QAction* file = bar->addAction("&File");
  file->setObjectName("File1");
  connect(file, &QAction::triggered, this, &TDispMerge::File1Click);
  dispAdd_ = bar->addAction("DispAdd(F4)");
  dispAdd_->setObjectName("DispAdd1");
  dispAdd_->setShortcut(Qt::Key_F4);
  connect(dispAdd_, &QAction::triggered, this, &TDispMerge::DispAdd1Click);
  drop_ = bar->addMenu("Drop");
  drop_->setObjectName("Drop1");
  QAction* dropAll = drop_->addAction("Drop ALL");
  dropAll->setObjectName("DropALL1");
  connect(dropAll, &QAction::triggered, this, &TDispMerge::DropALL1Click);
  merge_ = bar->addAction("&Merge (F7)");
  merge_->setObjectName("Merge1");
  merge_->setShortcut(Qt::Key_F7);
  connect(merge_, &QAction::triggered, this, &TDispMerge::Merge1Click);
  QAction* window = bar->addAction("Window(F6)");
  window->setObjectName("Window1");
  window->setShortcut(Qt::Key_F6);
  connect(window, &QAction::triggered, this, &TDispMerge::Window1Click);
  dispAdd_->setEnabled(false);
  merge_->setEnabled(false);
  drop_->menuAction()->setEnabled(false);

  const QFont fixed = GridFont();
  for (int r = 0; r < kMergeRows; ++r) {
    const QString n = QString::number(r);
    const int dy = 40 * r;
    Row& row = rows_[size_t(r)];
    row.mark = new QPushButton(client);
    row.mark->setObjectName("Mark" + n);
    row.mark->setGeometry(0, 8 + dy, 17, 33);
    row.mark->setFocusPolicy(Qt::NoFocus);
    connect(row.mark, &QPushButton::clicked, this, [this, r] { SetMergeCursor(r); });
    row.caption = new QLabel(client);
    row.caption->setObjectName("CapLabel" + n);
    row.caption->setGeometry(32, 8 + dy, 396, 16);
    row.caption->setFont(fixed);
    row.values = new QLabel(client);
    row.values->setObjectName("ValLabel" + n);
    row.values->setGeometry(32, 24 + dy, 444, 16);
    row.values->setFont(fixed);
  }
  count_ = new QLabel(client);
  count_->setObjectName("CountLabel");
  count_->setGeometry(432, 8, 46, 16);
  scroll_ = new QScrollBar(Qt::Vertical, client);
  scroll_->setObjectName("ScrollBar1");
  scroll_->setGeometry(client->width() - 16, 0, 16, 161);
  scroll_->setPageStep(kMergeRows);
  scroll_->installEventFilter(this);
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int p) {
    if (settingScroll_ || !session_.merge) return;
    ScrollTo(*session_.merge, p);
    RedrawMergeRows();
  });
  RedrawMergeRows();
}

void TDispMerge::SetScrollBar() {
  settingScroll_ = true;
  const EditorBuffer* b = session_.merge.get();
  scroll_->setMaximum(b ? ScrollMaximum(*b) : 0);
  scroll_->setValue(b ? b->top : 0);
  settingScroll_ = false;
}

void TDispMerge::RedrawMergeRows() {
  static const EditorBuffer kEmpty;
  const EditorBuffer& b = session_.merge ? *session_.merge : kEmpty;
  for (int r = 0; r < kMergeRows; ++r) {
    MergeRowView v = DrawMergeRow(b, b.top + r);
    Row& row = rows_[size_t(r)];
    row.mark->setText(FromBytes(v.marker));
    row.caption->setText(FromBytes(v.caption));
    ShowWhole(row.values, FromBytes(v.values));
  }
  count_->setText(FromBytes(MergeCountText(b)));
  SetScrollBar();
}

void TDispMerge::File1Click() {
  platform::FileDialogSpec desc;
  desc.filter = "PRB merge source|*.PRB";
  desc.defaultExt = "PRB";
  std::string path;
  for (;;) {
    auto file = platform::Prompts().OpenFileName(desc);
    if (!file) return;
    path = RemovePrbExtension(*file);  // the whole path: a cut one opens another file
    if (!session_.merge) session_.merge = std::make_unique<EditorBuffer>();
    if (session_.Validate(path, true)) break;
  }
  bool ok;
  {
    platform::WaitCursor wait;
    // A source that fails to load keeps the previous one, its caption and list.
    ok = LoadProblemFile(path, true, *session_.merge);
  }
  if (!ok) return;
  setWindowTitle(FromBytes(session_.merge->problemName));
  DropAllRows(*session_.merge);
  ScrollToEnd(*session_.merge, kMergeRows);
  RedrawMergeRows();
  dispAdd_->setEnabled(true);
  merge_->setEnabled(true);
  drop_->menuAction()->setEnabled(true);
}

void TDispMerge::DispAdd1Click() {
  if (!session_.merge) return;
  xselect_.SetBuffer(session_.merge.get(), false);
  xselect_.exec();
  ScrollToEnd(*session_.merge, kMergeRows);
  RedrawMergeRows();
}

void TDispMerge::DropALL1Click() {
  if (!session_.merge) return;
  DropAllRows(*session_.merge);
  RedrawMergeRows();
}

void TDispMerge::Merge1Click() {
  if (beforeTransfer) beforeTransfer();
  if (!TransferAtCursors(session_)) return;
  RedrawMergeRows();
  if (afterTransfer) afterTransfer();
}

void TDispMerge::Window1Click() {
  if (focusMain) focusMain();
}

void TDispMerge::SetMergeCursor(int row) {
  if (!session_.merge || !MarkOrSetCursor(*session_.merge, row, true)) return;
  RedrawMergeRows();
  scroll_->setFocus();
}

bool TDispMerge::FormKeyDown(QObject* obj, int key) {
  std::optional<GridKey> found = GridKeyFor(key);
  if (!found) return false;
  const GridKey k = *found;
  // The scroll bar pages by itself.
  if (obj == scroll_ && (k == GridKey::PageUp || k == GridKey::PageDown)) return false;
  if (session_.merge) ApplyGridKey(*session_.merge, k, true);
  RedrawMergeRows();
  return true;
}

bool TDispMerge::eventFilter(QObject* obj, QEvent* ev) {
  if (ev->type() == QEvent::KeyPress && FormKeyDown(obj, static_cast<QKeyEvent*>(ev)->key()))
    return true;
  return QMainWindow::eventFilter(obj, ev);
}

void TDispMerge::keyPressEvent(QKeyEvent* ev) {
  if (!FormKeyDown(this, ev->key())) QMainWindow::keyPressEvent(ev);
}

void TDispMerge::closeEvent(QCloseEvent* ev) {
  const bool wasOpen = isVisible();
  ev->accept();
  if (wasOpen && closed) closed();
}

}  // namespace krv::pe
