// The LSQ run-options dialog.
#include "series/forms/TLSQrunfrm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/qt/latin1.h"

namespace krv::series {

using platform::FromBytes;
using platform::ToBytes;

namespace {

template <size_t N>
QGroupBox* RadioGroup(QWidget* parent, const char* name, const char* caption, QRadioButton* (&items)[N],
                      const char* const (&texts)[N]) {
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(name);
  auto* layout = new QVBoxLayout(box);
  for (size_t k = 0; k < N; ++k) {
    items[k] = new QRadioButton(texts[k], box);
    items[k]->setObjectName(QString("%1_%2").arg(name).arg(k));
    layout->addWidget(items[k]);
  }
  return box;
}

template <size_t N>
int Checked(QRadioButton* const (&items)[N]) {
  for (size_t k = 0; k < N; ++k)
    if (items[k]->isChecked()) return int(k);
  return 0;
}

}  // namespace

TLSQrunfrm::TLSQrunfrm(LsqControl& control, QWidget* parent) : QDialog(parent), control_(control) {
  setObjectName("LSQrunfrm");
  setWindowTitle("LSQ run options");
  setFixedSize(587, 427);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(16, 388, 89, 25);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(120, 388, 89, 25);
  const char* const runs[3] = {"One trial at starting parameter values", "Nonlinear search from starting parameters",
                               "Grid search over ranges of parameter values"};
  RG1 = RadioGroup(this, "RG1", "Run", RG1Items, runs);
  RG1->setGeometry(16, 12, 320, 110);
  const char* const observations[2] = {"Normal list of observations", "One observation only"};
  RG2 = RadioGroup(this, "RG2", "Observations", RG2Items, observations);
  RG2->setGeometry(16, 132, 240, 80);
  Label1 = new QLabel("Observation number = ", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(16, 222, 150, 21);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(170, 220, 80, 25);
  CB1 = new QCheckBox("Use STARTING.TTR", this);
  CB1->setObjectName("CB1");
  CB1->setGeometry(16, 260, 200, 21);
  CB3 = new QCheckBox("Convergence debugging", this);
  CB3->setObjectName("CB3");
  CB3->setGeometry(16, 288, 200, 21);
  CB3->setChecked(true);
  CB4 = new QCheckBox("Logarithmic grid", this);
  CB4->setObjectName("CB4");
  CB4->setGeometry(16, 316, 200, 21);
  SG1 = new QTableWidget(0, 2, this);
  SG1->setObjectName("SG1");
  SG1->setGeometry(268, 132, 305, 240);
  SG1->setHorizontalHeaderLabels({"Variable", "#Grid values"});
  SG1->setColumnWidth(0, 186);
  SG1->setColumnWidth(1, 112);
  SG1->verticalHeader()->hide();
  connect(Button1, &QPushButton::clicked, this, &TLSQrunfrm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  for (QRadioButton* b : RG1Items) connect(b, &QRadioButton::toggled, this, &TLSQrunfrm::RG1Click);
  for (QRadioButton* b : RG2Items) connect(b, &QRadioButton::toggled, this, &TLSQrunfrm::RG2Click);
  RG1Items[1]->setChecked(true);
  RG2Items[0]->setChecked(true);
}

void TLSQrunfrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TLSQrunfrm::FormActivate() {
  RunOptionEntries shown;
  std::string caption;
  bool ok = state_.FormActivate(control_.Store(), control_.Current, shown, caption);
  if (!caption.empty()) setWindowTitle(FromBytes(caption));
  // After a failed activation there is nothing the options could be written to.
  Button1->setEnabled(ok);
  if (!ok) return;
  RG1Items[shown.RunKind]->setChecked(true);
  RG2Items[shown.ObservationMode]->setChecked(true);
  Edit1->setText(FromBytes(shown.ObservationNumber));
  CB1->setChecked(shown.UseStartFile);
  CB3->setChecked(shown.ConvergenceDebug);
  CB4->setChecked(shown.LogGrid);
  SG1->setRowCount(int(shown.Names.size()));
  for (size_t k = 0; k < shown.Names.size(); ++k) {
    auto* name = new QTableWidgetItem(FromBytes(shown.Names[k]));
    SG1->setItem(int(k), 0, name);
    SG1->setItem(int(k), 1, new QTableWidgetItem(FromBytes(shown.Counts[k])));
  }
  UpdateRunOptionControls();
}

RunOptionEntries TLSQrunfrm::Entries() const {
  RunOptionEntries e;
  e.RunKind = Checked(RG1Items);
  e.ObservationMode = Checked(RG2Items);
  e.UseStartFile = CB1->isChecked();
  e.ConvergenceDebug = CB3->isChecked();
  e.LogGrid = CB4->isChecked();
  e.ObservationNumber = ToBytes(Edit1->text());
  for (int row = 0; row < SG1->rowCount(); ++row) {
    const QTableWidgetItem* name = SG1->item(row, 0);
    const QTableWidgetItem* count = SG1->item(row, 1);
    e.Names.push_back(name ? ToBytes(name->text()) : "");
    e.Counts.push_back(count ? ToBytes(count->text()) : "");
  }
  return e;
}

void TLSQrunfrm::Button1Click() {
  if (state_.Button1Click(control_.Store(), control_.Current, Entries())) accept();
}

void TLSQrunfrm::RG1Click() { UpdateRunOptionControls(); }

void TLSQrunfrm::RG2Click() { UpdateRunOptionControls(); }

void TLSQrunfrm::UpdateRunOptionControls() {
  RunOptionControls c =
      krv::series::UpdateRunOptionControls(control_.Current.RunEnabled, Checked(RG1Items), Checked(RG2Items));
  CB1->setVisible(c.CB1Visible);
  RG2->setVisible(c.RG2Visible);
  Edit1->setVisible(c.Edit1Visible);
  Label1->setVisible(c.Edit1Visible);
  CB4->setEnabled(c.CB4Enabled);
  SG1->setVisible(c.SG1Visible);
}

}  // namespace krv::series
