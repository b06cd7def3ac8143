// The window in which Helmsman shows a console program's output (the
// compile batch, the solver) when there is no terminal window: read-only,
// filled as the output comes, kept until the modeller closes it.
#pragma once

#include <QWidget>

#include "guide/console_run.h"

class QPlainTextEdit;
class QProcess;

class ConsoleWindow : public QWidget {
  Q_OBJECT

 public:
  // Starts `run` in the current directory and shows the window.
  ConsoleWindow(const krv::guide::ConsoleRun& run, QWidget* parent);
  ~ConsoleWindow() override;

  // False when the program could not be started; the window says why.
  bool Started() const { return started_; }
  bool Running() const;
  QString Text() const;

  QPlainTextEdit* Output;

 signals:
  // The program has ended (its files may have changed).
  void Ended();

 private:
  void ReadOutput();
  void Add(const std::string& bytes);

  krv::guide::ConsoleText text_;
  QProcess* process_;
  bool started_ = false;
};
