// Plotvane's main window.
#include "viewer/forms/Plotvane1.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <filesystem>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "viewer/forms/XSelect.h"
#include "viewer/forms/range_dialogs.h"
#include "viewer/forms/ttr_root_dlg.h"
#include "viewer/save_to_dsf.h"
#include "viewer/forms/up_down.h"

namespace krv::view {

using platform::FromBytes;
using platform::MakeLabel;
using platform::Prompts;

static QFont CourierNew(int points) {
  QFont f("Courier New", points);
  f.setStyleHint(QFont::TypeWriter);
  return f;
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle("Plotvane");
  resize(657, 656);
  BuildMenus();
  BuildControls();
  timeChgDlg_ = new TTimeChgDlg(this);
  connect(timeChgDlg_, &TTimeChgDlg::Ok, this, &TForm1::TimeChgOk);
  connect(timeChgDlg_, &TTimeChgDlg::Cancelled, this, &TForm1::TimeChgCancel);
  densityDlg_ = new TDensityDlg(this);
  rootDlg_ = new TTTRrootF(this);
  for (int i = 0; i < kPlotWindows; ++i) {
    auto* frm = new TPlotFrm(shared_, this);
    frm->setObjectName("PlotFrm" + QString::number(i + 1));
    frm->move(0, 74 + 12 * (i + 1));
    connect(frm, &TPlotFrm::Closed, this, &TForm1::PlotClosed);
    // A plot brought to the front keeps the range dialog above it.
    connect(frm, &TPlotFrm::Activated, this, [this] {
      if (timeChgDlg_->isVisible()) timeChgDlg_->raise();
    });
    plots_[size_t(i)] = frm;
  }
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
  savetoDSF1_ = AddItem(file, "SavetoDSF1", "Save  DSF actual indices", false);
  connect(savetoDSF1_, &QAction::triggered, this, &TForm1::SavetoDSF1Click);
  saveDSFat0index1_ = AddItem(file, "SaveDSFat0index1", "Save DSF transf indices", false);
  connect(saveDSFat0index1_, &QAction::triggered, this, &TForm1::SaveDSFat0index1Click);
  saveTXT1_ = AddItem(file, "SaveTXT1", "SaveText", false);
  connect(saveTXT1_, &QAction::triggered, this, &TForm1::SaveTXT1Click);
  print1_ = AddItem(file, "Print1", "Print graphs", false);
  connect(print1_, &QAction::triggered, this, &TForm1::Print1Click);
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
  connect(AddItem(view1_, "RestrictTrange1", "&Restrict _T range", true), &QAction::triggered,
          this, &TForm1::RestrictTrange1Click);
  connect(AddItem(view1_, "UnrestrictTrange1", "&Unrestrict _T range", true),
          &QAction::triggered, this, &TForm1::UnrestrictTrange1Click);
  connect(AddItem(view1_, "Changepointdensity1", "&View/change point density details", true),
          &QAction::triggered, this, &TForm1::Changepointdensity1Click);
  view1_->menuAction()->setEnabled(false);

  togglePlots_ = bar->addAction("TogglePlots F6");
  togglePlots_->setObjectName("TogglePlotsF61");
  togglePlots_->setShortcut(Qt::Key_F6);
  togglePlots_->setCheckable(true);
  togglePlots_->setChecked(true);
  addAction(togglePlots_);
  connect(togglePlots_, &QAction::triggered, this, &TForm1::TogglePlotsF61Click);
  QAction* dropAll = bar->addAction("Drop All");
  dropAll->setObjectName("DropAll1");
  connect(dropAll, &QAction::triggered, this, &TForm1::DropAll1Click);

  QMenu* window = bar->addMenu("Window");
  window->setObjectName("Window1");
  connect(AddItem(window, "Align1", "Align", true), &QAction::triggered, this,
          &TForm1::Align1Click);
  connect(AddItem(window, "Cascade1", "Cascade", true), &QAction::triggered, this,
          &TForm1::Cascade1Click);
  rescale1_ = AddItem(window, "Rescale1", "Rescale", true);
  rescale1_->setCheckable(true);
  rescale1_->setChecked(true);

  QAction* tile = bar->addAction("TilePlots F12");
  tile->setObjectName("TilePlotsF121");
  tile->setShortcut(Qt::Key_F12);
  addAction(tile);
  connect(tile, &QAction::triggered, this, &TForm1::TilePlotsF121Click);
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
  // One label and one button per display line: DLine0 .. DLine15 and
  // SBt0 .. SBt15.
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
  timeLbl_ = MakeLabel(client, "TimeLbl", "_T = 0", {240, 23}, 200);
  timeLbl_->setFont(CourierNew(9));
  atT_ = MakeLabel(client, "At_T", "at", {240, 45}, 200);
  tLowLbl_ = MakeLabel(client, "TLowLbl", " ", {8, 23}, 200);
  atLO_ = MakeLabel(client, "AtLO", " ", {8, 45}, 200);
  tHiLbl_ = MakeLabel(client, "THiLbl", " ", {456, 23}, 200);
  atHI_ = MakeLabel(client, "AtHI", " ", {456, 45}, 200);
  MakeLabel(client, "Label1", "ViewGraphs: F6", {8, 62}, 200)->setMinimumWidth(100);
  MakeLabel(client, "Label2", "TileGraphs: F12", {456, 62}, 200)->setMinimumWidth(100);

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
  timeBar_->setPageStep(r.LargeStep());
  timeBar_->setValue(state_.CurrentJT());
  syncing_ = false;
}

// Nothing is attached any more: only the commands that need no file stay.
void TForm1::AfterDetach() {
  CloseRangeDialog();
  CloseAllPlots();
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
  platform::FileDialogSpec TTROpenDialog;
  TTROpenDialog.title = "Attach TTR";
  TTROpenDialog.filter = "TTR files|*.TTR";
  TTROpenDialog.defaultExt = "TTR";
  TTROpenDialog.initialDir = std::filesystem::current_path().string();
  TTROpenDialog.mustExist = true;
  std::optional<std::string> chosen = Prompts().OpenFileName(TTROpenDialog);
  if (!chosen) return;
  // A pending range change belongs to the file it was started on.
  CloseRangeDialog();
  CloseAllPlots();
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
  SyncPlotOrigin();
  SyncTimeBar();
  ScaleTimeAxis();
  ScrollListToEnd();
  ShowTimeBounds();
  SetAttachedCommands(true);
  if (xselect_) xselect_->exec();
}

void TForm1::ReAttach1Click() {
  CloseRangeDialog();
  bool ok;
  {
    platform::WaitCursor wait;
    ok = state_.ReAttach();
  }
  if (!ok) {
    AfterDetach();
    return;
  }
  SyncPlotOrigin();
  UpdateDensity();
  ScaleTimeAxis();
  RefreshDisplayLines();
  ShowTimeBounds();
  ReloadRescaledPlots();
}

void TForm1::CopyTruncatingAfterCurrentPosition1Click() {
  if (!state_.IsAttached()) return;
  if (!Prompts().ConfirmOk("Copy, Deleting after _JT=" + platform::IntToString(state_.CurrentJT())))
    return;
  platform::FileDialogSpec TTRCopyDlg;
  TTRCopyDlg.title = "Copy TTR";
  TTRCopyDlg.filter = "TTR file|*.TTR";
  TTRCopyDlg.defaultExt = "TTR";
  TTRCopyDlg.initialDir = std::filesystem::current_path().string();
  std::optional<std::string> target = Prompts().SaveFileName(TTRCopyDlg);
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
  CloseAllPlots();
  state_.ClearDisplayList();
  RefreshDisplayLines();
}

void TForm1::UpdateDensity() {
  state_.Range().Update();
  SyncTimeBar();
  savetoDSF1_->setEnabled(state_.IsAttached() && state_.Range().ActualSaveAllowed());
}

void TForm1::RestrictTrange1Click() {
  if (!state_.IsAttached()) return;
  timeChgDlg_->restrictStep = true;
  timeChgDlg_->SetPrompt(true);
  timeChgDlg_->show();
  timeChgDlg_->raise();
}

void TForm1::TimeChgOk() {
  TimeRange& r = state_.Range();
  if (!state_.IsAttached()) {
    CloseRangeDialog();
    return;
  }
  if (timeChgDlg_->restrictStep) {
    HideAllPlots();
    r.hi = std::max(r.lo, state_.CurrentJT());
    GoToTimeStep(r.lo);
    UpdateDensity();
    ShowTimeBounds();
    timeChgDlg_->SetPrompt(false);
    timeChgDlg_->restrictStep = false;
    return;
  }
  r.lo = std::min(state_.CurrentJT(), r.hi);
  UpdateDensity();
  ShowTimeBounds();
  timeChgDlg_->hide();
  ScaleTimeAxis();
  ReloadRescaledPlots();
  timeChgDlg_->SetPrompt(true);
}

void TForm1::TimeChgCancel() {
  timeChgDlg_->hide();
  // After the first OK the range has its new upper bound.
  if (!timeChgDlg_->restrictStep && state_.IsAttached()) {
    ScaleTimeAxis();
    ReloadRescaledPlots();
  }
  timeChgDlg_->restrictStep = false;
  timeChgDlg_->SetPrompt(true);
}

void TForm1::CloseRangeDialog() {
  timeChgDlg_->restrictStep = false;
  timeChgDlg_->SetPrompt(true);
  timeChgDlg_->hide();
}

void TForm1::UnrestrictTrange1Click() {
  if (!state_.IsAttached()) return;
  HideAllPlots();
  TimeRange& r = state_.Range();
  r.lo = 0;
  r.hi = state_.JTmax();
  UpdateDensity();
  ShowTimeBounds();
  ScaleTimeAxis();
  ReloadRescaledPlots();
}

void TForm1::Changepointdensity1Click() {
  if (!state_.IsAttached()) return;
  densityDlg_->FormActivate(state_.Range());
  if (densityDlg_->exec() != QDialog::Accepted) return;
  HideAllPlots();
  state_.Range().density = densityDlg_->Chosen();
  UpdateDensity();
  // Other points may reach further: the value axes follow them.
  ReloadRescaledPlots();
}

void TForm1::SavetoDSF1Click() {
  if (!state_.IsAttached()) return;
  if (state_.Range().hi > 32759) {
    Prompts().ShowMessage("Too high a time step number to save directly, use \"transf\".");
    return;
  }
  SaveToDSF(true);
}

void TForm1::SaveDSFat0index1Click() {
  if (state_.IsAttached()) SaveToDSF(false);
}

void TForm1::SaveToDSF(bool actual) {
  DSFSave save(state_, dsfStore_, actual);
  platform::FileDialogSpec DSFOpenDialog;
  DSFOpenDialog.title = "DSF file for the save";
  DSFOpenDialog.filter = "DSF Database|*.DSF";
  DSFOpenDialog.defaultExt = "DSF";
  DSFOpenDialog.initialDir = std::filesystem::current_path().string();
  std::optional<std::string> chosen = Prompts().OpenFileName(DSFOpenDialog);
  if (!chosen) return;
  std::string path = chosen->substr(0, 87);
  bool missing = false;
  if (!save.Open(path, missing)) {
    if (!missing) return;
    if (!Prompts().Confirm("Create " + path + "?")) return;
    if (!save.Create(path)) return;
  }
  platform::WaitCursor wait;
  rootDlg_->accepts = [&save](std::string& name) { return save.NameAcceptable(name); };
  if (lastRootName_.empty()) lastRootName_ = state_.RootName();
  for (;;) {
    rootDlg_->SetName(lastRootName_);
    bool ok = rootDlg_->exec() == QDialog::Accepted;
    if (ok) lastRootName_ = rootDlg_->Name();
    if (!ok) return;
    DSFSave::RootResult root = save.MakeRoot(lastRootName_);
    if (root == DSFSave::RootResult::Failed) {
      Prompts().ShowMessage("DSDir ERROR");
      return;
    }
    if (root == DSFSave::RootResult::Made || Prompts().ConfirmWarningAt("Overwrite existing data?", 300, 200)) break;
  }
  save.WriteSeries();
  std::string failed = save.Finish();
  if (!failed.empty()) Prompts().ShowMessage(failed);
}

void TForm1::SaveTXT1Click() {
  if (!state_.IsAttached()) return;
  platform::FileDialogSpec SaveDialog1;
  SaveDialog1.title = "SaveText";
  SaveDialog1.filter = " Text file for current _T soln|*.TXT";
  SaveDialog1.defaultExt = "TXT";
  SaveDialog1.initialDir = std::filesystem::current_path().string();
  SaveDialog1.askOverwrite = true;
  std::optional<std::string> target = Prompts().SaveFileName(SaveDialog1);
  if (!target) return;
  state_.SaveValueList(*target);
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
  SyncPlotOrigin();
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
    SyncPlotOrigin();
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

// The list and step keys of the two bars; nothing for any other key.
static std::optional<NavKey> NavKeyOf(int key) {
  switch (key) {
    case Qt::Key_PageUp: return NavKey::PageUp;
    case Qt::Key_PageDown: return NavKey::PageDown;
    case Qt::Key_Home: return NavKey::Home;
    case Qt::Key_End: return NavKey::End;
    case Qt::Key_Up: return NavKey::LineUp;
    case Qt::Key_Down: return NavKey::LineDown;
    case Qt::Key_Left: return NavKey::StepBack;
    case Qt::Key_Right: return NavKey::StepForward;
    default: return std::nullopt;
  }
}

// One step back or forward within the range, the time bar following;
// false at a bound, where the step stays.
bool TForm1::StepTime(NavKey key) {
  std::optional<int32_t> jt = StepAfterKey(key, state_.CurrentJT(), state_.Range());
  if (jt) GoToTimeStep(*jt);
  syncing_ = true;
  timeBar_->setValue(state_.CurrentJT());
  syncing_ = false;
  return jt.has_value();
}

// List keys on the time bar scroll the list; the step stays. Right steps
// forward, Left back, on this bar as on the list's (the toolkit's own
// horizontal reaction is not used).
bool TForm1::TimeBarKeyDown(int qtKey) {
  std::optional<NavKey> key = NavKeyOf(qtKey);
  if (!key) return false;
  if (state_.Last() < 0) return true;
  if (IsStepKey(*key)) {
    if (state_.IsAttached()) StepTime(*key);
    return true;
  }
  SetListTop(ListTopAfterKey(*key, state_.Top(), state_.Last()));
  scrollBar1_->setFocus();
  return true;
}

// Left and Right on the list's bar step the time; the list stays.
bool TForm1::ScrollBar1KeyDown(int qtKey) {
  std::optional<NavKey> key = NavKeyOf(qtKey);
  if (!key || !IsStepKey(*key)) return false;
  if (state_.Last() < 0 || !state_.IsAttached()) return true;
  timeBar_->setFocus();
  if (!StepTime(*key)) RefreshDisplayLines();
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

void TForm1::UpDown1Click(bool up) {
  timeAxis_.ZoomTimeAxis(up);
  for (TPlotFrm* frm : plots_)
    if (frm->inUse && frm->isVisible()) frm->update();
}

int TForm1::ClientWidth() const { return centralWidget()->width(); }
int TForm1::ClientHeight() const { return centralWidget()->height(); }

void TForm1::ScaleTimeAxis() {
  const std::vector<double>& t = state_.TimeTable();
  const TimeRange& r = state_.Range();
  if (t.empty()) return;
  QScreen* sc = screen();
  int width = sc ? sc->geometry().width() : 1024;
  timeAxis_.Scale(t[size_t(r.lo)], t[size_t(r.hi)], TimeAxisPixels(width, ClientWidth()));
}

void TForm1::SyncPlotOrigin() {
  if (!state_.IsAttached()) return;
  if (!timeAxis_.SyncOrigin(state_.Range(), state_.CurrentJT(), state_.TimeTable())) return;
  for (TPlotFrm* frm : plots_)
    if (frm->inUse && frm->isVisible()) frm->update();
}

void TForm1::TogglePlotForLine(int line) {
  int k = state_.Top() + line;
  if (!state_.IsAttached() || state_.Last() < 0 || k > state_.Last()) return;
  int16_t v = state_.DisplayList()[size_t(k)];
  if (state_.PlottedMarks()[size_t(v)]) {
    for (TPlotFrm* frm : plots_) {
      if (frm->inUse && frm->variable == v) {
        ClosePlot(frm);
        break;
      }
    }
    return;
  }
  std::array<bool, kPlotWindows> inUse{};
  for (size_t i = 0; i < plots_.size(); ++i) inUse[i] = plots_[i]->inUse;
  int slot = FreePlotSlot(inUse);
  if (slot < 0) {
    Prompts().ShowMessage("Max 6 plots already open");
    return;
  }
  TPlotFrm* free = plots_[size_t(slot)];
  state_.PlottedMarks()[size_t(v)] = 1;
  RefreshDisplayLines();
  free->variable = v;
  free->setWindowTitle(FromBytes(PlotCaption(state_.Entries()[size_t(v)])));
  OpenPlot(free);
  if (plotsHidden_) free->hide();
}

void TForm1::OpenPlot(TPlotFrm* frm) {
  frm->inUse = true;
  {
    platform::WaitCursor wait;
    frm->AllocPlotBuffer();
    ReadPlotPoints(state_.File(), state_.Layout(), state_.Range(), {frm->variable}, {&frm->buffer});
    frm->RescalePlot();
    frm->ResetScroll();
  }
  frm->show();
  frm->update();
}

void TForm1::ClosePlot(TPlotFrm* frm) {
  if (frm->inUse) PlotClosed(frm);
}

void TForm1::PlotClosed(TPlotFrm* frm) {
  if (!frm->inUse) return;
  state_.PlottedMarks()[size_t(frm->variable)] = 0;
  frm->buffer.clear();
  frm->buffer.shrink_to_fit();
  frm->inUse = false;
  frm->hide();
  RefreshDisplayLines();
}

void TForm1::CloseAllPlots() {
  for (TPlotFrm* frm : plots_) ClosePlot(frm);
}

void TForm1::ReloadAllPlots() {
  std::vector<int> vars;
  std::vector<std::vector<float>*> buffers;
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    vars.push_back(frm->variable);
    buffers.push_back(&frm->buffer);
  }
  if (vars.empty() || !state_.IsAttached()) return;
  {
    platform::WaitCursor wait;
    ReadPlotPoints(state_.File(), state_.Layout(), state_.Range(), vars, buffers);
  }
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    if (!plotsHidden_) frm->show();
    frm->update();
  }
}

void TForm1::ReloadRescaledPlots() {
  ReloadAllPlots();
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    frm->RescalePlot();
    frm->ResetScroll();
    frm->update();
  }
}

