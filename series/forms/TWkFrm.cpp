// The worksheet window.
#include "series/forms/TWkFrm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <map>
#include <tuple>

#include "platform/qt/form_parts.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "series/forms/DecU.h"
#include "series/forms/ForU.h"
#include "series/forms/NameU.h"
#include "series/forms/REntU.h"
#include "series/forms/SerUnit.h"
#include "series/forms/SimpU.h"
#include "series/forms/TLogFrm.h"
#include "series/forms/UseU.h"
#include "series/worksheet_io.h"

namespace krv::series {

using platform::FromBytes;
using platform::MakeLabel;
using platform::ToBytes;

// ---- The grid's models ----

WorksheetGridModel::WorksheetGridModel(Worksheet& ws, bool xValues, QObject* parent)
    : QAbstractTableModel(parent), ws_(ws), xValues_(xValues) {}

int WorksheetGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kGridRowCount - 1;
}

int WorksheetGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : xValues_ ? 1 : kColumnCount;
}

QVariant WorksheetGridModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  ++cellsAsked;
  std::string text = ws_.GridText(GridColumn(index.column()), index.row() + 1);
  // The editor starts from the text without its alignment blanks.
  if (role == Qt::EditRole) text.erase(0, text.find_first_not_of(' ') == std::string::npos ? text.size() : text.find_first_not_of(' '));
  return FromBytes(text);
}

QVariant WorksheetGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return FromBytes(ws_.GridText(GridColumn(section), 0));
  return FromBytes(ws_.GridText(0, section + 1));
}

Qt::ItemFlags WorksheetGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!xValues_ && index.isValid() && !ws_.SingleSelectActive && !ws_.RangeSelectActive)
    f |= Qt::ItemIsEditable;
  return f;
}

bool WorksheetGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (xValues_ || role != Qt::EditRole || !index.isValid()) return false;
  ws_.SetCellText(index.column(), ws_.IndexOfRow(index.row() + 1), ToBytes(value.toString()));
  return true;
}

void WorksheetGridModel::ColumnChanged(int column) {
  int c = xValues_ ? 0 : column;
  emit dataChanged(index(0, c), index(rowCount() - 1, c));
  emit headerDataChanged(Qt::Horizontal, c, c);
}

void WorksheetGridModel::CellChanged(int column, int wsIndex) {
  QModelIndex i = index(ws_.RowOf(wsIndex) - 1, xValues_ ? 0 : column);
  emit dataChanged(i, i);
}

void WorksheetGridModel::AllChanged() {
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

// ---- The grid view ----

bool WorksheetGridView::CommitEditor() {
  QWidget* editor = indexWidget(currentIndex());
  if (!editor) return false;
  commitData(editor);
  return true;
}

void WorksheetGridView::DropEditor() {
  if (QWidget* editor = indexWidget(currentIndex())) QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QModelIndex WorksheetGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  QModelIndex to = QTableView::moveCursor(action, modifiers);
  if (to.isValid() && to != currentIndex() && canMove && !canMove(to)) return currentIndex();
  return to;
}

void WorksheetGridView::mousePressEvent(QMouseEvent* event) {
  QModelIndex to = indexAt(event->position().toPoint());
  if (to.isValid() && to != currentIndex() && canMove && !canMove(to)) {
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
}

void WorksheetGridView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && state() != EditingState) {
    emit EscapePressed();
    return;
  }
  QTableView::keyPressEvent(event);
}

void WorksheetGridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTableView::closeEditor(editor, hint);
  if (hint == QAbstractItemDelegate::RevertModelCache) emit EscapePressed();
}

// ---- Painting ----

CellLook FitCellText(const QString& text, const QFont& font, int width) {
  if (QFontMetrics(font).horizontalAdvance(text) <= width) return {text, font, Qt::AlignLeft};
  CellLook look{text.trimmed(), font, Qt::AlignRight};
  while (QFontMetrics(look.font).horizontalAdvance(look.text) > width && look.font.pointSizeF() > 5)
    look.font.setPointSizeF(look.font.pointSizeF() - 0.5);
  return look;
}

