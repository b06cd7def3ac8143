// Sequist's main window: the banner, the run log and the File menu.
#pragma once

#include <QMainWindow>

#include <memory>

#include "preprocessor/forms/log_memo.h"
#include "preprocessor/log_writer.h"

class QLabel;
class QPlainTextEdit;

namespace krv::seq {

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  pp::LogWriter& Log() { return log_; }

 public slots:
  // The File menu: choose a map, then run a pass on it.
  void Getfile();

 private:
  pp::LogWriter log_;
  QLabel* label1_ = nullptr;
  QPlainTextEdit* logMemo_ = nullptr;
  std::unique_ptr<pp::LogMemo> mirror_;
};

}  // namespace krv::seq
