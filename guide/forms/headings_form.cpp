// The headings index windows: the list and its search box.
#include "guide/forms/headings_form.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "guide/headings.h"
#include "platform/qt/latin1.h"
#include "platform/qt/wait_cursor.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

TE3::TE3(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("E3");
  setWindowTitle("Procedures and Functions");
  resize(816, 153);
  M3 = new gd::Memo(this);
  M3->setObjectName("M3");
  M3->setReadOnly(true);
  M3->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(M3);
  connect(M3, &gd::Memo::DoubleClicked, this, &TE3::M3DblClick);
}

void TE3::BuildHeadingsList() {
  if (!source_) return;
  pf::WaitCursor busy;
  gd::SetMemoText(M3, gd::BuildHeadingsList(gd::MemoText(source_)));
}

void TE3::M3DblClick() {
  if (!source_) return;
  auto line = gd::HeadingJumpLine(gd::MemoText(M3), gd::MemoSelStart(M3));
  if (!line) return;
  gd::SelectInMemo(source_, gd::LineStart(gd::MemoText(source_), *line), 3);
  source_->activateWindow();
  source_->setFocus();
}

TSHFrm::TSHFrm(TE3* list, QWidget* parent)
    : QWidget(parent, Qt::Dialog), list_(list) {
  setObjectName("SHFrm");
  setWindowTitle("Search Headigs");
  setFixedSize(260, 72);
  Sval = new QLineEdit(this);
  Sval->setObjectName("Sval");
  Sval->setGeometry(8, 8, 244, 23);
  cButton = new QPushButton("Clear entry", this);
  cButton->setObjectName("cButton");
  cButton->setGeometry(8, 40, 100, 25);
  cButton->setAutoDefault(false);
  connect(Sval, &QLineEdit::textChanged, this, &TSHFrm::SvalChange);
  connect(cButton, &QPushButton::clicked, this, &TSHFrm::cButtonClick);
}

void TSHFrm::SearchHeadings() {
  const std::string search = pf::ToBytes(Sval->text());
  if (auto hit = gd::SearchHeadings(gd::MemoText(list_->M3), search, lastHit_))
    gd::SelectInMemo(list_->M3, *hit, search.size());
}

void TSHFrm::SvalChange() { SearchHeadings(); }

void TSHFrm::cButtonClick() { Sval->clear(); }

void TSHFrm::closeEvent(QCloseEvent* event) {
  Sval->clear();
  QWidget::closeEvent(event);
}
