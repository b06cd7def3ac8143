// An up-down control.
#include "viewer/forms/up_down.h"

#include <QBoxLayout>
#include <QToolButton>

namespace krv::view {

UpDown::UpDown(QWidget* parent, Qt::Orientation orientation) : QWidget(parent) {
  bool across = orientation == Qt::Horizontal;
  // Top to bottom the up arrow comes first.
  auto* layout = new QBoxLayout(across ? QBoxLayout::LeftToRight : QBoxLayout::BottomToTop, this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  left_ = new QToolButton(this);
  left_->setArrowType(across ? Qt::LeftArrow : Qt::DownArrow);
  right_ = new QToolButton(this);
  right_->setArrowType(across ? Qt::RightArrow : Qt::UpArrow);
  // The arrows are clicked, never keyed.
  left_->setFocusPolicy(Qt::NoFocus);
  right_->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(left_);
  layout->addWidget(right_);
  connect(left_, &QToolButton::clicked, this, [this] {
    SetPosition(position_ - 1);
    emit Clicked(false);
  });
  connect(right_, &QToolButton::clicked, this, [this] {
    SetPosition(position_ + 1);
    emit Clicked(true);
  });
}

void UpDown::SetPosition(int p) { position_ = p < minimum_ ? minimum_ : p; }

}  // namespace krv::view
