// Foreparse's main window.
#include "preprocessor/forms/Foreparse1.h"

#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "platform/qt/wait_cursor.h"
#include "preprocessor/program_start.h"

namespace krv::pp {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), core_(log_) {
  setObjectName("Form1");
  setWindowTitle("Foreparse (preprocessor)");
  setGeometry(202, 119, 522, 402);
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  QAction* file = menuBar()->addAction("File");
  file->setObjectName("File1");
  connect(file, &QAction::triggered, this, &TForm1::Getfile);
  QAction* debug = menuBar()->addAction("Debug");
  debug->setObjectName("Debug1");
  connect(debug, &QAction::triggered, this, &TForm1::Debug1Click);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  label1_ = new QLabel(kBanner, client);
  label1_->setObjectName("Label1");
  label1_->move(144, 0);
  label1_->adjustSize();
  logMemo_ = new QPlainTextEdit(client);
  logMemo_->setObjectName("LogMemo");
  logMemo_->setGeometry(16, 24, 489, 313);
  logMemo_->setReadOnly(true);
  logMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  logMemo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mirror_ = std::make_unique<LogMemo>(log_, logMemo_);
}

TForm1::~TForm1() = default;

void TForm1::Getfile() {
  pp::Getfile(core_, [this](const std::function<void()>& run) {
    platform::WaitCursor hourglass;
    run();
    mirror_->Flush();
  });
}

void TForm1::Debug1Click() { pp::Debug1Click(core_); }

}  // namespace krv::pp
