// Plotvane's main window.
#include "viewer/forms/Plotvane1.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>

#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "viewer/forms/XSelect.h"
#include "viewer/forms/up_down.h"

namespace krv::view {

using platform::FromBytes;
using platform::Prompts;

static QFont CourierNew(int points) {
  QFont f("Courier New", points);
  f.setStyleHint(QFont::TypeWriter);
  return f;
}

static QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->move(x, y);
  l->setMinimumWidth(200);
  return l;
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle("Plotvane");
  resize(657, 656);
  BuildMenus();
  BuildControls();
  FormCreate();
}

QAction* TForm1::AddItem(QMenu* menu, const char* name, const char* text, bool enabled) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  a->setEnabled(enabled);
  return a;
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  connect(AddItem(file, "AttachTTR1", "&Attach TTR", true), &QAction::triggered, this,
          &TForm1::AttachTTR1Click);
  reAttach1_ = AddItem(file, "ReAttach1", "ReAttach TTR", false);
  connect(reAttach1_, &QAction::triggered, this, &TForm1::ReAttach1Click);
  // The saves, the text export and printing come with the plot windows.
  savetoDSF1_ = AddItem(file, "SavetoDSF1", "Save  DSF actual indices", false);
  saveDSFat0index1_ = AddItem(file, "SaveDSFat0index1", "Save DSF transf indices", false);
  saveTXT1_ = AddItem(file, "SaveTXT1", "SaveText", false);
  print1_ = AddItem(file, "Print1", "Print graphs", false);
  copyTruncating1_ = AddItem(file, "CopyTruncatingAfterCurrentPosition1",
                             "Copy Truncating After Current Position", false);
  connect(copyTruncating1_, &QAction::triggered, this,
          &TForm1::CopyTruncatingAfterCurrentPosition1Click);
  connect(AddItem(file, "Quit1", "Quit", true), &QAction::triggered, this, &TForm1::Quit1Click);

  displayAdd1_ = bar->addAction("&DisplayAdd");
  displayAdd1_->setObjectName("DisplayAdd1");
  displayAdd1_->setShortcut(Qt::Key_F4);
  displayAdd1_->setEnabled(false);
  addAction(displayAdd1_);
  connect(displayAdd1_, &QAction::triggered, this, &TForm1::DisplayAdd1Click);

  view1_ = bar->addMenu("&View");
  view1_->setObjectName("View1");
  AddItem(view1_, "RestrictTrange1", "&Restrict _T range", true);
  AddItem(view1_, "UnrestrictTrange1", "&Unrestrict _T range", true);
  AddItem(view1_, "Changepointdensity1", "&View/change point density details", true);
  view1_->menuAction()->setEnabled(false);

  QAction* toggle = bar->addAction("TogglePlots F6");
  toggle->setObjectName("TogglePlotsF61");
  toggle->setShortcut(Qt::Key_F6);
  addAction(toggle);
  QAction* dropAll = bar->addAction("Drop All");
  dropAll->setObjectName("DropAll1");
  connect(dropAll, &QAction::triggered, this, &TForm1::DropAll1Click);

  QMenu* window = bar->addMenu("Window");
  window->setObjectName("Window1");
  AddItem(window, "Align1", "Align", true);
  AddItem(window, "Cascade1", "Cascade", true);
  QAction* rescale = AddItem(window, "Rescale1", "Rescale", true);
  rescale->setCheckable(true);
  rescale->setChecked(true);

  QAction* tile = bar->addAction("TilePlots F12");
  tile->setObjectName("TilePlotsF121");
  tile->setShortcut(Qt::Key_F12);
  addAction(tile);
  QAction* about = bar->addAction("About");
  about->setObjectName("About1");
  connect(about, &QAction::triggered, this, &TForm1::About1Click);
}