// Draws a cell's text as FitCellText lays it out, without the style's
// per-cell layout work: a page of cells is painted at every scroll step, so
// the size found for a text that does not fit is kept for the next text of
// that length (the grid's font is fixed-pitch).
class CellPainter : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (option.state & QStyle::State_Selected) painter->fillRect(option.rect, option.palette.highlight());
    QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;
    painter->setPen(option.state & QStyle::State_Selected ? option.palette.color(QPalette::HighlightedText)
                                                          : option.palette.color(QPalette::Text));
    const QRect room = option.rect.adjusted(2, 0, -2, 0);
    if (painter->fontMetrics().horizontalAdvance(text) <= room.width()) {
      painter->drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
      return;
    }
    const QString value = text.trimmed();
    if (painter->font() != font_) {
      font_ = painter->font();
      fitted_.clear();
    }
    const std::pair<int, int> key{room.width(), int(value.size())};
    auto kept = fitted_.find(key);
    if (kept == fitted_.end()) kept = fitted_.emplace(key, FitCellText(text, font_, room.width())).first;
    const CellLook& look = kept->second;
    const bool smaller = look.font != painter->font();
    if (smaller) {
      painter->save();
      painter->setFont(look.font);
    }
    painter->drawText(room, look.align | Qt::AlignVCenter | Qt::TextSingleLine, value);
    if (smaller) painter->restore();
  }

 private:
  mutable QFont font_;
  mutable std::map<std::pair<int, int>, CellLook> fitted_;  // by cell width and text length
};

// ---- The window ----

namespace {

QFont FixedFont() {
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);  // a fixed pitch where Courier New is missing
  return font;
}

}  // namespace

