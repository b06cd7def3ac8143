// The real-value entry.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::series {

class TRealEntry : public QDialog {
  Q_OBJECT
 public:
  explicit TRealEntry(QWidget* parent = nullptr);
  // Shows `value` under `prompt`; true and the new value on OK.
  bool EditValue(double& value, const std::string& prompt);

  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton *Button1, *Button2;
  double EnteredValue = 0;

 public slots:
  void FormActivate();
  void Button1Click();
};

}  // namespace krv::series