void TForm1::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName("Client");
  setCentralWidget(client);

  void (TForm1::*clicks[kDisplayLines])() = {
      &TForm1::SBt0Click,  &TForm1::SBt1Click,  &TForm1::SBt2Click,  &TForm1::SBt3Click,
      &TForm1::SBt4Click,  &TForm1::SBt5Click,  &TForm1::SBt6Click,  &TForm1::SBt7Click,
      &TForm1::SBt8Click,  &TForm1::SBt9Click,  &TForm1::SBt10Click, &TForm1::SBt11Click,
      &TForm1::SBt12Click, &TForm1::SBt13Click, &TForm1::SBt14Click, &TForm1::SBt15Click};
  QFont bold = font();
  bold.setBold(true);
  for (int i = 0; i < kDisplayLines; ++i) {
    QString n = QString::number(i);
    auto* line = new QLabel(" ", client);
    line->setObjectName("DLine" + n);
    line->setFont(CourierNew(8));
    line->move(88, 77 + 21 * i);
    line->setMinimumWidth(520);
    dLines_[size_t(i)] = line;
    auto* b = new QPushButton(" ", client);
    b->setObjectName("SBt" + n);
    b->setGeometry(64, 77 + 21 * i, 17, 15);
    b->setFont(bold);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, clicks[i]);
    sbt_[size_t(i)] = b;
  }
  timeLbl_ = MakeLabel(client, "TimeLbl", "_T = 0", 240, 23);
  timeLbl_->setFont(CourierNew(9));
  atT_ = MakeLabel(client, "At_T", "at", 240, 45);
  tLowLbl_ = MakeLabel(client, "TLowLbl", " ", 8, 23);
  atLO_ = MakeLabel(client, "AtLO", " ", 8, 45);
  tHiLbl_ = MakeLabel(client, "THiLbl", " ", 456, 23);
  atHI_ = MakeLabel(client, "AtHI", " ", 456, 45);
  MakeLabel(client, "Label1", "ViewGraphs: F6", 8, 62)->setMinimumWidth(100);
  MakeLabel(client, "Label2", "TileGraphs: F12", 456, 62)->setMinimumWidth(100);

  timeBar_ = new QScrollBar(Qt::Horizontal, client);
  timeBar_->setObjectName("TimeBar");
  timeBar_->setGeometry(8, 2, 553, 17);
  timeBar_->setRange(0, 0);
  timeBar_->setPageStep(10);
  timeBar_->installEventFilter(this);
  connect(timeBar_, &QScrollBar::valueChanged, this, &TForm1::TimeBarScroll);
  connect(timeBar_, &QScrollBar::sliderReleased, this, &TForm1::TimeBarScroll);

  scrollBar1_ = new QScrollBar(Qt::Vertical, client);
  scrollBar1_->setObjectName("ScrollBar1");
  scrollBar1_->setRange(0, 0);
  scrollBar1_->setPageStep(14);
  scrollBar1_->installEventFilter(this);
  connect(scrollBar1_, &QScrollBar::valueChanged, this, &TForm1::ScrollBar1Scroll);

  upDown1_ = new UpDown(client);
  upDown1_->setObjectName("UpDown1");
  upDown1_->SetPosition(30);
  upDown1_->SetMinimum(0);
  upDown1_->setGeometry(568, 2, 40, 17);
  connect(upDown1_, &UpDown::Clicked, this, &TForm1::UpDown1Click);

  scrollBar1_->setFocus();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  QWidget* client = centralWidget();
  scrollBar1_->setGeometry(client->width() - 17, 0, 17, client->height());
  upDown1_->move(client->width() - 17 - 8 - upDown1_->width(), 2);
}

void TForm1::SetSelectDialog(TXSelect* dialog) {
  xselect_ = dialog;
  connect(dialog, &TXSelect::Selected, this, &TForm1::SelectionMade);
}

void TForm1::FormCreate() {
  state_.ClearDisplayList();
  ScrollListToEnd();
}

void TForm1::SetAttachedCommands(bool on) {
  for (QAction* a : {reAttach1_, savetoDSF1_, saveDSFat0index1_, saveTXT1_, print1_,
                     copyTruncating1_, displayAdd1_})
    a->setEnabled(on);
  view1_->menuAction()->setEnabled(on);
}

void TForm1::SyncTimeBar() {
  syncing_ = true;
  const TimeRange& r = state_.Range();
  timeBar_->setRange(r.lo, r.hi);
  timeBar_->setPageStep(20 * r.density);
  timeBar_->setValue(state_.CurrentJT());
  syncing_ = false;
}

