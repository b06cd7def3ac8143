// Sequist's main window.
#include "sequencer/Sequist1.h"

#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include "platform/qt/latin1.h"
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
  logMemo_->setPlainText(platform::FromBytes(log_.Text()));
  log_.SetView(this);
}

TForm1::~TForm1() { log_.SetView(nullptr); }

void TForm1::Getfile() {
  auto map = ChooseMapFile();
  if (!map) return;
  platform::WaitCursor hourglass;
  RunSequencer(*map, ProblemPathFor(*map), log_);
}

void TForm1::LineAdded(const std::string& text) {
  logMemo_->appendPlainText(platform::FromBytes(text));
}

void TForm1::LineReplaced(size_t index, const std::string& text) {
  QTextBlock block = logMemo_->document()->findBlockByNumber(int(index));
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(platform::FromBytes(text));
}

void TForm1::FirstLineRemoved() {
  QTextCursor cursor(logMemo_->document()->firstBlock());
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

}  // namespace krv::seq
