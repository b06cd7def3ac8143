// Foreparse's main window: the banner, the run log and the File and Debug menus.
#pragma once

#include <QMainWindow>

#include "preprocessor/PPU1.h"
#include "preprocessor/log_writer.h"

class QLabel;
class QPlainTextEdit;

namespace krv::pp {

class TForm1 : public QMainWindow, private LogView {
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
  void LineAdded(const std::string& text) override;
  void LineReplaced(size_t index, const std::string& text) override;
  void FirstLineRemoved() override;

  LogWriter log_;
  Preprocessor core_;
  QLabel* label1_ = nullptr;
  QPlainTextEdit* logMemo_ = nullptr;
};

}  // namespace krv::pp