TWkFrm::TWkFrm(Worksheet& ws, QWidget* parent) : QMainWindow(parent), ws_(ws) {
  setObjectName("WkFrm");
  setWindowTitle("Worksheet");
  setWindowFlag(Qt::Window);
  auto* central = new QWidget(this);
  setCentralWidget(central);

  ListBox1 = new QListWidget(central);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setFont(FixedFont());
  ListBox1->setFixedHeight(ListBox1->fontMetrics().height() * kHeaderLines + 8);
  ListBox1->setMinimumWidth(520);
  for (int k = 0; k < kHeaderLines; ++k) ListBox1->addItem(QString());

  NameSelRG = new QGroupBox(central);
  NameSelRG->setObjectName("NameSelRG");
  ViewNames = new QRadioButton("View Names", NameSelRG);
  ViewNames->setObjectName("ViewNames");
  ViewFormulas = new QRadioButton("View Formulas", NameSelRG);
  ViewFormulas->setObjectName("ViewFormulas");
  ViewNames->setChecked(true);
  auto* rg = new QVBoxLayout(NameSelRG);
  rg->addWidget(ViewNames);
  rg->addWidget(ViewFormulas);
  YofXCheckB = new QCheckBox("y(x)", central);
  YofXCheckB->setObjectName("YofXCheckB");
  XautCheckB = new QCheckBox("xauto", central);
  XautCheckB->setObjectName("XautCheckB");
  XautCheckB->setEnabled(false);
  XnameLbl = MakeLabel(central, "XnameLbl");
  Label4 = MakeLabel(central, "Label4");
  DSDirLbl = MakeLabel(central, "DSDirLbl");
  Label1 = MakeLabel(central, "Label1", "Row use limits");
  RowUseLbl = MakeLabel(central, "RowUseLbl");

  CSelGroup = new QGroupBox("Select Column(s)", central);
  CSelGroup->setObjectName("CSelGroup");
  Edit1 = new QLineEdit(CSelGroup);
  Edit1->setObjectName("Edit1");
  Label2 = MakeLabel(CSelGroup, "Label2", "to");
  Edit2 = new QLineEdit(CSelGroup);
  Edit2->setObjectName("Edit2");
  for (QLineEdit* e : {Edit1, Edit2}) e->setMaximumWidth(50);
  CSelOK = new QPushButton("OK", CSelGroup);
  CSelOK->setObjectName("CSelOK");
  CSelCan = new QPushButton("Cancel", CSelGroup);
  CSelCan->setObjectName("CSelCan");
  auto* sel = new QHBoxLayout(CSelGroup);
  for (QWidget* w : std::initializer_list<QWidget*>{Edit1, Label2, Edit2, CSelOK, CSelCan}) sel->addWidget(w);
  CSelGroup->hide();

  CellModel = new WorksheetGridModel(ws_, false, this);
  XModel = new WorksheetGridModel(ws_, true, this);
  SG1 = new WorksheetGridView(central);
  SG1->setObjectName("SG1");
  SG1->setModel(CellModel);
  SG1Fixed = new QTableView(central);
  SG1Fixed->setObjectName("SG1Fixed");
  SG1Fixed->setModel(XModel);
  for (QTableView* v : {static_cast<QTableView*>(SG1), SG1Fixed}) {
    v->setFont(FixedFont());
    v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    v->verticalHeader()->setDefaultSectionSize(18);
    v->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    v->horizontalHeader()->setDefaultSectionSize(79);
    v->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    v->setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    v->setWordWrap(false);
    v->setItemDelegate(new CellPainter(v));
  }
  SG1->verticalHeader()->hide();
  SG1->setSelectionMode(QAbstractItemView::SingleSelection);
  SG1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                       QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  SG1Fixed->verticalHeader()->setFixedWidth(50);
  SG1Fixed->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SG1Fixed->setFocusPolicy(Qt::NoFocus);
  SG1Fixed->setSelectionMode(QAbstractItemView::NoSelection);
  SG1Fixed->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1Fixed->setFixedWidth(50 + 79 + 2 * SG1Fixed->frameWidth());
  SG1Fixed->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // rows line up with SG1's
  int gridHeight = 400;
  if (QScreen* screen = QApplication::primaryScreen()) gridHeight = std::max(200, screen->geometry().height() - 250);
  SG1->setMinimumHeight(std::min(gridHeight, 600));

  auto* top = new QGridLayout;
  top->addWidget(ListBox1, 0, 0, 4, 1);
  top->addWidget(NameSelRG, 0, 1, 2, 1);
  top->addWidget(YofXCheckB, 0, 2);
  top->addWidget(XautCheckB, 1, 2);
  top->addWidget(XnameLbl, 2, 1, 1, 3);
  top->addWidget(Label4, 0, 3);
  top->addWidget(DSDirLbl, 1, 3);
  auto* rowUse = new QHBoxLayout;
  rowUse->addWidget(Label1);
  rowUse->addWidget(RowUseLbl);
  rowUse->addStretch();
  top->addLayout(rowUse, 3, 1, 1, 3);
  top->addWidget(CSelGroup, 4, 0, 1, 4);
  top->setColumnStretch(3, 1);
  auto* grid = new QHBoxLayout;
  grid->setSpacing(0);
  grid->addWidget(SG1Fixed);
  grid->addWidget(SG1, 1);
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(top);
  layout->addLayout(grid, 1);

  BuildMenus();

  // The fixed columns scroll with the rows of the grid.
  connect(SG1->verticalScrollBar(), &QScrollBar::valueChanged, SG1Fixed->verticalScrollBar(), &QScrollBar::setValue);
  connect(SG1Fixed->verticalScrollBar(), &QScrollBar::valueChanged, SG1->verticalScrollBar(), &QScrollBar::setValue);
  auto topLeft = [this] {
    if (!syncing_) ws_.SG1TopLeftChanged(SG1->horizontalScrollBar()->value() + 2, SG1->verticalScrollBar()->value() + 1);
  };
  connect(SG1->verticalScrollBar(), &QScrollBar::valueChanged, this, topLeft);
  connect(SG1->horizontalScrollBar(), &QScrollBar::valueChanged, this, topLeft);
  SG1->canMove = [this](const QModelIndex& to) { return GridMove(to); };
  connect(SG1, &WorksheetGridView::EscapePressed, this, [this] { ws_.SG1KeyPress(); });
  connect(SG1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { SelectionMoved(); });
  connect(qApp, &QApplication::focusChanged, this, &TWkFrm::FocusChanged);
  connect(ListBox1, &QListWidget::itemClicked, this, &TWkFrm::ListBox1Click);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TWkFrm::ListBox1DblClick);
  connect(ViewNames, &QRadioButton::toggled, this, [this] { ws_.NameSelClick(ViewFormulas->isChecked()); });
  connect(YofXCheckB, &QCheckBox::clicked, this, [this](bool on) {
    FlushEditor();
    ws_.YofXClick(on);
    XautCheckB->setEnabled(on);
    if (!on) XautCheckB->setChecked(false);
  });
  connect(XautCheckB, &QCheckBox::clicked, this, [this](bool on) {
    FlushEditor();
    ws_.XautClick(on);
  });
  connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& t) { ws_.Edit1 = ToBytes(t); });
  connect(Edit2, &QLineEdit::textEdited, this, [this](const QString& t) { ws_.Edit2 = ToBytes(t); });
  connect(CSelOK, &QPushButton::clicked, this, &TWkFrm::CSelOKClick);
  connect(CSelCan, &QPushButton::clicked, this, &TWkFrm::CSelCanClick);

  ws_.SetWindow(this);
  FormCreate();
}

TWkFrm::~TWkFrm() {
  // QWidget's destructor hides the window, which moves the focus and
  // would call FocusChanged on what is no longer a worksheet window.
  disconnect(qApp, &QApplication::focusChanged, this, &TWkFrm::FocusChanged);
  ws_.SetWindow(nullptr);
}

