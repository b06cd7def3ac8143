// The one-line text entry; the caller sets caption, label and text.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::series {

class TSimplFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TSimplFrm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton *Button1, *Button2;
};

}  // namespace krv::series
