// The SOSI window TSOfrm: edits the problem's .SO file.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;
class TFindFrm;

class TSOfrm : public QDialog {
  Q_OBJECT

 public:
  TSOfrm(const std::string& problemName, const std::string& programDir, QWidget* parent = nullptr);

  void SetProblem(const std::string& problemName, const std::string& programDir) {
    problemName_ = problemName;
    programDir_ = programDir;
  }

  // The Find/Replace window that "Search/Repl" shows; it searches M1.
  void SetFindWindow(TFindFrm* find);

  // One opening: loads the file (or creates it) once, then runs modally.
  int Open();
  // After a parse error: shows the text the parser read, with the two
  // characters where scanning stopped selected; the file is not reloaded.
  int OpenAt(const std::string& text, size_t offset);
  // Shows the text marked as OpenAt does, without running modally.
  void ShowText(const std::string& text, size_t offset);

 public slots:
  void FormActivate();
  void Button1Click();
  void Button2Click();
  void Button3Click();

 protected:
  // Escape and the close box ask as "Cancel" does.
  void reject() override;

 private:
  void Backup();
  void HideFindWindow();

  std::string problemName_;
  std::string programDir_;
  TFindFrm* find_ = nullptr;
  QPlainTextEdit* M1;
  QPlainTextEdit* MemoBak;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
};
