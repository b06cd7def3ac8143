// The source editor: TE1 shows the problem's model source (.QTL), TE2 its
// generated procedures (.PSY), and TEditFrm ("Edit Source") saves or
// discards both together, shows each caret line, reaches the headings
// index and chooses what Find/Replace searches.
#pragma once

#include <QWidget>

#include "guide/forms/memo.h"
#include "guide/shell_state.h"

class QLabel;
class QPushButton;
class QMenuBar;
class TE3;
class TFindFrm;
class TSHFrm;
class TAeditFrm;
namespace krv::series {
class LsqControl;
}

// A source window: one memo filling it; reports when it becomes the active
// window. Made with the main window as its parent, it stays above that
// window, never above the program's dialogs and message boxes.
class SourceWindow : public QWidget {
  Q_OBJECT

 public:
  SourceWindow(const char* objectName, const char* caption, const char* memoName,
               QWidget* parent);
  krv::guide::Memo* Memo() const { return memo_; }

 signals:
  void Activated();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  krv::guide::Memo* memo_;
};

// "QTL Source File", memo M1.
class TE1 : public SourceWindow {
  Q_OBJECT
 public:
  explicit TE1(QWidget* parent = nullptr);
  krv::guide::Memo* M1;
};

// "PSY Pascal File", memo M2.
class TE2 : public SourceWindow {
  Q_OBJECT
 public:
  explicit TE2(QWidget* parent = nullptr);
  krv::guide::Memo* M2;
};

class TEditFrm : public QWidget {
  Q_OBJECT

 public:
  // The editor works on state.ProblemName + ".QTL" and ".PSY" in the
  // current directory.
  explicit TEditFrm(const krv::guide::ShellState& state, QWidget* parent = nullptr);
  // The other windows it works with; all made before the editor is used.
  void Attach(TFindFrm* find, TE1* qtl, TE2* psy, TE3* headings, TSHFrm* search);
  // "LSQ setup" scans these windows' texts and opens the least-squares
  // data-control dialog through `lsq`.
  void AttachLsq(TAeditFrm* anyFile, krv::series::LsqControl* lsq);

  bool IsOpen() const { return open_; }

 signals:
  // OK or Cancel closed the editor: the main window's buttons come back.
  void Closed();

 public slots:
  // "Edit": loads both memos from their files, backs them up and shows the
  // editor's windows. A file that cannot be read changes nothing; false then.
  bool FormShow();
  void Button1Click();  // "OK (save changes)"
  void Button2Click();  // "Cancel"
  void Button3Click();  // "Refresh Headings"
  void Button4Click();  // "Search headings"
  void Button5Click();  // "LSQ setup"
  void Search1Click();     // "SearchQTL"
  void SearchPSY1Click();  // "SearchPSY"
  void SearchBoth1Click(); // "SearchBoth"
  void ShowQtlLine();
  void ShowPsyLine();

 private:
  void AddEditMenu(QMenuBar* bar, const char* title, const char* prefix,
                   QPlainTextEdit* (TEditFrm::*memo)() const, Qt::ShortcutContext context);
  QPlainTextEdit* QtlMemo() const;
  QPlainTextEdit* PsyMemo() const;
  bool SaveIfModified(QPlainTextEdit* memo, QPlainTextEdit* backup, const std::string& path);
  void HideAll();

  const krv::guide::ShellState& state_;
  bool open_ = false;
  TFindFrm* find_ = nullptr;
  TE1* qtl_ = nullptr;
  TE2* psy_ = nullptr;
  TE3* headings_ = nullptr;
  TSHFrm* search_ = nullptr;
  TAeditFrm* anyFile_ = nullptr;
  krv::series::LsqControl* lsq_ = nullptr;

  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button5;
  QLabel* Label1;
  QLabel* Label2;
  krv::guide::Memo* Memo1;  // backup of the QTL memo, hidden
  krv::guide::Memo* Memo2;  // backup of the PSY memo, hidden
};