void TForm1::HideAllPlots() {
  for (TPlotFrm* frm : plots_)
    if (frm->inUse) frm->hide();
}

void TForm1::RescaleOrRepaint() {
  bool rescale = rescale1_->isChecked();
  if (rescale) ScaleTimeAxis();
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    if (rescale) frm->RescalePlot();
    frm->update();
  }
}

FrameExtents TForm1::PlotFrameExtents() {
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse || !frm->isVisible()) continue;
    QRect outer = frm->frameGeometry(), inner = frm->geometry();
    FrameExtents e{inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom()};
    if (e.left >= 0 && e.top >= 0 && e.right >= 0 && e.bottom >= 0) {
      plotExtents_ = e;
      break;
    }
  }
  return plotExtents_;
}

void TForm1::PlaceFrames(const std::vector<PlotBox>& frames) {
  FrameExtents e = PlotFrameExtents();
  size_t i = 0;
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse || i >= frames.size()) continue;
    PlotBox c = ClientInFrame(frames[i++], e);
    frm->setGeometry(c.x, c.y, c.w, c.h);
  }
}

int TForm1::PlotsInUse() const {
  int n = 0;
  for (const TPlotFrm* frm : plots_) n += frm->inUse;
  return n;
}

void TForm1::TilePlotsF121Click() {
  int n = PlotsInUse();
  if (n == 0) return;
  PlaceFrames(TileFrames(n, ClientWidth(), ClientHeight()));
  RescaleOrRepaint();
}

