// The Log window: the store's Log lines in a list, saved as a text file;
// "SELECT" lets a caller have the user pick a line.
#pragma once

#include <QDialog>
#include <string>

class QAction;
class QListWidget;

namespace krv::series {

class SeriesLog;

class TLogFrm : public QDialog {
  Q_OBJECT
 public:
  // Shows `log`, which must outlive the window, and follows its changes.
  explicit TLogFrm(SeriesLog& log, QWidget* parent = nullptr);
  ~TLogFrm() override;

  void Clear();
  void AddLine(const std::string& text);
  void AppendToLine(const std::string& text);

  QListWidget* ListBox1;
  QAction* File1;
  QAction* Close1;
  QAction* sELECT1;  // hidden unless a caller shows it

 public slots:
  void File1Click();
  void Close1Click();
  void sELECT1Click();

 private:
  void Follow();
  SeriesLog& log_;
};

}  // namespace krv::series
