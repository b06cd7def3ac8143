// Casewright's main window: file menu, the ten-row grid and its keys.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "problem_editor/EPROCS.h"
#include "problem_editor/variable_grid.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;

namespace krv::pe {

class TDispMerge;
class TNumDlg;
class TXSelect;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  TForm1();
  ~TForm1() override;

  EditorSession& Session() { return session_; }
  TXSelect& XSelect() { return *xselect_; }
  TNumDlg& NumDlg() { return *numDlg_; }
  TDispMerge& DispMerge() { return *dispMerge_; }

  // The command-line start: loads `path` (validated) before the message loop.
  void StartWith(const std::string& path, bool updateMode);

 public slots:
  void FormCreate();
  void Load1Click();
  void Saveas1Click();
  void Quit1Click();
  void DisplayAdd1Click();
  void ViewLabel();
  void About1Click();
  bool FormCloseQuery();
  void SaveText1Click();
  void SelectAll1Click();
  void DeselectAll1Click();
  void Xin1Click();
  void RangeVal1Click();
  void Positiveor0constr1Click();
  void Unconstrain1Click();
  void Dropdeselected1Click();
  void DropALL1Click();
  void PRBfileautomatch1Click();
  void TXTfileautomatch1Click();
  void Automatchonlyempty1Click();
  void Automatchall1Click();
  void OpenPRBtransferwindow1Click();
  void Window1Click();
  // The transfer window closed: back to normal mode.
  void TransferWindowClosed();
  void CommitPendingEdit();
  void RedrawRows();
  // The grid row handlers: one routine per family, the row as argument,
  // serving the ten rows' handlers named after it (Xenter0 .. Xenter9 are
  // Xenter(0) .. Xenter(9)).
  void MarkClick(int row);                   // MarkClick0 .. MarkClick9
  void Xenter(int row);                      // Xenter0 .. Xenter9
  void Xexit(int row);                       // Xexit0 .. Xexit9
  void Renter(int row);                      // Renter0 .. Renter9
  void Rexit(int row);                       // Rexit0 .. Rexit9
  bool XINeditKeyPress(int row, int key);    // XINedit0KeyPress .. XINedit9KeyPress
  bool RangeEditKeyPress(int row, int key);  // RangeEdit0KeyPress .. RangeEdit9KeyPress

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;
  void closeEvent(QCloseEvent* ev) override;
  void changeEvent(QEvent* ev) override;
  void keyPressEvent(QKeyEvent* ev) override;

 private:
  struct Row {
    QPushButton* mark;
    QLabel* p;
    QLabel* caption;
    QLineEdit* xin;
    QLabel* xout;
    QLineEdit* range;
    QLabel* err;
  };

  void BuildMenus();
  void BuildGrid();
  void AfterLoad();
  void ShowLastPage();
  void SetScrollBar();
  void BulkSetValueCommand(bool range);
  void BulkSetConstraintCommand(bool on);
  void AutoMergeCommand(int kind);
  // Redraws the X out and Err of the rows shown, not the edits.
  void ShowSolverValues();
  void EnterEdit(int row, bool range);
  void ExitEdit(int row, bool range);
  void Commit(int row, bool range);
  void Show(int row, bool range, const GridEdits::Commit& c);
  // Which grid row and edit a widget is.
  bool EditOf(const QObject* obj, int& row, bool& range) const;
  bool HandleGridKey(QObject* obj, int key);
  bool EditKeyPress(int row, bool range, int key);
  // The name picked in the save dialog without ".PRB"; nothing if cancelled.
  std::optional<std::string> SaveDialogName(bool preset);

  EditorSession session_;
  std::array<Row, 10> rows_{};
  QLabel* header_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  bool settingScroll_ = false;
  GridEdits edits_;
  TNumDlg* numDlg_ = nullptr;
  TXSelect* xselect_ = nullptr;
  // A window of its own beside the main one, not one of its children.
  std::unique_ptr<TDispMerge> dispMerge_;
  int savedTop_ = 0;  // the main window's place while the transfer window is open
  Qt::WindowStates savedState_;
  QAction* automatchOnlyEmpty_ = nullptr;
  QAction* automatchAll_ = nullptr;
  QAction* saveAs_ = nullptr;
  QAction* saveText_ = nullptr;
  QAction* displayAdd_ = nullptr;
  QAction* viewLabel_ = nullptr;
  QAction* window_ = nullptr;
  QMenu* edit_ = nullptr;
  QMenu* drop_ = nullptr;
  QMenu* merge_ = nullptr;
};

}  // namespace krv::pe
