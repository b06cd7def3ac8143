// The run options of the current least-squares problem, over the state
// and rules of series/LSQrunU.
#pragma once

#include <QDialog>

#include "series/LSQrunU.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace krv::series {

class TLSQrunfrm : public QDialog {
  Q_OBJECT
 public:
  // `control` holds the current record; the options are written into its store.
  explicit TLSQrunfrm(LsqControl& control, QWidget* parent = nullptr);
  LsqRunDialog& State() { return state_; }

  QPushButton* Button1;  // "OK"
  QPushButton* Button2;  // "Cancel"
  QGroupBox* RG1;
  QRadioButton* RG1Items[3];
  QGroupBox* RG2;
  QRadioButton* RG2Items[2];
  QLineEdit* Edit1;
  QLabel* Label1;
  QCheckBox* CB1;
  QCheckBox* CB3;
  QCheckBox* CB4;
  QTableWidget* SG1;

 public slots:
  void FormActivate();
  void Button1Click();
  void RG1Click();
  void RG2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateRunOptionControls();
  RunOptionEntries Entries() const;

  LsqControl& control_;
  LsqRunDialog state_;
};

}  // namespace krv::series
