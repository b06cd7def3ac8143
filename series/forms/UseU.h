// The row-use limits dialog.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace krv::series {

class SeriesStore;

class TUseDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TUseDlg(SeriesStore& store, QWidget* parent = nullptr);
  // Shows the limits; true when new ones were accepted.
  bool EditLimits();

  QLineEdit *Edit1, *Edit2;
  QPushButton *Button1, *Button2;

 public slots:
  void FormActivate();
  void Button1Click();

 private:
  SeriesStore& store_;
};

}  // namespace krv::series