QAction* TWkFrm::AddItem(QMenu* menu, const char* caption, const char* name, void (TWkFrm::*slot)()) {
  QAction* a = menu ? menu->addAction(QString::fromLatin1(caption)) : menuBar()->addAction(QString::fromLatin1(caption));
  a->setObjectName(name);
  if (slot) connect(a, &QAction::triggered, this, slot);
  return a;
}

QAction* TWkFrm::Item(const char* name) const { return findChild<QAction*>(name); }

void TWkFrm::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  file->menuAction()->setObjectName("File1");
  for (auto [caption, name] : {std::pair{"&Attach DSF", "AttachDSF1"}, {"&FileCreate(DSF)", "FileCreateDSF1"},
                               {"Detach DSF", "DetachDSF1"}}) {
    QAction* a = AddItem(file, caption, name);
    a->setVisible(false);  // the least-squares dialog attaches the file
  }
  QMenu* read = file->addMenu("&Read a data file");
  AddItem(read, "&TXT table file ", "ReadTXT1", &TWkFrm::ReadTxtClick);
  AddItem(read, "&WKS spreadsheet format", "ReadWKS1", &TWkFrm::ReadWksClick);
  QMenu* write = file->addMenu("&Write a data file");
  AddItem(write, "TXT table file with &Headers", "WriteTXTHeaders1", &TWkFrm::WriteTxtHeadersClick);
  AddItem(write, "&TXT table file with no headers", "WriteTXTNoHeaders1", &TWkFrm::WriteTxtNoHeadersClick);
  AddItem(write, "&WKS spreasheet format", "WriteWKS1", &TWkFrm::WriteWksClick);

  QMenu* cols = bar->addMenu("&Columns");
  AddItem(cols, "&Name", "Name1", &TWkFrm::NameClick);
  AddItem(cols, "&Save", "Save1", &TWkFrm::SaveClick);
  QMenu* diff = cols->addMenu("New &Difference series");
  auto command = [this](uint8_t code) {
    return [this, code] {
      FlushEditor();
      ws_.StartColumnCommand(code);
    };
  };
  auto arith = [this](uint8_t code, char op) {
    return [this, code, op] {
      FlushEditor();
      ws_.StartArithmetic(code, op);
    };
  };
  auto on = [this](QAction* a, std::function<void()> f) { connect(a, &QAction::triggered, this, std::move(f)); };
  on(AddItem(diff, "&Index series", "IndexSeries1"), command(kOpIndexSeries));
  on(AddItem(diff, "&Specified Difference Between Rows", "SpecifiedDifference1"), command(kOpDiffStep));
  on(AddItem(diff, "&Beg/End Values of Series Specified ", "BegEndValues1"), command(kOpDiffEnd));
  QMenu* arithMenu = cols->addMenu("&Arith ops");
  QMenu* ss = arithMenu->addMenu("&Series-series");
  for (auto [c, n, op] : {std::tuple{"&Add", "SSAdd1", '+'}, {"&Subtract", "SSSubtract1", '-'},
                          {"&Multiply", "SSMultiply1", '*'}, {"&Divide", "SSDivide1", '/'}})
    on(AddItem(ss, c, n), arith(kOpBinarySource1, op));
  QMenu* cs = arithMenu->addMenu("&Constant-series");
  for (auto [c, n, op] : {std::tuple{"&Add", "CSAdd1", '+'}, {"&Multiply", "CSMultiply1", '*'},
                          {"&Divide", "CSDivide1", '/'}, {"&Shift index", "CSShift1", 'S'},
                          {"Raise to power", "CSPower1", 'X'}})
    on(AddItem(cs, c, n), [this, op = op] {
      FlushEditor();
      ws_.StartConstantOp(op);
    });
  QMenu* un = arithMenu->addMenu("&Unary ops");
  for (auto [c, n, op] : {std::tuple{"&Negate", "UNegate1", 'N'}, {"&Inverse", "UInverse1", 'I'},
                          {"&Ln", "ULn1", 'L'}, {"&Exp", "UExp1", 'E'}, {"&Cumulate", "UCumulate1", 'C'}})
    on(AddItem(un, c, n), arith(kOpUnarySource, op));
  on(AddItem(arithMenu, "&Fill with constant value", "Fill1"), command(kOpFill));
  on(AddItem(arithMenu->addMenu("&Range ops"), "&Sum over range", "SumOverRange1"), command(kOpSumRange));
  QMenu* range = cols->addMenu("&Range ops");
  QMenu* rc = range->addMenu("&Range op Column");
  for (auto [c, n, op] : {std::tuple{"&Add", "RAdd1", '+'}, {"&Subtract", "RSubtract1", '-'},
                          {"&Multiply", "RMultiply1", '*'}, {"&divide", "RDivide1", '/'}})
    on(AddItem(rc, c, n), arith(kOpRangeOp, op));
  QMenu* ru = range->addMenu("&Unary range ops");
  for (auto [c, n, op] : {std::tuple{"&Negate", "RUNegate1", 'N'}, {"&Inverse", "RUInverse1", 'I'},
                          {"&Ln", "RULn1", 'L'}, {"&Exp", "RUExp1", 'E'}})
    on(AddItem(ru, c, n), arith(kOpUnaryRange, op));
  on(AddItem(cols, "&Formula Edit", "FormulaEdit1"), command(kOpFormulaEdit));
  on(AddItem(cols, "Do Col &Recalc", "DoColRecalc1"), command(kOpRecalcColumn));
  on(AddItem(cols, "&Copy", "Copy1"), command(kOpCopy));
  on(AddItem(cols, "&Move", "Move1"), command(kOpMove));
  on(AddItem(cols, "&Erase", "Erase1"), command(kOpEraseColumns));

  QMenu* series = bar->addMenu("&Series");
  AddItem(series, "&Series List", "SeriesList1", &TWkFrm::SeriesListClick);
  AddItem(series, "&Load series", "LoadSeries1", &TWkFrm::LoadSeriesClick);
  AddItem(series, "&Replace series", "ReplaceSeries1", &TWkFrm::ReplaceSeriesClick);
  AddItem(series, "&Erase series", "EraseSeries1", &TWkFrm::EraseSeriesClick);
  AddItem(series, "&Y funct of X", "YfunctOfX1", &TWkFrm::YfunctOfXClick);
  AddItem(series, "&Fulldetails", "Fulldetails1", &TWkFrm::FulldetailsClick);

  QMenu* dsdir = bar->addMenu("&DSDir");
  AddItem(dsdir, "Set &current DSDir", "SetCurrentDSDir1", &TWkFrm::SetCurrentDSDirClick);
  AddItem(dsdir, "&Treelst", "Treelst1", &TWkFrm::TreelstClick);
  AddItem(dsdir, "&Make DSDir", "MakeDSDir1", &TWkFrm::MakeDSDirClick);
  AddItem(dsdir, "&Delete DSDir", "DeleteDSDir1", &TWkFrm::DeleteDSDirClick);

  QMenu* settings = bar->addMenu("&WorksheetSpecs");
  AddItem(settings, "&X set", "XSet1", &TWkFrm::XSetClick);
  AddItem(settings, "&Y of X set", "YofXSet1", &TWkFrm::YofXSetClick);
  AddItem(settings, "Clear X", "ClearX1", &TWkFrm::ClearXClick);
  AddItem(settings, "&Change all decimal specs", "ChangeAllDecimalSpecs1", &TWkFrm::ChangeAllDecimalSpecsClick);
  AddItem(settings, "&Decimal display change, certain columns", "DecimalDisplay1", &TWkFrm::DecimalDisplayClick);
  AddItem(settings, "OldStyle Series select", "OldStyle1", &TWkFrm::OldStyleClick);

  AddItem(nullptr, "&Use lims", "UseLims1", &TWkFrm::UseLimsClick);
  QMenu* help = bar->addMenu("&Help");
  AddItem(help, "&Contents", "Contents1", &TWkFrm::HelpClick);
  AddItem(help, "&Topic Search", "TopicSearch1", &TWkFrm::HelpClick);
  connect(help->addAction("Tutorial Hints"), &QAction::triggered, this, [] {});  // no action
  QAction* recalc = AddItem(nullptr, "RecalcAll(F9)", "RecalcAll1", &TWkFrm::RecalcAllClick);
  recalc->setShortcut(Qt::Key_F9);
  AddItem(nullptr, "Zero(F10)", "Zero1", &TWkFrm::ZeroClick)->setShortcut(Qt::Key_F10);
  AddItem(nullptr, "&Top", "Top1", &TWkFrm::TopClick);
  AddItem(nullptr, "&Bottom", "Bottom1", &TWkFrm::BottomClick);
  AddItem(nullptr, "HIDE", "HIDE1", &TWkFrm::HIDEClick);
}

