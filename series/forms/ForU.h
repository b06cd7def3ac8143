// The column formula dialog; the worksheet fills and reads it.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::series {

class TForFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TForFrm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton *Button1, *Button2;
  QCheckBox* CheckBox1;
};

}  // namespace krv::series
