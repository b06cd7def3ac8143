// The series and DSDir pickers: the path dialog TSerFrm with its
// drop-down list and the tree picker TTVfrm.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <string>

#include "series/series_picker.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace krv::series {

class SeriesStore;

// The tree picker: the attached file's DSDirs (and series) under "Root".
class TTVfrm : public QDialog {
  Q_OBJECT
 public:
  explicit TTVfrm(SeriesStore& store, QWidget* parent = nullptr);
  // Rebuilds the tree from the store's tree (after ShowDSFTree).
  void ShowTree();
  // The chosen node's child positions from "Root"; empty for none or Root.
  std::vector<int> ChosenPositions() const;
  void CollapseAll();

  QTreeWidget* TV1;
  QPushButton *Button1, *Button2;
  std::string PickedPath;  // the path picked last

 private:
  SeriesStore& store_;
};

// The path combo: its list is filled when it drops down.
class PathCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void showPopup() override;
 signals:
  void DropDown();
};

class TSerFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TSerFrm(SeriesStore& store, QWidget* parent = nullptr);
  // The tree picker behind "Tree view".
  void SetTree(TTVfrm* tree) { tree_ = tree; }

  // A path, wildcards allowed; false on Cancel.
  bool PickSeriesText(const std::string& lastPath, const std::string& prompt, std::string& path);
  // Exactly one series (or one DSDir); asks again while the text holds a wildcard.
  bool PickSeriesOrDSDir(bool dsdirMode, const std::string& lastPath, std::string& path,
                         const std::string& prompt);

  QLabel* Label1;
  PathCombo* ComboBox1;
  QPushButton *Button1, *Button2, *Button3;
  PickerState State;

 public slots:
  void FormActivate();
  void ComboBox1DropDown();
  void Button3Click();

 private:
  bool Run();
  SeriesStore& store_;
  TTVfrm* tree_ = nullptr;
};

}  // namespace krv::series
