// Helmsman's main window TForm1: choose a problem, see which steps are stale, run them.
#include "guide/forms/DGW1.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "guide/compile_batch.h"
#include "guide/forms/any_file_form.h"
#include "guide/forms/console_window.h"
#include "guide/forms/edit_source_form.h"
#include "guide/forms/find_form.h"
#include "guide/forms/headings_form.h"
#include "guide/forms/sosi_window.h"
#include "guide/sosi_generator.h"
#include "guide/configuration.h"
#include "guide/problem_setup.h"
#include "guide/program_starts.h"
#include "platform/file_resolver.h"
#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "series/forms/series_windows.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

// The height of the status lines beside the buttons.
constexpr int kStatusHeight = 17;

TForm1::TForm1(const std::string& programDir, QWidget* parent)
    : QWidget(parent),
      findTerminal_(gd::FindTerminal),
      watcher_(new QFileSystemWatcher(this)) {
  setObjectName("Form1");
  setWindowTitle("KRVGuide for v.6.04");
  setFixedSize(476, 218);

  FileButton = AddButton("FileButton", "File", 8, 8, 88, true, &TForm1::FileButtonClick);
  EditButton = AddButton("EditButton", "Edit", 100, 8, 88, false, &TForm1::EditButtonClick);
  SObutton = AddButton("SObutton", "Edit SOSI", 192, 8, 88, false, &TForm1::SObuttonClick);
  CvtSObutton = AddButton("CvtSObutton", "Cvt SOSI", 284, 8, 88, false, &TForm1::CvtSObuttonClick);
  Aedit = AddButton("Aedit", "Edit Any File", 376, 8, 92, true, &TForm1::AeditClick);
  FileStatus = pf::MakeLabel(this, "FileStatus", "Select QTL file name",
                             QRect(8, 42, 460, kStatusHeight));
  PrepButton = AddButton("PrepButton", "Preprocess", 8, 66, 88, false, &TForm1::PrepButtonClick);
  PrepStatus = pf::MakeLabel(this, "PrepStatus", "Preprocess", QRect(104, 70, 364, kStatusHeight));
  SeqButton = AddButton("SeqButton", "Sequence", 8, 98, 88, false, &TForm1::SeqButtonClick);
  SeqStatus = pf::MakeLabel(this, "SeqStatus", "SeqMsg", QRect(104, 102, 364, kStatusHeight));
  bComp = AddButton("bComp", "Compile", 8, 130, 88, false, &TForm1::bCompClick);
  CompStatus = pf::MakeLabel(this, "CompStatus", "", QRect(104, 134, 170, kStatusHeight));
  ExeStart = AddButton("ExeStart", "Start Solver", 284, 130, 88, false, &TForm1::ExeStartClick);
  Label1 = pf::MakeLabel(this, "Label1", "", QRect(8, 158, 200, kStatusHeight));
  Casewrightbutton = AddButton("Casewrightbutton", "Start Casewright", 8, 180, 108, true,
                               &TForm1::CasewrightbuttonClick);
  Plotvanebutton = AddButton("Plotvanebutton", "Start Plotvane", 120, 180, 100, true,
                             &TForm1::PlotvanebuttonClick);
  Button2 = AddButton("Button2", "Update", 224, 180, 72, true, &TForm1::Button2Click);
  Button1 = AddButton("Button1", "Help", 300, 180, 72, true, &TForm1::Button1Click);
  Brackenfoldbt = AddButton("Brackenfoldbt", "Brackenfold", 376, 180, 92, true,
                            &TForm1::BrackenfoldbtClick);

  state_.ProgramDir = programDir;
  CreateWindows();
  FormCreate();
  // A compile without a terminal window, or a program that opens behind us,
  // never takes the activation away: its output files must refresh all the same.
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TForm1::RefreshStatus);
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TForm1::RefreshStatus);
}

// The series windows go before the main window's children.
TForm1::~TForm1() = default;

QPushButton* TForm1::AddButton(const char* name, const char* caption, int x, int y, int w,
                               bool enabled, void (TForm1::*slot)()) {
  auto* b = new QPushButton(QString::fromLatin1(caption), this);
  b->setObjectName(name);
  b->setGeometry(x, y, w, 25);
  b->setEnabled(enabled);
  connect(b, &QPushButton::clicked, this, slot);
  return b;
}

void TForm1::CreateWindows() {
  EditFrm = new TEditFrm(state_, this);
  FindFrm = new TFindFrm(this);
  E1 = new TE1(this);
  E2 = new TE2(this);
  AeditFrm = new TAeditFrm(this);
  E3 = new TE3(this);
  SHFrm = new TSHFrm(E3, this);
  series_ = std::make_unique<krv::series::SeriesWindows>(this, [this] { Button1Click(); });
  EditFrm->Attach(FindFrm, E1, E2, E3, SHFrm);
  EditFrm->AttachLsq(AeditFrm, &series_->Lsq);
  AeditFrm->SetFindFrm(FindFrm);
  connect(EditFrm, &TEditFrm::Closed, this, &TForm1::EditorClosed);
  connect(AeditFrm, &TAeditFrm::CaretLine, Label1, &QLabel::setText);
}

void TForm1::FormCreate() {
  if (!state_.ProgramDir.empty() && state_.ProgramDir.back() != '/') state_.ProgramDir += '/';
  gd::ReadConfiguration(state_);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshStatus();
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Files that the started programs wrote show up when the window comes back.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) RefreshStatus();
}

void TForm1::RefreshStatus() {
  gd::RefreshStatus(state_.ProblemName, status_);
  ShowStatus();
  WatchProblemFiles();
}

