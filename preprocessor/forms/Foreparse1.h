// Foreparse's main window: the banner, the run log and the File and Debug menus.
#pragma once

#include <QMainWindow>

#include "preprocessor/PPU1.h"
#include <memory>

#include "preprocessor/forms/log_memo.h"
#include "preprocessor/log_writer.h"

class QLabel;
class QPlainTextEdit;

namespace krv::pp {

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  Preprocessor& Core() { return core_; }
  LogWriter& Log() { return log_; }

 public slots:
  void Getfile();
  void Debug1Click();

 private:
  LogWriter log_;
  Preprocessor core_;
  QLabel* label1_ = nullptr;
  QPlainTextEdit* logMemo_ = nullptr;
  std::unique_ptr<LogMemo> mirror_;
};

}  // namespace krv::pp
