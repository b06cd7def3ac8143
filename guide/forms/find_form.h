// TFindFrm, the one Find/Replace window of Helmsman. It serves four memos:
// the source editor's QTL and PSY memos, the any-file memo and the SOSI
// memo.
//
// How a window uses it:
//   1. once, when the window is made:  find->SetMemo(FindMemo::Sosi, memo);
//   2. on its search command:          find->ShowFor(FindCommand::SearchSosi, this);
// ShowFor sets the target flags (one find state for the whole program),
// sets the caption (the SOSI target keeps it) and shows the window, not
// modal. "Search Down", "SearchUp" and "Do Replace" then work on the
// target's memos. Pass the window itself as `owner` when it is shown
// modally: the Find/Replace window then becomes its child, so the modal
// window does not block it, and goes back (hidden) when the owner hides.
#pragma once

#include <QWidget>
#include <array>

#include "guide/find_replace.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFindFrm : public QWidget {
  Q_OBJECT

 public:
  explicit TFindFrm(QWidget* parent = nullptr);

  // The widget that is memo `which`; the Find/Replace window never owns it.
  void SetMemo(krv::guide::FindMemo which, QPlainTextEdit* memo);
  // Chooses what to search and shows the window (see above).
  void ShowFor(krv::guide::FindCommand command, QWidget* owner = nullptr);

  const krv::guide::FindState& State() const { return state_; }

 public slots:
  void LookDwnClick();  // "Search Down"
  void LookUpClick();   // "SearchUp"
  void BRepClick();     // "Do Replace"
  void Edit1Change();   // the find text changed

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SearchTargets(bool forward);
  void ReturnHome();

  krv::guide::FindState state_;
  std::array<QPlainTextEdit*, krv::guide::kFindMemoCount> memos_{};
  QWidget* home_;   // the parent the window was made with
  QWidget* owner_ = nullptr;

  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QPushButton* LookUp;
  QPushButton* LookDwn;
  QPushButton* BRep;
  QCheckBox* CaseBox;
};
