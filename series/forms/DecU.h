// The number display choice of worksheet columns.
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

namespace krv::series {

class TDecFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TDecFrm(QWidget* parent = nullptr);
  // -2 flexible, -1 scientific, 0..9 fixed places; true and the choice on OK.
  bool EditNumberDisplay(int& digits);

  QComboBox* ComboBox1;
  QPushButton *Button1, *Button2;
};

}  // namespace krv::series
