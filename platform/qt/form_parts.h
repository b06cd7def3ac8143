// The pieces the forms are built of: named labels, controls placed at fixed
// places, labelled edits and the OK and Cancel row of the small dialogs.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>

class QFont;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::platform {

// A label with its object name and Latin-1 text, for a layout to place.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text = "");
// The same label at `at`, in the toolkit's default size; `minWidth`, when
// given, widens it to at least that.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QPoint at,
                  int minWidth = 0);
// The same label in `where`.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, const QRect& where);

// Names `w` and gives it its place and width, at the height it asks for.
template <typename W>
W* Place(W* w, const QString& name, int x, int y, int width) {
  w->setObjectName(name);
  w->setGeometry(x, y, width, w->sizeHint().height());
  return w;
}

// Names `w`, puts it in `where` and, when given, sets its font.
template <typename W>
W* Place(W* w, const QString& name, const QRect& where, const QFont* font = nullptr) {
  w->setObjectName(name);
  w->setGeometry(where);
  if (font) w->setFont(*font);
  return w;
}

// Widens a fixed-size dialog, and each of its labels, until every label's
// text is whole: a size the system gives never cuts off a text it gives
// (fonts here are wider than on the desktop the sizes were made for).
void FitLabels(QDialog* dialog);

// A labelled line edit in the next row of `grid`.
QLineEdit* AddLabelledEdit(QDialog* dialog, QGridLayout* grid, const char* label,
                           const char* editName, int maxLength = 0, QLabel** labelOut = nullptr);

// The OK (default) and Cancel buttons below `grid`; Cancel rejects. OK is
// left to the caller, which decides whether the dialog closes.
void AddOkCancel(QDialog* dialog, QGridLayout* grid, const char* okName, const char* cancelName,
                 QPushButton** ok, QPushButton** cancel);

// Runs `dialog` modally; true when it ended with OK.
bool RunModal(QDialog* dialog);

}  // namespace krv::platform
