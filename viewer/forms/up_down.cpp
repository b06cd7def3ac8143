// A horizontal up-down control.
#include "viewer/forms/up_down.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace krv::view {

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  left_ = new QToolButton(this);
  left_->setArrowType(Qt::LeftArrow);
  right_ = new QToolButton(this);
  right_->setArrowType(Qt::RightArrow);
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
