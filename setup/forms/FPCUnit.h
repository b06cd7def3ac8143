// TFPCFrm: asks where Free Pascal is installed and writes Helmsman's configuration file.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

class TFPCFrm : public QDialog {
  Q_OBJECT

 public:
  // `mainDir` is the installation's main directory (options.txt, PGM/).
  explicit TFPCFrm(const std::string& mainDir, QWidget* parent = nullptr);

  const std::string& ChosenDir() const { return chosenDir_; }

 public slots:
  void FormActivate();
  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string mainDir_;
  std::string chosenDir_;

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* Button1;
  QPushButton* Button2;
};
