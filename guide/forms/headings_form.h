// The headings index windows: TE3 lists the procedure and function
// headings of the QTL memo, TSHFrm searches in that list.
#pragma once

#include <QWidget>

#include "guide/forms/memo.h"

class QLineEdit;
class QPushButton;

// "Procedures and Functions": the list; a double click jumps to the heading.
class TE3 : public QWidget {
  Q_OBJECT

 public:
  explicit TE3(QWidget* parent = nullptr);
  // The memo the jump moves in (the QTL memo).
  void SetSourceMemo(QPlainTextEdit* memo) { source_ = memo; }
  // Lists the headings of the source memo's text.
  void BuildHeadingsList();

  krv::guide::Memo* M3;

 public slots:
  void M3DblClick();

 private:
  QPlainTextEdit* source_ = nullptr;
};

// "Search Headigs": searches the list while the text is typed.
class TSHFrm : public QWidget {
  Q_OBJECT

 public:
  TSHFrm(TE3* list, QWidget* parent = nullptr);

 public slots:
  void SearchHeadings();
  void SvalChange();
  void cButtonClick();  // "Clear entry"

 protected:
  void closeEvent(QCloseEvent* event) override;  // closing empties the search text

 private:
  TE3* list_;
  size_t lastHit_ = 1;  // kept between searches, from 1

  QLineEdit* Sval;
  QPushButton* cButton;
};
