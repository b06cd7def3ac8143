// The dialogs of the range in use: the point density (modal) and the two
// clicks that restrict the time range (non-modal, on top).
#pragma once

#include <QDialog>
#include <cstdint>

#include "viewer/time_range.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::view {

class TDensityDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TDensityDlg(QWidget* parent = nullptr);
  // Shows the range's density and its limit; exec() then returns Accepted
  // with Chosen() set when a valid density was entered.
  void FormActivate(const TimeRange& range);
  int32_t Chosen() const { return chosen_; }

 public slots:
  void Button1Click();
  void Button2Click();

 private:
  QLineEdit* edit1_;
  QLabel* label3_;
  int32_t minDensity_ = 1;
  int32_t chosen_ = 1;
};

class TTimeChgDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TTimeChgDlg(QWidget* parent = nullptr);
  // Set while the dialog waits for the upper bound.
  bool restrictStep = false;
  void SetPrompt(bool upper);

 signals:
  void Ok();
  void Cancelled();

 private:
  QLabel* label1_;
};

}  // namespace krv::view