void TWkFrm::FormCreate() {
  ws_.FormCreate();
  SG1->setCurrentIndex(CellModel->index(ws_.CursorRow - 1, ws_.CurrentColumn()));
}

// ---- What the state tells the window ----

void TWkFrm::ColumnChanged(int column) {
  if (column < 0)
    XModel->AllChanged();
  else
    CellModel->ColumnChanged(column);
}

void TWkFrm::CellChanged(int column, int index) { CellModel->CellChanged(column, index); }

void TWkFrm::HeadersChanged() {
  for (int k = 0; k < kHeaderLines; ++k) ListBox1->item(k)->setText(FromBytes(ws_.HeaderLines[size_t(k)]));
  if (ws_.HeaderSelected >= 0)
    ListBox1->setCurrentRow(ws_.HeaderSelected);
  else
    ListBox1->clearSelection();
}

void TWkFrm::LabelsChanged() {
  XnameLbl->setText(FromBytes(ws_.XnameLbl));
  RowUseLbl->setText(FromBytes(ws_.RowUseLbl));
  Label4->setText(FromBytes(ws_.Label4));
  DSDirLbl->setText(FromBytes(ws_.DSDirLbl));
}

void TWkFrm::PromptChanged() {
  bool selecting = ws_.SingleSelectActive || ws_.RangeSelectActive;
  CSelGroup->setTitle(FromBytes(ws_.PromptCaption));
  if (ToBytes(Edit1->text()) != ws_.Edit1) Edit1->setText(FromBytes(ws_.Edit1));
  if (ToBytes(Edit2->text()) != ws_.Edit2) Edit2->setText(FromBytes(ws_.Edit2));
  Label2->setText(FromBytes(ws_.Label2));
  Edit2->setVisible(ws_.Edit2Shown);
  Edit2->setEnabled(ws_.Edit2Shown);
  CSelGroup->setVisible(ws_.PromptVisible);
  if (selecting) SG1->DropEditor();
  SG1->setSelectionMode(ws_.RangeSelectActive ? QAbstractItemView::ContiguousSelection
                                              : QAbstractItemView::SingleSelection);
  if (!selecting && !syncing_) {
    // The range highlight collapses to the cursor cell.
    syncing_ = true;
    SG1->selectionModel()->select(SG1->currentIndex(), QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
  }
}

void TWkFrm::ViewMoved() {
  if (syncing_) return;
  syncing_ = true;
  QModelIndex cur = CellModel->index(ws_.CursorRow - 1, ws_.CurrentColumn());
  if (SG1->currentIndex() != cur) {
    SG1->DropEditor();
    SG1->selectionModel()->setCurrentIndex(cur, QItemSelectionModel::ClearAndSelect);
  }
  SG1->verticalScrollBar()->setValue(ws_.TopRow - 1);
  SG1->horizontalScrollBar()->setValue(ws_.LeftGridColumn - 2);
  syncing_ = false;
}

bool TWkFrm::EditSeriesName() { return dialogs_.NameFrm && dialogs_.NameFrm->EditColumn(ws_.FirstSelCol); }

bool TWkFrm::EditNumberDisplay(int& digits) { return dialogs_.DecFrm && dialogs_.DecFrm->EditNumberDisplay(digits); }

// ---- Grid events ----

bool TWkFrm::GridMove(const QModelIndex& to) {
  if (syncing_) return true;
  SG1->CommitEditor();
  syncing_ = true;
  bool ok = ws_.SG1SelectCell(to.column() + 2, to.row() + 1);
  syncing_ = false;
  if (ok) SG1->DropEditor();
  return ok;
}

void TWkFrm::SelectionMoved() {
  if (syncing_ || (!ws_.SingleSelectActive && !ws_.RangeSelectActive)) return;
  QModelIndexList picked = SG1->selectionModel()->selectedIndexes();
  if (picked.isEmpty()) return;
  int lo = picked.front().column(), hi = lo;
  for (const QModelIndex& i : picked) lo = std::min(lo, i.column()), hi = std::max(hi, i.column());
  ws_.SelectionLeft = lo + 2;
  ws_.SelectionRight = hi + 2;
  ws_.UpdateSelectionEdits();
}

void TWkFrm::FocusChanged(QWidget* old, QWidget* now) {
  auto inGrid = [this](QWidget* w) { return w && (w == SG1 || SG1->isAncestorOf(w)); };
  if (!inGrid(old) || inGrid(now) || !now || now->window() != this) return;
  SG1->CommitEditor();
  SG1->DropEditor();
  ws_.SG1Exit();
}

void TWkFrm::ListBox1Click() {
  FlushEditor();
  int line = ListBox1->currentRow();
  ws_.HeaderClick(line);
  SG1->setFocus();
}

void TWkFrm::ListBox1DblClick() {
  FlushEditor();
  ws_.HeaderDoubleClick(ListBox1->currentRow());
  if (isMaximized()) SG1->setFocus();
}

// ---- The selection prompt ----

void TWkFrm::CSelOKClick() {
  ws_.Edit1 = ToBytes(Edit1->text());
  ws_.Edit2 = ToBytes(Edit2->text());
  SG1->setFocus();
  ws_.CSelOKClick();
}

void TWkFrm::CSelCanClick() {
  ws_.CSelCanClick();
  SG1->setFocus();
}

// ---- Menu commands ----

void TWkFrm::FlushEditor() {
  SG1->CommitEditor();
  SG1->DropEditor();
}

void TWkFrm::Commit() {
  FlushEditor();
  ws_.Store().FailureFlag = false;
  ws_.CommitCurrentCell();
}

void TWkFrm::ShowLog() {
  if (dialogs_.LogFrm) dialogs_.LogFrm->show();
}

std::string TWkFrm::CurrentDSDirAll() const { return ws_.Store().CurrentDSDirPath + "&"; }

namespace {

// The file dialog of a read (the file must exist) or a write.
std::optional<std::string> AskFile(bool save, const char* filter, bool mustExist = false) {
  platform::FileDialogSpec desc;
  desc.filter = filter;
  desc.defaultExt = std::string(filter).substr(std::string(filter).rfind('.') + 1, 3);
  desc.mustExist = mustExist;
  desc.askOverwrite = save;
  return save ? platform::Prompts().SaveFileName(desc) : platform::Prompts().OpenFileName(desc);
}

}  // namespace

void TWkFrm::ReadTxtClick() {
  FlushEditor();
  std::optional<std::string> file = AskFile(false, "TXT table|*.TXT", true);
  if (!file) return;
  ws_.TxtFileName = *file;
  ws_.BeginColumnSelect("Leftmost column for TXT block read:", kOpReadText);
}

void TWkFrm::ReadWksClick() {
  FlushEditor();
  std::optional<std::string> file = AskFile(false, "Spreadsheet files|*.WKS;*.WK1");
  if (!file || !platform::Prompts().Confirm("This erases the entire worksheet; continue?")) return;
  ReadWKSFile(ws_.Store(), *file);
  ws_.RefreshColumnHeaders();
}

void TWkFrm::WriteTxt(uint8_t code) {
  FlushEditor();
  std::optional<std::string> file = AskFile(true, "Text table|*.TXT");
  if (!file) return;
  ws_.TxtFileName = *file;
  ws_.BeginColumnRangeSelect("Range of columns to save:", code);
}

void TWkFrm::WriteTxtHeadersClick() { WriteTxt(kOpWriteTextHeaders); }

void TWkFrm::WriteTxtNoHeadersClick() { WriteTxt(kOpWriteTextPlain); }

void TWkFrm::WriteWksClick() {
  FlushEditor();
  std::optional<std::string> file = AskFile(true, "WKS file|*.WKS");
  if (file) WriteWKSFile(ws_.Store(), *file);
}

void TWkFrm::NameClick() {
  FlushEditor();
  ws_.BeginColumnSelect("Column to name:", kOpName);
}

void TWkFrm::SaveClick() {
  FlushEditor();
  ws_.BeginColumnRangeSelect("Range of columns to save:", kOpSaveRange);
}

void TWkFrm::SeriesListClick() {
  Commit();
  std::string path;
  dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "List DSDir", path);
  ws_.Store().Log.Clear();
  ws_.Store().ListDSFNames(path);  // Cancel lists the empty path: the whole file
  ShowLog();
}

