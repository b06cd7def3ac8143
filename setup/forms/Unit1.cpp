// TForm1: the installer's README window, which also puts Helmsman on the desktop.
#include "setup/forms/Unit1.h"

#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "platform/qt/latin1.h"
#include "setup/desktop_entry.h"

namespace pf = krv::platform;
namespace st = krv::setup;

TForm1::TForm1(const std::string& mainDir, QWidget* parent) : QDialog(parent), mainDir_(mainDir) {
  setObjectName("Form1");
  setWindowTitle("Setup for Kravenor");
  setGeometry(200, 108, 583, 356);
  Label1 = new QLabel("ReadMe.txt :", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(4, 4, 300, 20);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(4, 28, 575, 263);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The lines as written; a long one gets a horizontal scroll bar.
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Button1 = new QPushButton("Create Icon", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(120, 306, 130, 32);
  Button2 = new QPushButton("Close", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(333, 306, 130, 32);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  setTabOrder(Button1, Button2);
  Button1->setFocus();
}

void TForm1::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TForm1::FormActivate() {
  std::string text;
  // A missing README is reported; the window still opens.
  if (st::LoadReadme(mainDir_, text)) Memo1->setPlainText(pf::FromBytes(text));
  Button1->setFocus();
}

void TForm1::Button1Click() {
  const QByteArray desktop =
      QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
  st::CreateShellLink(desktop.toStdString(), mainDir_);
  accept();
}

void TForm1::Button2Click() { reject(); }
