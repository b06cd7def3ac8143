// "LSQ data control": the buttons of a least-squares problem's data, over
// the state and commands of series/LSQU.
#pragma once

#include <QDialog>

#include "series/LSQU.h"

class QPushButton;

namespace krv::series {

class TWkFrm;
class TLogFrm;
class TLSQrunfrm;

class TLSQfrm : public QDialog, private LsqWindows {
  Q_OBJECT
 public:
  explicit TLSQfrm(LsqControl& control, QWidget* parent = nullptr);
  // The windows the commands use; all made before the dialog is used.
  void SetWindows(TWkFrm* worksheet, TLogFrm* log, TLSQrunfrm* runOptions);
  ~TLSQfrm() override;
  LsqControl& Control() { return control_; }

  QPushButton* SetupBt;
  QPushButton* OpenBt;
  QPushButton* ShowWkBt;
  QPushButton* CopyBt;
  QPushButton* CloseWksBt;
  QPushButton* RunBt;
  QPushButton* CloseWinBt;

 public slots:
  // Every way the dialog closes comes here.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // LsqWindows
  void ButtonsChanged() override;
  void ShowDialog(const std::string& caption) override;
  void CloseDialog() override;
  void ShowWorksheet() override;
  void BringUpWorksheet() override;
  bool CommitWorksheetCell() override;
  bool CloseWorksheet() override;
  std::optional<std::string> SelectLogLine(const std::string& caption) override;
  bool RunOptions() override;

  LsqControl& control_;
  TWkFrm* worksheet_ = nullptr;
  TLogFrm* log_ = nullptr;
  TLSQrunfrm* runOptions_ = nullptr;
};

}  // namespace krv::series
