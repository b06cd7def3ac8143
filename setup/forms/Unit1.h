// TForm1: the installer's README window, which also puts Helmsman on the desktop.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TForm1 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm1(const std::string& mainDir, QWidget* parent = nullptr);

 public slots:
  void FormActivate();
  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string mainDir_;
  QLabel* Label1;
  QPlainTextEdit* Memo1;
  QPushButton* Button1;
  QPushButton* Button2;
};
