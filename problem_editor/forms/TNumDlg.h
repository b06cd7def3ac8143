// The number-entry dialog: one value edited as text, accepted only as a number.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::pe {

class TNumDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TNumDlg(QWidget* parent = nullptr);

  // Runs the dialog on `value`; changes it only when a number is accepted.
  bool EditRealValue(const std::string& prompt, double& value);

 public slots:
  void OKButtonClick();

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;

 private:
  QLabel* prompt_;
  QLineEdit* edit_;
  QPushButton* ok_;
  QPushButton* cancel_;
  double accepted_ = 0;
  bool acceptedFlag_ = false;
  std::string remembered_;
};

}  // namespace krv::pe
