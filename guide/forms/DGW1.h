// Helmsman's main window TForm1: choose a problem, see which steps are stale, run them.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "guide/console_run.h"
#include "guide/shell_state.h"
#include "guide/step_status.h"

class QFileSystemWatcher;
class QLabel;
class QPushButton;
class TSOfrm;
class TEditFrm;
class TFindFrm;
class TE1;
class TE2;
class TE3;
class TSHFrm;
class TAeditFrm;
namespace krv::series {
struct SeriesWindows;
}

class TForm1 : public QWidget, private krv::guide::ConsoleRunner {
  Q_OBJECT

 public:
  // `programDir` is where the programs, samples and Helmsman.TXT lie.
  explicit TForm1(const std::string& programDir, QWidget* parent = nullptr);
  ~TForm1() override;
  krv::series::SeriesWindows& SeriesForms() { return *series_; }

  const krv::guide::ShellState& State() const { return state_; }
  // Where "Compile" and "Start Solver" look for a terminal window; tests
  // fix it. Without one, each run shows its output in a ConsoleWindow.
  void SetTerminalLookup(std::function<std::string()> lookup) { findTerminal_ = std::move(lookup); }

 public slots:
  void FormCreate();
  void RefreshStatus();
  void FileButtonClick();
  void EditButtonClick();
  void SObuttonClick();
  void CvtSObuttonClick();
  void PrepButtonClick();
  void SeqButtonClick();
  void bCompClick();
  void ExeStartClick();
  void CasewrightbuttonClick();
  void PlotvanebuttonClick();
  void Button2Click();
  void AeditClick();
  void Button1Click();
  void BrackenfoldbtClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPushButton* AddButton(const char* name, const char* caption, int x, int y, int w,
                         bool enabled, void (TForm1::*slot)());
  void ShowStatus();
  void WatchProblemFiles();
  TSOfrm& SosiWindow();
  // Without a terminal window: the run's output in a window of our own.
  bool Run(const krv::guide::ConsoleRun& run) override;
  TFindFrm& FindWindow();

  krv::guide::ShellState state_;
  krv::guide::StepStatus status_;
  std::function<std::string()> findTerminal_;
  // Started programs run without telling us: their files refresh the status.
  QFileSystemWatcher* watcher_;
  TSOfrm* SOfrm = nullptr;
  // The editors' windows, made once with the main window and only shown
  // and hidden afterwards.
  void CreateWindows();
  void EditorClosed();
  TEditFrm* EditFrm;
  TFindFrm* FindFrm;
  TE1* E1;
  TE2* E2;
  TAeditFrm* AeditFrm;
  // The series store's and the worksheet's windows, made after the editors'.
  std::unique_ptr<krv::series::SeriesWindows> series_;
  TE3* E3;
  TSHFrm* SHFrm;

  QPushButton* FileButton;
  QPushButton* EditButton;
  QPushButton* SObutton;
  QPushButton* CvtSObutton;
  QPushButton* PrepButton;
  QPushButton* SeqButton;
  QPushButton* bComp;
  QPushButton* ExeStart;
  QPushButton* Casewrightbutton;
  QPushButton* Plotvanebutton;
  QPushButton* Button2;
  QPushButton* Aedit;
  QPushButton* Button1;
  QPushButton* Brackenfoldbt;
  QLabel* FileStatus;
  QLabel* PrepStatus;
  QLabel* SeqStatus;
  QLabel* CompStatus;
  QLabel* Label1;  // the any-file editor's caret line
};
