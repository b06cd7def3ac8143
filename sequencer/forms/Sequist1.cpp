// Sequist's main window.
#include "sequencer/forms/Sequist1.h"

#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "platform/qt/wait_cursor.h"
#include "sequencer/SEQCU1.h"

namespace krv::seq {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle("Sequist (sequencer)");
  setGeometry(152, 42, 460, 402);

  QAction* file = menuBar()->addAction("File");
  file->setObjectName("File1");
  connect(file, &QAction::triggered, this, &TForm1::Getfile);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  label1_ = new QLabel(kBanner, client);
  label1_->setObjectName("Label1");
  label1_->move(80, 0);
  label1_->adjustSize();
  logMemo_ = new QPlainTextEdit(client);
  logMemo_->setObjectName("LogMemo");
  logMemo_->setGeometry(32, 16, 385, 329);
  logMemo_->setReadOnly(true);
  logMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  logMemo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mirror_ = std::make_unique<pp::LogMemo>(log_, logMemo_);
}

TForm1::~TForm1() = default;

void TForm1::Getfile() {
  auto map = ChooseMapFile();
  if (!map) return;
  platform::WaitCursor hourglass;
  RunSequencer(*map, ProblemPathFor(*map), log_);
  mirror_->Flush();
}

}  // namespace krv::seq
