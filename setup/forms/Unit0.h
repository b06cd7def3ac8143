// TForm0: the installer's main window and its install sequence.
#pragma once

#include <QWidget>
#include <string>

class QDialog;
class QLabel;
class QPushButton;

class TForm0 : public QWidget {
  Q_OBJECT

 public:
  // `mainDir` is the main directory the package was unpacked into.
  explicit TForm0(const std::string& mainDir, QWidget* parent = nullptr);

  // The README window and the Free Pascal window, shown in turn by the
  // install sequence.
  void SetForms(QDialog* form1, QDialog* fpcFrm);

 public slots:
  void FormActivate();
  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string mainDir_;
  QDialog* form1_ = nullptr;
  QDialog* fpcFrm_ = nullptr;

  QLabel* Label1;
  QLabel* Label8;
  QLabel* Label2;
  QLabel* Label5;
  QLabel* Label3;
  QPushButton* Button1;
  QPushButton* Button2;
};