void TForm1::Cascade1Click() {
  PlaceFrames(CascadeFrames(PlotsInUse(), ClientWidth(), ClientHeight()));
  RescaleOrRepaint();
}

void TForm1::Align1Click() {
  std::vector<PlotBox> frames;
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    QRect g = frm->frameGeometry();
    frames.push_back({0, g.top(), ClientWidth(), g.height()});
  }
  PlaceFrames(frames);
  RescaleOrRepaint();
}

void TForm1::TogglePlotsF61Click() {
  plotsHidden_ = !plotsHidden_;
  for (TPlotFrm* frm : plots_)
    if (frm->inUse) frm->setVisible(!plotsHidden_);
  togglePlots_->setChecked(!plotsHidden_);
}

void TForm1::Print1Click() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog PrintDialog1(&printer, this);
  if (PrintDialog1.exec() != QDialog::Accepted) return;
  PrintPlots(printer);
}

void TForm1::PrintPlots(QPrinter& printer) {
  shared_.printing = true;
  QPainter p;
  bool first = true;
  for (TPlotFrm* frm : plots_) {
    if (!frm->inUse) continue;
    if (first) {
      if (!p.begin(&printer)) {
        Prompts().ShowMessage("Cannot print: the printer could not be opened");
        break;
      }
    } else {
      printer.newPage();
    }
    first = false;
    // The window's drawing, scaled to fit the page; lines and text stay
    // vector, painted at the printer's resolution.
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    page.moveTo(0, 0);
    double s = std::min(double(page.width()) / std::max(1, frm->width()),
                        double(page.height()) / std::max(1, frm->height()));
    p.save();
    p.scale(s, s);
    p.setClipRect(QRect(0, 0, frm->width(), frm->height()));
    frm->Render(p, true);
    p.restore();
  }
  if (p.isActive()) p.end();
  shared_.printing = false;
}

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
