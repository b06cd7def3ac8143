// The dialogs of the range in use.
#include "viewer/forms/range_dialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"

namespace krv::view {

using platform::FitLabels;
using platform::FromBytes;
using platform::Place;
using platform::ToBytes;

TDensityDlg::TDensityDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("DensityDlg");
  setWindowTitle("Point density in range for DSF or plotting:");
  setFixedSize(358, 131);
  Place(new QLabel("Number of  points used in range is based", this), "Label1", 8, 8, 340);
  Place(new QLabel("on  use factor of using every ", this), "Label2", 8, 28, 190);
  edit1_ = Place(new QLineEdit(this), "Edit1", 200, 26, 73);
  Place(new QLabel("point.", this), "Label5", 280, 28, 60);
  label3_ = Place(new QLabel(" ", this), "Label3", 8, 52, 340);
  Place(new QLabel("To obtain closer-spaced points than this reduce the range of _T.", this),
        "Label4", 8, 72, 345);
  auto* ok = Place(new QPushButton("OK", this), "Button1", 90, 98, 75);
  auto* cancel = Place(new QPushButton("Cancel", this), "Button2", 190, 98, 75);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &TDensityDlg::Button1Click);
  connect(cancel, &QPushButton::clicked, this, &TDensityDlg::Button2Click);
  FitLabels(this);
}

void TDensityDlg::FormActivate(const TimeRange& range) {
  minDensity_ = range.minDensity;
  chosen_ = range.density;
  edit1_->setText(QString::number(range.density));
  label3_->setText(FromBytes(DensityLimitText(range.minDensity)));
  FitLabels(this);
}

void TDensityDlg::Button1Click() {
  std::optional<int32_t> d = ParseDensityEntry(ToBytes(edit1_->text()), minDensity_);
  if (!d) {
    platform::Prompts().Beep();
    return;
  }
  chosen_ = *d;
  accept();
}

void TDensityDlg::Button2Click() { reject(); }

// A dialog of the main window, so it stays above it (the main window raises
// it again above a plot brought to the front) and never above other
// programs.
TTimeChgDlg::TTimeChgDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("TimeChgDlg");
  setWindowTitle("_T  Range Change:");
  setFixedSize(205, 54);
  setModal(false);
  auto* label1 = new QLabel("Move to UPPER   _T, then click:", this);
  QFont f = label1->font();
  f.setPointSize(10);
  label1->setFont(f);  // before its place, which takes the font's height
  label1_ = Place(label1, "Label1", 8, 4, 195);
  auto* ok = Place(new QPushButton("OK", this), "Button1", 24, 26, 75);
  auto* cancel = Place(new QPushButton("Cancel", this), "Button2", 112, 26, 75);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &TTimeChgDlg::Ok);
  connect(cancel, &QPushButton::clicked, this, &TTimeChgDlg::Cancelled);
  SetPrompt(true);
  FitLabels(this);
}

void TTimeChgDlg::SetPrompt(bool upper) {
  label1_->setText(upper ? "Move to UPPER   _T, then click:" : "Move to LOWER   _T, then click:");
}

}  // namespace krv::view