void TWkFrm::LoadSeriesClick() {
  FlushEditor();
  ws_.Store().FailureFlag = false;
  if (dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "Series to load", ws_.SeriesPath))
    ws_.BeginColumnSelect("Column at which to start loading:", kOpLoadSeries);
}

void TWkFrm::ReplaceSeriesClick() {
  Commit();
  if (!dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "Series to REPLACE in DSF", ws_.SeriesPath)) return;
  ws_.Store().ReplaceSeriesInDSF(ws_.SeriesPath);
  ws_.RefreshColumnHeaders();
}

void TWkFrm::EraseSeriesClick() {
  Commit();
  if (dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "Series to ERASE in DSF", ws_.SeriesPath))
    ws_.Store().EraseSeries(ws_.SeriesPath);
}

void TWkFrm::YfunctOfXClick() {
  Commit();
  std::string y, x;
  if (!dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "Series which are Y:", y)) return;
  if (!dialogs_.SerFrm->PickSeriesOrDSDir(false, CurrentDSDirAll(), x, "Select the X series:")) return;
  ws_.Store().SetXSeries(x, y);
}

void TWkFrm::FulldetailsClick() {
  Commit();
  std::string path;
  if (!dialogs_.SerFrm->PickSeriesText(CurrentDSDirAll(), "List Full Details", path)) return;
  ws_.Store().Log.Clear();
  ws_.Store().ListSeriesDetails(path);
  ShowLog();
}

