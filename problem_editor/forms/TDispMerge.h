// The transfer window: the source problem's display list in four rows, from
// which "&Merge (F7)" copies one value block at a time onto the main grid.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>

#include "problem_editor/EPROCS.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;

namespace krv::pe {

class TXSelect;

class TDispMerge : public QMainWindow {
  Q_OBJECT
 public:
  TDispMerge(EditorSession& session, TXSelect& xselect, QWidget* parent);

  // Set by the main window: commit its pending edit, redraw it after a
  // transfer, leave transfer mode, take the focus back.
  std::function<void()> beforeTransfer, afterTransfer, closed, focusMain;

  void RedrawMergeRows();

 public slots:
  void File1Click();
  void DispAdd1Click();
  void DropALL1Click();
  void Merge1Click();
  void Window1Click();
  void SetMergeCursor(int row);

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;
  void keyPressEvent(QKeyEvent* ev) override;
  void closeEvent(QCloseEvent* ev) override;

 private:
  struct Row {
    QPushButton* mark;
    QLabel* caption;
    QLabel* values;
  };
  bool FormKeyDown(QObject* obj, int key);
  void SetScrollBar();

  EditorSession& session_;
  TXSelect& xselect_;
  std::array<Row, 4> rows_{};
  QLabel* count_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  bool settingScroll_ = false;
  QAction* dispAdd_ = nullptr;
  QAction* merge_ = nullptr;
  QMenu* drop_ = nullptr;
};

}  // namespace krv::pe
