// The series name and description dialog.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace krv::series {

class SeriesStore;

class TNameFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TNameFrm(SeriesStore& store, QWidget* parent = nullptr);
  // Names the series of `column` (made when the column has none); true on OK.
  bool EditColumn(int column);

  QLineEdit *Edit1, *Edit2, *Edit3;
  QPushButton *OKButton, *CanButton;

 public slots:
  void FormActivate();
  void OKButtonClick();

 private:
  SeriesStore& store_;
  int column_ = 0;
};

}  // namespace krv::series