// Nothing is attached any more: only the commands that need no file stay.
void TForm1::AfterDetach() {
  SetAttachedCommands(false);
  setWindowTitle("Plotvane");
  timeLbl_->setText("_T = 0");
  atT_->setText("at");
  for (QLabel* l : {tLowLbl_, atLO_, tHiLbl_, atHI_}) l->setText(" ");
  syncing_ = true;
  timeBar_->setRange(0, 0);
  syncing_ = false;
  RefreshDisplayLines();
}

void TForm1::AttachTTR1Click() {
  platform::FileDialogSpec desc;
  desc.title = "Attach TTR";
  desc.filter = "TTR files|*.TTR";
  desc.defaultExt = "TTR";
  desc.initialDir = std::filesystem::current_path().string();
  desc.mustExist = true;
  std::optional<std::string> chosen = Prompts().OpenFileName(desc);
  if (!chosen) return;
  AttachStatus status;
  {
    platform::WaitCursor wait;
    status = state_.Attach(*chosen);
  }
  if (status == AttachStatus::EndProgram) {
    ended_ = true;
    close();
    QCoreApplication::exit(1);
    return;
  }
  if (status == AttachStatus::Failed) {
    AfterDetach();
    return;
  }
  setWindowTitle("Plotvane -- " + FromBytes(state_.TTRPath()));
  SyncTimeBar();
  ScrollListToEnd();
  ShowTimeBounds();
  SetAttachedCommands(true);
  if (xselect_) xselect_->exec();
}

void TForm1::ReAttach1Click() {
  bool ok;
  {
    platform::WaitCursor wait;
    ok = state_.ReAttach();
  }
  if (!ok) {
    AfterDetach();
    return;
  }
  const TimeRange& r = state_.Range();
  savetoDSF1_->setEnabled(r.density == 1 && r.hi < 32767);
  SyncTimeBar();
  RefreshDisplayLines();
  ShowTimeBounds();
}

void TForm1::CopyTruncatingAfterCurrentPosition1Click() {
  if (!state_.IsAttached()) return;
  if (!Prompts().ConfirmOk("Copy, Deleting after _JT=" + platform::IntToString(state_.CurrentJT())))
    return;
  platform::FileDialogSpec desc;
  desc.title = "Copy TTR";
  desc.filter = "TTR file|*.TTR";
  desc.defaultExt = "TTR";
  desc.initialDir = std::filesystem::current_path().string();
  std::optional<std::string> target = Prompts().SaveFileName(desc);
  if (!target) return;
  platform::WaitCursor wait;
  state_.CopyTruncated(*target);
}

void TForm1::Quit1Click() { close(); }

void TForm1::About1Click() {
  Prompts().ShowMessage("Plotvane result viewer, version 0.1");
}

void TForm1::DisplayAdd1Click() {
  if (!state_.IsAttached() || !xselect_) return;
  xselect_->exec();
  ScrollListToEnd();
}

void TForm1::DropAll1Click() {
  if (!Prompts().ConfirmOk("All variables and plots will be dropped!")) return;
  state_.ClearDisplayList();
  RefreshDisplayLines();
}

void TForm1::SelectionMade() {
  syncing_ = true;
  scrollBar1_->setMaximum(std::max(0, state_.Last()));
  syncing_ = false;
  RefreshDisplayLines();
}

void TForm1::RefreshDisplayLines() {
  if (state_.Last() >= 0 && state_.IsAttached()) ShowCurrentTime();
  for (int i = 0; i < kDisplayLines; ++i) {
    dLines_[size_t(i)]->setText(FromBytes(state_.DisplayLineText(i)));
    dLines_[size_t(i)]->adjustSize();
    sbt_[size_t(i)]->setText(FromBytes(state_.ButtonText(i)));
  }
}

void TForm1::ShowCurrentTime() {
  timeLbl_->setText(FromBytes(state_.TimeLabelText()));
  atT_->setText(FromBytes(state_.AtText()));
}

void TForm1::ShowTimeBounds() {
  tLowLbl_->setText(FromBytes(state_.LowTimeText()));
  atLO_->setText(FromBytes(state_.LowAtText()));
  tHiLbl_->setText(FromBytes(state_.HighTimeText()));
  atHI_->setText(FromBytes(state_.HighAtText()));
}

