// The variable selection dialog: number range and name mask.
#pragma once

#include <QDialog>
#include <QString>

#include "viewer/viewer_state.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::view {

class TXSelect : public QDialog {
  Q_OBJECT

 public:
  explicit TXSelect(ViewerState& state, QWidget* parent = nullptr);

 signals:
  // A valid selection was made: the list and its scroll bar need redrawing.
  void Selected();

 public slots:
  void XSELSetup();
  void XSelOK();
  void CancelButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  ViewerState& state_;
  QLabel* label1_;
  QLabel* label2_;
  QLabel* label3_;
  QLineEdit* begXNUM_;
  QLineEdit* endXNUM_;
  QLineEdit* xSelectStr_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QString shownFirst_;
  QString shownLast_;
};

}  // namespace krv::view
