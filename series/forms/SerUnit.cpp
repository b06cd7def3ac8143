// The series and DSDir pickers.
#include "series/forms/SerUnit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/qt/latin1.h"
#include "series/series_store.h"

namespace krv::series {

namespace {

void AddNodes(QTreeWidgetItem* item, const TreeNode& node) {
  for (const TreeNode& child : node.children) {
    auto* c = new QTreeWidgetItem(item, QStringList{platform::FromBytes(child.caption)});
    AddNodes(c, child);
  }
}

}  // namespace

// ---- The tree picker ----

TTVfrm::TTVfrm(SeriesStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("TVfrm");
  setWindowTitle("DSF tree");
  resize(580, 626);
  TV1 = new QTreeWidget(this);
  TV1->setObjectName("TV1");
  TV1->setHeaderHidden(true);
  TV1->setIndentation(19);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(TV1, 1);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TTVfrm::ShowTree() {
  TV1->clear();
  auto* root = new QTreeWidgetItem(TV1, QStringList{platform::FromBytes(store_.Tree.caption)});
  AddNodes(root, store_.Tree);
  root->setExpanded(true);
}

std::vector<int> TTVfrm::ChosenPositions() const {
  std::vector<int> positions;
  QTreeWidgetItem* item = TV1->currentItem();
  if (!item || !item->isSelected()) return positions;
  for (; item->parent(); item = item->parent())
    positions.insert(positions.begin(), item->parent()->indexOfChild(item));
  return positions;
}

void TTVfrm::CollapseAll() { TV1->collapseAll(); }

// ---- The path dialog ----

void PathCombo::showPopup() {
  emit DropDown();
  QComboBox::showPopup();
}

TSerFrm::TSerFrm(SeriesStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("SerFrm");
  setWindowTitle("Select of series in DSF");
  setFixedSize(472, 81);
  Label1 = new QLabel("Specify series:", this);
  Label1->setObjectName("Label1");
  ComboBox1 = new PathCombo(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button3 = new QPushButton("Tree view", this);
  Button3->setObjectName("Button3");
  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(ComboBox1, 0, 1, 1, 3);
  grid->addWidget(Button3, 1, 1);
  grid->addWidget(Button1, 1, 2);
  grid->addWidget(Button2, 1, 3);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button3, &QPushButton::clicked, this, &TSerFrm::Button3Click);
  connect(ComboBox1, &PathCombo::DropDown, this, &TSerFrm::ComboBox1DropDown);
}

void TSerFrm::FormActivate() {
  ComboBox1->clear();
  ComboBox1->setEditText(platform::FromBytes(State.rememberedPath));
}

bool TSerFrm::Run() {
  Label1->setText(platform::FromBytes(State.prompt));
  FormActivate();
  return exec() == QDialog::Accepted;
}

bool TSerFrm::PickSeriesText(const std::string& lastPath, const std::string& prompt, std::string& path) {
  BeginPickText(State, lastPath, prompt);
  bool ok = Run();
  if (ok) path = platform::ToBytes(ComboBox1->currentText()).substr(0, kShortMax);
  ComboBox1->clear();
  return ok;
}

bool TSerFrm::PickSeriesOrDSDir(bool dsdirMode, const std::string& lastPath, std::string& path,
                                const std::string& prompt) {
  BeginPickOne(State, dsdirMode, lastPath, prompt);
  setWindowTitle(platform::FromBytes(State.caption));
  bool ok;
  std::string text;
  do {
    ok = Run();
    text = platform::ToBytes(ComboBox1->currentText()).substr(0, kShortMax);
    State.rememberedPath = text;  // shown again when asked again
  } while (ok && !PickerAccepts(State, text));
  if (ok) path = text;
  ComboBox1->clear();
  return ok;
}

void TSerFrm::ComboBox1DropDown() {
  std::string text = platform::ToBytes(ComboBox1->currentText());
  std::vector<std::string> list = PickerDropDown(store_, State, text);
  ComboBox1->clear();
  for (const std::string& item : list) ComboBox1->addItem(platform::FromBytes(item));
  ComboBox1->setEditText(platform::FromBytes(text));
}

void TSerFrm::Button3Click() {
  if (!tree_) return;
  store_.ShowDSFTree(!State.dsdirMode);
  // Without a file the tree is not shown at all: never one of a file attached before.
  if (store_.FailureFlag) return;
  tree_->ShowTree();
  if (tree_->exec() != QDialog::Accepted) return;
  std::string path = PickTreePath(store_.Tree, tree_->ChosenPositions(), State.singleMode);
  if (path.empty()) return;
  tree_->PickedPath = path;
  ComboBox1->setEditText(platform::FromBytes(path));
}

}  // namespace krv::series