void TForm1::ScrollListToEnd() {
  state_.ScrollListToEnd();
  syncing_ = true;
  scrollBar1_->setValue(state_.Top());
  syncing_ = false;
  RefreshDisplayLines();
}

void TForm1::GoToTimeStep(int32_t jt) {
  state_.GoToTimeStep(jt);
  RefreshDisplayLines();
}

void TForm1::TimeBarScroll() {
  if (syncing_) return;
  if (state_.Last() < 0 || !state_.IsAttached()) {
    // The step stays where it is; so does the bar.
    syncing_ = true;
    timeBar_->setValue(state_.CurrentJT());
    syncing_ = false;
    return;
  }
  if (timeBar_->isSliderDown()) {
    // Dragging shows the time only; the values follow on release.
    state_.TrackTimeStep(timeBar_->value());
    ShowCurrentTime();
    return;
  }
  GoToTimeStep(timeBar_->value());
}

void TForm1::ScrollBar1Scroll() {
  if (syncing_) return;
  state_.SetTop(scrollBar1_->value());
  RefreshDisplayLines();
}

void TForm1::SetListTop(int top) {
  state_.SetTop(top);
  syncing_ = true;
  scrollBar1_->setValue(state_.Top());
  syncing_ = false;
  RefreshDisplayLines();
}

// List keys on the time bar scroll the list; the step stays.
bool TForm1::TimeBarKeyDown(int key) {
  int top = state_.Top(), last = state_.Last();
  switch (key) {
    case Qt::Key_PageUp: top = std::max(0, top - 14); break;
    case Qt::Key_PageDown: top = std::min(last, top + 14); break;
    case Qt::Key_End: top = last; break;
    case Qt::Key_Home: top = 0; break;
    case Qt::Key_Up: top = std::max(0, top - 1); break;
    case Qt::Key_Down: top = std::min(last, top + 1); break;
    default: return false;
  }
  if (last >= 0) {
    SetListTop(top);
    scrollBar1_->setFocus();
  }
  return true;
}

// Left and Right on the list's bar step the time; the list stays.
bool TForm1::ScrollBar1KeyDown(int key) {
  if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
  if (state_.Last() < 0 || !state_.IsAttached()) return true;
  timeBar_->setFocus();
  const TimeRange& r = state_.Range();
  int32_t jt = state_.CurrentJT();
  if (key == Qt::Key_Left && jt > r.lo) {
    GoToTimeStep(jt - 1);
  } else if (key == Qt::Key_Right && jt < r.hi) {
    GoToTimeStep(jt + 1);
  } else {
    RefreshDisplayLines();
  }
  syncing_ = true;
  timeBar_->setValue(state_.CurrentJT());
  syncing_ = false;
  return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == timeBar_ && state_.Last() < 0 && key != Qt::Key_Tab) return true;
    if (watched == timeBar_) return TimeBarKeyDown(key);
    if (watched == scrollBar1_) return ScrollBar1KeyDown(key);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::UpDown1Click(bool) {}

// A line's plot button; the plot windows take it over.
void TForm1::TogglePlotForLine(int) {}

void TForm1::SBt0Click() { TogglePlotForLine(0); }
void TForm1::SBt1Click() { TogglePlotForLine(1); }
void TForm1::SBt2Click() { TogglePlotForLine(2); }
void TForm1::SBt3Click() { TogglePlotForLine(3); }
void TForm1::SBt4Click() { TogglePlotForLine(4); }
void TForm1::SBt5Click() { TogglePlotForLine(5); }
void TForm1::SBt6Click() { TogglePlotForLine(6); }
void TForm1::SBt7Click() { TogglePlotForLine(7); }
void TForm1::SBt8Click() { TogglePlotForLine(8); }
void TForm1::SBt9Click() { TogglePlotForLine(9); }
void TForm1::SBt10Click() { TogglePlotForLine(10); }
void TForm1::SBt11Click() { TogglePlotForLine(11); }
void TForm1::SBt12Click() { TogglePlotForLine(12); }
void TForm1::SBt13Click() { TogglePlotForLine(13); }
void TForm1::SBt14Click() { TogglePlotForLine(14); }
void TForm1::SBt15Click() { TogglePlotForLine(15); }

}  // namespace krv::view
