// Pieces every small worksheet dialog is made of.
#pragma once

#include <QDialog>
#include <QString>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace krv::series {

// A labelled line edit in the next row of `grid`.
QLineEdit* AddLabelledEdit(QDialog* dialog, QGridLayout* grid, const char* label,
                           const char* editName, int maxLength = 0, QLabel** labelOut = nullptr);

// The OK (default) and Cancel buttons below `grid`; Cancel rejects. OK is
// left to the caller, which decides whether the dialog closes.
void AddOkCancel(QDialog* dialog, QGridLayout* grid, const char* okName, const char* cancelName,
                 QPushButton** ok, QPushButton** cancel);

// Runs `dialog` modally; true when it ended with OK.
bool RunModal(QDialog* dialog);

}  // namespace krv::series
