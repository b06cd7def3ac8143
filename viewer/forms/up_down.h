// An up-down control: two arrow buttons over a position, side by side
// (left and right arrows) or one above the other (up and down).
#pragma once

#include <QWidget>

class QToolButton;

namespace krv::view {

class UpDown : public QWidget {
  Q_OBJECT

 public:
  explicit UpDown(QWidget* parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);
  int Position() const { return position_; }
  void SetPosition(int p);
  void SetMinimum(int m) { minimum_ = m; }

 signals:
  // `up` for the right (or up) arrow, else the left (or down) one.
  void Clicked(bool up);

 private:
  int position_ = 30;
  int minimum_ = 0;
  QToolButton* left_;
  QToolButton* right_;
};

}  // namespace krv::view
