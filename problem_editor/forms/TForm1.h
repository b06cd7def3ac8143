// Casewright's main window: file menu, the ten-row grid and its keys.
#pragma once

#include <QMainWindow>
#include <array>
#include <optional>
#include <string>

#include "problem_editor/EPROCS.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;

namespace krv::pe {

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
  void CommitPendingEdit();
  void RedrawRows();
  // One published handler per grid row, each calling its family's routine.
  void MarkClick0(); void MarkClick1(); void MarkClick2(); void MarkClick3(); void MarkClick4();
  void MarkClick5(); void MarkClick6(); void MarkClick7(); void MarkClick8(); void MarkClick9();
  void Xenter0(); void Xenter1(); void Xenter2(); void Xenter3(); void Xenter4();
  void Xenter5(); void Xenter6(); void Xenter7(); void Xenter8(); void Xenter9();
  void Xexit0(); void Xexit1(); void Xexit2(); void Xexit3(); void Xexit4();
  void Xexit5(); void Xexit6(); void Xexit7(); void Xexit8(); void Xexit9();
  void Renter0(); void Renter1(); void Renter2(); void Renter3(); void Renter4();
  void Renter5(); void Renter6(); void Renter7(); void Renter8(); void Renter9();
  void Rexit0(); void Rexit1(); void Rexit2(); void Rexit3(); void Rexit4();
  void Rexit5(); void Rexit6(); void Rexit7(); void Rexit8(); void Rexit9();
  bool XINedit0KeyPress(int key); bool XINedit1KeyPress(int key); bool XINedit2KeyPress(int key);
  bool XINedit3KeyPress(int key); bool XINedit4KeyPress(int key); bool XINedit5KeyPress(int key);
  bool XINedit6KeyPress(int key); bool XINedit7KeyPress(int key); bool XINedit8KeyPress(int key); bool XINedit9KeyPress(int key);
  bool RangeEdit0KeyPress(int key); bool RangeEdit1KeyPress(int key); bool RangeEdit2KeyPress(int key);
  bool RangeEdit3KeyPress(int key); bool RangeEdit4KeyPress(int key); bool RangeEdit5KeyPress(int key);
  bool RangeEdit6KeyPress(int key); bool RangeEdit7KeyPress(int key); bool RangeEdit8KeyPress(int key); bool RangeEdit9KeyPress(int key);

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
  // The remembered state of the X in or Range edit that has the focus.
  struct PendingEdit {
    std::string text;
    int row = 0;
    bool pending = false;
  };

  void BuildMenus();
  void BuildGrid();
  void AfterLoad();
  void ShowLastPage();
  void SetScrollBar();
  // Redraws the X out and Err of the rows shown, not the edits.
  void ShowSolverValues();
  void EnterEdit(int row, bool range);
  void ExitEdit(int row, bool range);
  bool Commit(int row, bool range);
  bool HandleGridKey(QObject* obj, int key);
  bool EditKeyPress(int row, bool range, int key);
  // The name picked in the save dialog without ".PRB"; nothing if cancelled.
  std::optional<std::string> SaveDialogName(bool preset);

  EditorSession session_;
  std::array<Row, 10> rows_{};
  QLabel* header_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  bool settingScroll_ = false;
  QLineEdit* refocusing_ = nullptr;  // an edit getting the focus back
  PendingEdit pendingX_, pendingR_;
  TNumDlg* numDlg_ = nullptr;
  TXSelect* xselect_ = nullptr;
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
