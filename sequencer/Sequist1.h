// Sequist's main window: the banner, the run log and the File menu.
#pragma once

#include <QMainWindow>

#include "preprocessor/log_writer.h"

class QLabel;
class QPlainTextEdit;

namespace krv::seq {

class TForm1 : public QMainWindow, private pp::LogView {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  pp::LogWriter& Log() { return log_; }

 public slots:
  // The File menu: choose a map, then run a pass on it.
  void Getfile();

 private:
  void LineAdded(const std::string& text) override;
  void LineReplaced(size_t index, const std::string& text) override;
  void FirstLineRemoved() override;

  pp::LogWriter log_;
  QLabel* label1_ = nullptr;
  QPlainTextEdit* logMemo_ = nullptr;
};

}  // namespace krv::seq
