// A horizontal up-down control: two arrow buttons over a position.
#pragma once

#include <QWidget>

class QToolButton;

namespace krv::view {

class UpDown : public QWidget {
  Q_OBJECT

 public:
  explicit UpDown(QWidget* parent = nullptr);
  int Position() const { return position_; }
  void SetPosition(int p);
  void SetMinimum(int m) { minimum_ = m; }

 signals:
  // `up` for the right arrow, else the left one.
  void Clicked(bool up);

 private:
  int position_ = 30;
  int minimum_ = 0;
  QToolButton* left_;
  QToolButton* right_;
};

}  // namespace krv::view