void TWkFrm::SetCurrentDSDirClick() {
  Commit();
  std::string path;
  if (!dialogs_.SerFrm->PickSeriesOrDSDir(true, "&", path, "Set current DSDir path")) return;
  ws_.Store().SetCurrentDSDir(path);
  ws_.SetFileLabels();
}

void TWkFrm::TreelstClick() {
  Commit();
  SeriesStore& store = ws_.Store();
  store.Log.Clear();
  store.ListDSFTree();
  ShowLog();
  store.ShowDSFTree(true);
  if (store.FailureFlag) return;  // no file: no tree to show
  dialogs_.TVfrm->ShowTree();
  dialogs_.TVfrm->exec();
  dialogs_.TVfrm->CollapseAll();
}

void TWkFrm::MakeDSDirClick() {
  Commit();
  TSimplFrm* f = dialogs_.SimplFrm;
  f->setWindowTitle("Make DSDir");
  f->Label1->setText("PATHID=");
  f->Edit1->clear();
  if (f->exec() == QDialog::Accepted) ws_.Store().MakeDSDir(ToBytes(f->Edit1->text()));
}

void TWkFrm::DeleteDSDirClick() {
  Commit();
  std::string path;
  if (!dialogs_.SerFrm->PickSeriesOrDSDir(true, CurrentDSDirAll(), path, "DSDir to be deleted:")) return;
  ws_.Store().DeleteDSDir(path);
  ws_.Store().SetCurrentDSDir(".");
  ws_.SetFileLabels();
}

