// Plotvane's main window: sixteen display lines at the current step, the
// time labels and bars, and the menus.
#pragma once

#include <QMainWindow>
#include <array>

#include "series/series_store.h"
#include "viewer/PlotU.h"
#include "viewer/forms/plot_frm.h"
#include "viewer/viewer_state.h"

class QAction;
class QPrinter;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;

namespace krv::view {

class TDensityDlg;
class TTTRrootF;
class TTimeChgDlg;
class TXSelect;
class UpDown;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);

  ViewerState& State() { return state_; }
  // The selection dialog, created after the main window.
  void SetSelectDialog(TXSelect* dialog);
  // An older trajectory format ended the program.
  bool Ended() const { return ended_; }

  void RefreshDisplayLines();
  void ShowCurrentTime();
  void ShowTimeBounds();
  void ScrollListToEnd();
  void GoToTimeStep(int32_t jt);
  void UpdateDensity();

  // The plot windows.
  TPlotFrm* Plot(int i) { return plots_[size_t(i)]; }
  const TimeAxis& Time() const { return timeAxis_; }
  TTimeChgDlg* TimeChgDlg() { return timeChgDlg_; }
  TDensityDlg* DensityDlg() { return densityDlg_; }
  void TogglePlotForLine(int line);
  void OpenPlot(TPlotFrm* frm);
  void ClosePlot(TPlotFrm* frm);
  void ReloadAllPlots();
  // After the points changed: reloads them and scales each value axis to
  // them, as a new plot is scaled.
  void ReloadRescaledPlots();
  void HideAllPlots();
  void ScaleTimeAxis();
  void SyncPlotOrigin();
  // The save of the displayed trajectories into a data-series file.
  void SaveToDSF(bool actual);
  TTTRrootF* RootDlg() { return rootDlg_; }
  // One page per window in use, scaled to fit, with frame and caption.
  void PrintPlots(QPrinter& printer);

 public slots:
  void FormCreate();
  void AttachTTR1Click();
  void ReAttach1Click();
  void CopyTruncatingAfterCurrentPosition1Click();
  void Quit1Click();
  void About1Click();
  void DisplayAdd1Click();
  void DropAll1Click();
  void SavetoDSF1Click();
  void SaveDSFat0index1Click();
  void RestrictTrange1Click();
  void UnrestrictTrange1Click();
  void Changepointdensity1Click();
  void SaveTXT1Click();
  void TimeChgOk();
  void TimeChgCancel();
  void TogglePlotsF61Click();
  void TilePlotsF121Click();
  void Align1Click();
  void Cascade1Click();
  void Print1Click();
  void PlotClosed(TPlotFrm* frm);
  void TimeBarScroll();
  void ScrollBar1Scroll();
  void SelectionMade();
  void UpDown1Click(bool up);
  void SBt0Click();
  void SBt1Click();
  void SBt2Click();
  void SBt3Click();
  void SBt4Click();
  void SBt5Click();
  void SBt6Click();
  void SBt7Click();
  void SBt8Click();
  void SBt9Click();
  void SBt10Click();
  void SBt11Click();
  void SBt12Click();
  void SBt13Click();
  void SBt14Click();
  void SBt15Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  QAction* AddItem(QMenu* menu, const char* name, const char* text, bool enabled);
  void SetAttachedCommands(bool on);
  void SyncTimeBar();
  void AfterDetach();
  bool StepTime(NavKey key);
  bool TimeBarKeyDown(int qtKey);
  bool ScrollBar1KeyDown(int qtKey);
  void SetListTop(int top);
  void CloseRangeDialog();
  void CloseAllPlots();
  void RescaleOrRepaint();
  int PlotsInUse() const;
  // The borders the window manager gives a plot window, as last seen.
  FrameExtents PlotFrameExtents();
  // The plots in use, in window order, in these outer frames.
  void PlaceFrames(const std::vector<PlotBox>& frames);
  int ClientWidth() const;
  int ClientHeight() const;

  ViewerState state_;
  TXSelect* xselect_ = nullptr;
  bool ended_ = false;
  bool syncing_ = false;

  TimeAxis timeAxis_;
  PlotShared shared_{state_, timeAxis_};
  std::array<TPlotFrm*, kPlotWindows> plots_{};
  bool plotsHidden_ = false;
  FrameExtents plotExtents_;
  TDensityDlg* densityDlg_ = nullptr;
  TTimeChgDlg* timeChgDlg_ = nullptr;
  TTTRrootF* rootDlg_ = nullptr;
  series::SeriesStore dsfStore_;
  std::string lastRootName_;

  std::array<QLabel*, kDisplayLines> dLines_{};
  std::array<QPushButton*, kDisplayLines> sbt_{};
  QLabel* timeLbl_ = nullptr;
  QLabel* atT_ = nullptr;
  QLabel* tLowLbl_ = nullptr;
  QLabel* atLO_ = nullptr;
  QLabel* tHiLbl_ = nullptr;
  QLabel* atHI_ = nullptr;
  QScrollBar* scrollBar1_ = nullptr;
  QScrollBar* timeBar_ = nullptr;
  UpDown* upDown1_ = nullptr;

  QAction* reAttach1_ = nullptr;
  QAction* savetoDSF1_ = nullptr;
  QAction* saveDSFat0index1_ = nullptr;
  QAction* saveTXT1_ = nullptr;
  QAction* print1_ = nullptr;
  QAction* copyTruncating1_ = nullptr;
  QAction* displayAdd1_ = nullptr;
  QMenu* view1_ = nullptr;
  QAction* togglePlots_ = nullptr;
  QAction* rescale1_ = nullptr;
};

}  // namespace krv::view
