// TAeditFrm, "Edit Any File": a plain text editor for any file, with the
// shared Find/Replace window and a guard against losing changes.
#pragma once

#include <QWidget>
#include <string>

#include "guide/forms/memo.h"

class TFindFrm;

class TAeditFrm : public QWidget {
  Q_OBJECT

 public:
  explicit TAeditFrm(QWidget* parent = nullptr);
  // The Find/Replace window; the memo becomes its any-file memo.
  void SetFindFrm(TFindFrm* find);

  const std::string& FileName() const { return fileName_; }

  // Asked only when the memo is modified: "Text Changed; Save?". True when
  // the caller may go on (No, or Yes and the text was saved); false when it
  // must stop (the save dialog was cancelled or the save failed).
  bool ConfirmSaveAnyFile();

  krv::guide::Memo* M1;

 signals:
  // "Any file line=" + the caret line, for the main window's label.
  void CaretLine(const QString& text);

 public slots:
  void New1Click();
  void Open1Click();
  void Save1Click();
  void SaveAs1Click();
  void Close1Click();
  void SearchorRepl1Click();
  void Cut1Click();
  void Copy1Click();
  void Paste1Click();
  void SelectAll1Click();
  void ShowCaretLine();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  void changeEvent(QEvent* event) override;

 private:
  bool SaveTo(const std::string& path);
  std::optional<std::string> AskSaveName();

  TFindFrm* find_ = nullptr;
  std::string fileName_;  // empty until a file is opened or saved
};
