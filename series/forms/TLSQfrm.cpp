// The LSQ data-control dialog.
#include "series/forms/TLSQfrm.h"

#include <QAction>
#include <QEvent>
#include <QListWidget>
#include <QPushButton>

#include "platform/qt/latin1.h"
#include "series/WkUnit.h"
#include "series/forms/TLSQrunfrm.h"
#include "series/forms/TLogFrm.h"
#include "series/forms/TWkFrm.h"

namespace krv::series {

TLSQfrm::TLSQfrm(LsqControl& control, QWidget* parent) : QDialog(parent), control_(control) {
  setObjectName("LSQfrm");
  setWindowTitle("LSQ data control");
  setFixedSize(360, 223);
  // Modal to the windows that were showing when it opened (its parent's);
  // the worksheet it opens, a window of its own, takes input beside it.
  setWindowModality(Qt::WindowModal);
  auto button = [this](const char* name, const char* caption, int x, int y, int w,
                       void (LsqControl::*command)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setGeometry(x, y, w, 25);
    b->setAutoDefault(false);
    // The command's object goes in as a plain pointer: capturing `this`
    // again in here left the slot reading the constructor's stack, where
    // this builder lived (AddressSanitizer, stack-buffer-underflow).
    LsqControl* control = &control_;
    connect(b, &QPushButton::clicked, this, [control, command] { (control->*command)(); });
    return b;
  };
  SetupBt = button("SetupBt", "New LSQ problem", 16, 12, 150, &LsqControl::SetupBtClick);
  OpenBt = button("OpenBt", "Open Worksheet", 16, 48, 150, &LsqControl::OpenBtClick);
  ShowWkBt = button("ShowWkBt", "Show Wks", 184, 48, 160, &LsqControl::ShowWkBtClick);
  CopyBt = button("CopyBt", "Copy data from similar problem in file", 16, 84, 328,
                  &LsqControl::CopyBtClick);
  CloseWksBt = button("CloseWksBt", "Close Worksheet, saving current problem", 16, 120, 328,
                      &LsqControl::CloseWksBtClick);
  RunBt = button("RunBt", "Set up for run", 16, 156, 150, &LsqControl::RunBtClick);
  CloseWinBt = button("CloseWinBt", "Close", 16, 190, 150, &LsqControl::CloseWinBtClick);
  control_.SetWindows(this);
  ButtonsChanged();
}

void TLSQfrm::SetWindows(TWkFrm* worksheet, TLogFrm* log, TLSQrunfrm* runOptions) {
  worksheet_ = worksheet;
  log_ = log;
  runOptions_ = runOptions;
}

TLSQfrm::~TLSQfrm() { control_.SetWindows(nullptr); }

void TLSQfrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  control_.FormActivate();
}

void TLSQfrm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) control_.FormActivate();
}

void TLSQfrm::reject() {
  if (isVisible()) control_.FormClose();
  QDialog::reject();
}

void TLSQfrm::ButtonsChanged() {
  const LsqButtons& b = control_.Buttons;
  SetupBt->setEnabled(b.SetupBt);
  OpenBt->setEnabled(b.OpenBt);
  ShowWkBt->setEnabled(b.ShowWkBt);
  CopyBt->setEnabled(b.CopyBt);
  CloseWksBt->setEnabled(b.CloseWksBt);
  RunBt->setEnabled(b.RunBt);
  CloseWinBt->setEnabled(b.CloseWinBt);
}

void TLSQfrm::ShowDialog(const std::string& caption) {
  setWindowTitle(platform::FromBytes(caption));
  exec();
}

void TLSQfrm::CloseDialog() { reject(); }

void TLSQfrm::ShowWorksheet() {
  worksheet_->showMaximized();
  worksheet_->raise();
  worksheet_->activateWindow();
}

void TLSQfrm::BringUpWorksheet() {
  worksheet_->show();
  worksheet_->raise();
  worksheet_->activateWindow();
}

bool TLSQfrm::CommitWorksheetCell() {
  worksheet_->SG1->CommitEditor();
  worksheet_->SG1->DropEditor();
  control_.Store().FailureFlag = false;
  return worksheet_->State().CommitCurrentCell();
}

bool TLSQfrm::CloseWorksheet() { return worksheet_->close(); }

std::optional<std::string> TLSQfrm::SelectLogLine(const std::string& caption) {
  QString before = log_->windowTitle();
  log_->setWindowTitle(platform::FromBytes(caption));
  log_->sELECT1->setVisible(true);
  int result = log_->exec();
  log_->sELECT1->setVisible(false);
  log_->setWindowTitle(before);
  // SELECT with no line marked chooses nothing.
  QListWidgetItem* line = log_->ListBox1->currentItem();
  if (result != QDialog::Accepted || !line || !line->isSelected()) return std::nullopt;
  return platform::ToBytes(line->text());
}

bool TLSQfrm::RunOptions() { return runOptions_->exec() == QDialog::Accepted; }

}  // namespace krv::series