void TWkFrm::XSetClick() {
  FlushEditor();
  ws_.BeginColumnSelect("Select a Current X Column", kOpXSet);
}

void TWkFrm::YofXSetClick() {
  FlushEditor();
  ws_.BeginColumnRangeSelect("", kOpYofXSet);
}

void TWkFrm::ClearXClick() {
  FlushEditor();
  ws_.ClearXClick();
}

void TWkFrm::ChangeAllDecimalSpecsClick() {
  FlushEditor();
  ws_.ChangeAllDecimalSpecsClick();
}

void TWkFrm::DecimalDisplayClick() {
  FlushEditor();
  ws_.BeginColumnRangeSelect("Specify range of columns", kOpDecimals);
}

void TWkFrm::OldStyleClick() {
  QAction* a = Item("OldStyle1");
  a->setText(a->text() == "OldStyle Series select" ? "Tree Series select" : "OldStyle Series select");
}

void TWkFrm::UseLimsClick() {
  Commit();
  if (dialogs_.UseDlg->EditLimits()) ws_.ShowRowUseLimits();
}

void TWkFrm::HelpClick() {
  if (help_) help_();
}

void TWkFrm::ZeroClick() {
  FlushEditor();
  ws_.ZeroClick();
}

void TWkFrm::TopClick() {
  FlushEditor();
  ws_.TopClick();
}

void TWkFrm::BottomClick() {
  FlushEditor();
  ws_.BottomClick();
}

void TWkFrm::HIDEClick() { hide(); }

void TWkFrm::RecalcAllClick() {
  FlushEditor();
  ws_.RecalcAllClick();
}

bool TWkFrm::EditValue(double& value, const std::string& prompt) { return dialogs_.RealEntry->EditValue(value, prompt); }

bool TWkFrm::EditFormula(const std::string& label, std::string& text, bool& computeNow) {
  TForFrm* f = dialogs_.ForFrm;
  f->Label1->setText(FromBytes(label));
  f->Edit1->setText(FromBytes(text));
  bool ok = f->exec() == QDialog::Accepted;
  if (ok) text = ToBytes(f->Edit1->text());
  computeNow = f->CheckBox1->isChecked();
  return ok;
}

void TWkFrm::closeEvent(QCloseEvent* event) {
  FlushEditor();
  if (!ws_.FormCloseQuery()) {
    event->ignore();
    return;
  }
  ws_.FormClose();
  event->accept();  // hidden, not destroyed: opened again later
}

}  // namespace krv::series