// Watches the current directory (files coming and going) and the problem's
// existing files (rewritten in place or re-dated), whose dates make the status.
void TForm1::WatchProblemFiles() {
  QStringList wanted{QDir::currentPath()};
  if (state_.HasProblem()) {
    for (const char* ext : {".QTL", ".VNM", ".PRB", ".PSY", "", ".SO"}) {
      std::string name = state_.ProblemName + ext;
      if (pf::FileExists(name))
        wanted << QDir::current().absoluteFilePath(pf::FromBytes(pf::ResolvePath(name)));
    }
  }
  // Always afresh: a file replaced by a rename is a new file to watch.
  QStringList watched = watcher_->files() + watcher_->directories();
  if (!watched.isEmpty()) watcher_->removePaths(watched);
  watcher_->addPaths(wanted);
}

void TForm1::ShowStatus() {
  FileStatus->setText(pf::FromBytes(status_.fileStatus));
  PrepStatus->setText(pf::FromBytes(status_.prepStatus));
  SeqStatus->setText(pf::FromBytes(status_.seqStatus));
  CompStatus->setText(pf::FromBytes(status_.compStatus));
  PrepButton->setEnabled(status_.prepEnabled);
  SeqButton->setEnabled(status_.seqEnabled);
  EditButton->setEnabled(status_.editEnabled);
  SObutton->setEnabled(status_.soEnabled);
  CvtSObutton->setEnabled(status_.cvtSoEnabled);
  ExeStart->setEnabled(status_.solverEnabled);
  // While the source editor is open, another problem, a second loading or a
  // SOSI conversion would go over its unsaved text.
  if (EditFrm->IsOpen()) {
    for (QPushButton* b : {FileButton, EditButton, SObutton, CvtSObutton}) b->setEnabled(false);
  }
}

void TForm1::FileButtonClick() {
  pf::FileDialogSpec desc;
  desc.filter = "QTL file|*.QTL";
  desc.defaultExt = "QTL";
  if (auto path = pf::Prompts().OpenFileName(desc)) {
    gd::ProblemChoice choice = gd::ChooseProblem(state_, *path);
    if (choice.accepted) {
      gd::SetMemoText(E1->M1, "");
      gd::SetMemoText(E2->M2, "");
      gd::SetMemoText(E3->M3, "");
    }
    if (choice.openSosiEditor) SObuttonClick();
    if (choice.ready) {
      setWindowTitle(pf::FromBytes("Guide:" + state_.ProblemName));
      EditFrm->setWindowTitle(pf::FromBytes("Edit Source " + state_.ProblemName));
      bComp->setEnabled(true);
    }
  }
  RefreshStatus();
  raise();
  activateWindow();
}

void TForm1::EditButtonClick() {
  if (!EditFrm->FormShow()) return;
  for (QPushButton* b : {FileButton, EditButton, SObutton, CvtSObutton}) b->setEnabled(false);
}

void TForm1::EditorClosed() {
  for (QPushButton* b : {FileButton, EditButton, SObutton, CvtSObutton}) b->setEnabled(true);
  RefreshStatus();
}

// The SOSI window is made once and kept, so that a window it owns (the
// find window while it is open) outlives each opening.
TSOfrm& TForm1::SosiWindow() {
  if (!SOfrm) {
    SOfrm = new TSOfrm(state_.ProblemName, state_.ProgramDir, this);
    SOfrm->SetFindWindow(&FindWindow());
  }
  SOfrm->SetProblem(state_.ProblemName, state_.ProgramDir);
  return *SOfrm;
}

// The one Find/Replace window, made with the main window.
TFindFrm& TForm1::FindWindow() { return *FindFrm; }

void TForm1::SObuttonClick() {
  SosiWindow().Open();
  RefreshStatus();
}

void TForm1::CvtSObuttonClick() {
  gd::SosiConversionResult r = gd::ConvertSosi(state_.ProblemName);
  // The parser stopped: show what it read, marked where it stopped.
  if (r.outcome == gd::SosiConversion::kParseError) SosiWindow().OpenAt(r.text, r.errorAt);
  RefreshStatus();
}

void TForm1::AeditClick() {
  AeditFrm->show();
  AeditFrm->raise();
  AeditFrm->activateWindow();
}

void TForm1::PrepButtonClick() {
  gd::StartForeparse(state_);
  RefreshStatus();
}

void TForm1::SeqButtonClick() {
  gd::StartSequist(state_);
  RefreshStatus();
}

void TForm1::bCompClick() {
  gd::StartCompile(state_, findTerminal_ ? findTerminal_() : std::string(), *this);
  RefreshStatus();
}

void TForm1::ExeStartClick() {
  gd::StartSolver(state_, findTerminal_ ? findTerminal_() : std::string(), *this);
  RefreshStatus();
}

bool TForm1::Run(const gd::ConsoleRun& run) {
  auto* window = new ConsoleWindow(run, this);
  connect(window, &ConsoleWindow::Ended, this, &TForm1::RefreshStatus);
  return window->Started();
}

void TForm1::CasewrightbuttonClick() {
  gd::StartCasewright(state_);
  RefreshStatus();
}

void TForm1::PlotvanebuttonClick() {
  gd::StartPlotvane(state_);
  RefreshStatus();
}

void TForm1::Button2Click() {
  gd::StartUpdate(state_);
  RefreshStatus();
}

void TForm1::BrackenfoldbtClick() {
  gd::StartBrackenfold(state_);
  RefreshStatus();
}

void TForm1::Button1Click() {
  const std::string help = pf::JoinPath(state_.ProgramDir, "KRVdoc.html");
  if (!pf::FileExists(help)) {
    pf::Prompts().ShowMessage("The help file " + help + " is not there.");
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(pf::FromBytes(pf::ResolvePath(help)))))
    pf::Prompts().ShowMessage("No program could be found to show " + help + ".");
}
