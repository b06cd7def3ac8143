// The worksheet window: the header list, the check boxes and labels, the
// column-selection prompt, the grid SG1 and the menus. The state and its
// rules live in the Worksheet (series/WkUnit.h); this window shows it and
// formats only the cells it paints.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QMainWindow>
#include <QTableView>
#include <functional>
#include <string>

#include "series/WkUnit.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;

namespace krv::series {

class TSerFrm;
class TLogFrm;
class TTVfrm;
class TNameFrm;
class TUseDlg;
class TRealEntry;
class TSimplFrm;
class TDecFrm;
class TForFrm;

// The dialogs the worksheet uses; all made once at start.
struct WorksheetDialogs {
  TSerFrm* SerFrm = nullptr;
  TLogFrm* LogFrm = nullptr;
  TTVfrm* TVfrm = nullptr;
  TNameFrm* NameFrm = nullptr;
  TUseDlg* UseDlg = nullptr;
  TRealEntry* RealEntry = nullptr;
  TSimplFrm* SimplFrm = nullptr;
  TDecFrm* DecFrm = nullptr;
  TForFrm* ForFrm = nullptr;
};

// How a cell's text is drawn in `width` pixels: as it stands when it fits;
// otherwise without its padding blanks against the right edge, where the
// padding would have put it, and in a smaller size where even that is too
// wide (the font's blanks and digits may be wider than those the column
// widths were made for). A value is never cut off.
struct CellLook {
  QString text;
  QFont font;
  Qt::Alignment align;
};
CellLook FitCellText(const QString& text, const QFont& font, int width);

// Rows are grid rows 1..12401 (indices -400..12000). The columns model
// shows the 510 worksheet columns; the X model the X values, with the
// index labels as its row headers.
class WorksheetGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  WorksheetGridModel(Worksheet& ws, bool xValues, QObject* parent);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void ColumnChanged(int column);
  void CellChanged(int column, int index);
  void AllChanged();
  // Cells formatted since the count was last cleared.
  mutable long cellsAsked = 0;

 private:
  int GridColumn(int column) const { return xValues_ ? 1 : column + 2; }
  Worksheet& ws_;
  bool xValues_;
};

// The grid view: a cursor move asks first, Escape and leaving are told.
class WorksheetGridView : public QTableView {
  Q_OBJECT
 public:
  using QTableView::QTableView;
  // May the cursor move to `index`? Set by the window.
  std::function<bool(const QModelIndex&)> canMove;
  // Puts the open editor's text into the model; true when one was open.
  bool CommitEditor();
  // Closes the open editor without storing its text.
  void DropEditor();

 signals:
  void EscapePressed();

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
};

class TWkFrm : public QMainWindow, private WorksheetWindow {
  Q_OBJECT
 public:
  TWkFrm(Worksheet& ws, QWidget* parent = nullptr);
  ~TWkFrm() override;
  void SetDialogs(const WorksheetDialogs& dialogs) { dialogs_ = dialogs; }
  void SetHelp(std::function<void()> help) { help_ = std::move(help); }
  Worksheet& State() { return ws_; }

  WorksheetGridView* SG1;
  QTableView* SG1Fixed;  // the fixed columns: index labels and X values
  WorksheetGridModel *CellModel, *XModel;
  QListWidget* ListBox1;
  QGroupBox* NameSelRG;
  QRadioButton *ViewNames, *ViewFormulas;
  QCheckBox *YofXCheckB, *XautCheckB;
  QLabel *XnameLbl, *Label4, *DSDirLbl, *Label1, *RowUseLbl;
  QGroupBox* CSelGroup;
  QLineEdit *Edit1, *Edit2;
  QLabel* Label2;
  QPushButton *CSelOK, *CSelCan;
  // Menu items by their component names.
  QAction* Item(const char* name) const;

 public slots:
  void FormCreate();
  void CSelOKClick();
  void CSelCanClick();
  void ListBox1Click();
  void ListBox1DblClick();
  // Menu commands.
  void ReadTxtClick();
  void ReadWksClick();
  void WriteTxtHeadersClick();
  void WriteTxtNoHeadersClick();
  void WriteWksClick();
  void NameClick();
  void SaveClick();
  void SeriesListClick();
  void LoadSeriesClick();
  void ReplaceSeriesClick();
  void EraseSeriesClick();
  void YfunctOfXClick();
  void FulldetailsClick();
  void SetCurrentDSDirClick();
  void TreelstClick();
  void MakeDSDirClick();
  void DeleteDSDirClick();
  void XSetClick();
  void YofXSetClick();
  void ClearXClick();
  void ChangeAllDecimalSpecsClick();
  void DecimalDisplayClick();
  void OldStyleClick();
  void UseLimsClick();
  void HelpClick();
  void ZeroClick();
  void TopClick();
  void BottomClick();
  void HIDEClick();
  void RecalcAllClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // WorksheetWindow
  void ColumnChanged(int column) override;
  void CellChanged(int column, int index) override;
  void HeadersChanged() override;
  void LabelsChanged() override;
  void PromptChanged() override;
  void ViewMoved() override;
  bool EditSeriesName() override;
  bool EditNumberDisplay(int& digits) override;
  bool EditValue(double& value, const std::string& prompt) override;
  bool EditFormula(const std::string& label, std::string& text, bool& computeNow) override;

  void BuildMenus();
  void WriteTxt(uint8_t code);
  QAction* AddItem(QMenu* menu, const char* caption, const char* name, void (TWkFrm::*slot)() = nullptr);
  // Puts typed text into the cell, then commits the cursor cell.
  void Commit();
  void FlushEditor();
  void ShowLog();
  std::string CurrentDSDirAll() const;
  bool GridMove(const QModelIndex& to);
  void SelectionMoved();
  void FocusChanged(QWidget* old, QWidget* now);

  Worksheet& ws_;
  WorksheetDialogs dialogs_;
  std::function<void()> help_;
  bool syncing_ = false;  // the window follows the state: no events back
  std::string pickedPath_;
};

}  // namespace krv::series
