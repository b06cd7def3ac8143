// The window in which Helmsman shows a console program's output.
#include "guide/forms/console_window.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QVBoxLayout>

#include "guide/forms/memo.h"
#include "platform/qt/latin1.h"

namespace gd = krv::guide;
namespace pf = krv::platform;

namespace {
// The window keeps this many lines; the log keeps everything.
constexpr int kShownLines = 20000;
}  // namespace

ConsoleWindow::ConsoleWindow(const gd::ConsoleRun& run, QWidget* parent)
    : QWidget(parent, Qt::Window), process_(new QProcess(this)) {
  setObjectName("ConsoleFrm");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(pf::FromBytes(run.title));
  resize(640, 300);
  Output = new QPlainTextEdit(this);
  Output->setObjectName("Output");
  Output->setReadOnly(true);
  // The modeller may copy an error line out of it with the keys too.
  Output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  gd::GiveEditorLook(Output);
  Output->setMaximumBlockCount(kShownLines);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Output);

  QStringList args;
  for (const std::string& a : run.start.args) args << pf::FromBytes(a);
  process_->setProcessChannelMode(QProcess::MergedChannels);
  process_->setStandardInputFile(QProcess::nullDevice());
  // A session of its own: the program outlives this window and Helmsman,
  // and the signals of Helmsman's terminal do not reach it.
  process_->setChildProcessModifier([] { ::setsid(); });
  connect(process_, &QProcess::readyReadStandardOutput, this, &ConsoleWindow::ReadOutput);
  connect(process_, &QProcess::finished, this, [this] {
    ReadOutput();
    emit Ended();
  });
  process_->start(pf::FromBytes(run.start.program), args);
  started_ = process_->waitForStarted(10000);
  if (!started_) {
    Add("Could not start " + run.start.program + ": " + pf::ToBytes(process_->errorString()) + "\n");
    process_->disconnect(this);
  }
  show();
  raise();
}

ConsoleWindow::~ConsoleWindow() {
  process_->disconnect(this);
  if (!Running()) return;
  // Closing the window does not end the program: its output is drained
  // (the log goes on being written) until it ends. When Helmsman ends
  // first, only the shell that started it goes; the program and the log's
  // writer run on in their own session.
  QProcess* p = process_;
  p->setParent(QCoreApplication::instance());
  QObject::connect(p, &QProcess::readyReadStandardOutput, p, [p] { p->readAllStandardOutput(); });
  QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, p, [p] {
    p->kill();
    p->waitForFinished(1000);
  });
}

bool ConsoleWindow::Running() const { return process_->state() != QProcess::NotRunning; }

QString ConsoleWindow::Text() const { return Output->toPlainText(); }

void ConsoleWindow::ReadOutput() { Add(process_->readAllStandardOutput().toStdString()); }

void ConsoleWindow::Add(const std::string& bytes) {
  const std::string text = text_.Add(bytes);
  if (text.empty()) return;
  QScrollBar* bar = Output->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextCursor end(Output->document());
  end.movePosition(QTextCursor::End);
  end.insertText(pf::FromBytes(text));
  if (atEnd) bar->setValue(bar->maximum());
}
