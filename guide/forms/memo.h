// The editors' memos: plain-text editors that hold a file's bytes one
// character per byte (Latin-1), lines separated by line feeds.
//
// The helpers work on any QPlainTextEdit, so every window that the
// Find/Replace window serves can use its own editor widget.
#pragma once

#include <QPlainTextEdit>
#include <string>

namespace krv::guide {

// The memo's text as bytes, one per position, lines joined by '\n'.
std::string MemoText(const QPlainTextEdit* memo);
// Replaces the whole text; the modified mark is cleared.
void SetMemoText(QPlainTextEdit* memo, const std::string& text);

// The caret (the selection's start), counted from 0.
size_t MemoSelStart(const QPlainTextEdit* memo);
// Selects `length` characters from `start` (both clamped to the text).
void SelectInMemo(QPlainTextEdit* memo, size_t start, size_t length);

// The caret's line, from 1 (CaretLineNumber on the memo).
int MemoCaretLine(const QPlainTextEdit* memo);

bool MemoModified(const QPlainTextEdit* memo);
void SetMemoModified(QPlainTextEdit* memo, bool modified);

// The editor look: Courier New (or the system's fixed-pitch font), both
// scroll bars, no line wrapping.
void GiveEditorLook(QPlainTextEdit* memo);

// A memo that reports mouse clicks, double clicks and key releases. A paste
// from a clipboard that holds no text (empty, or an image) changes nothing;
// the toolkit itself would crash on an empty one.
class Memo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit Memo(QWidget* parent = nullptr);

 signals:
  void Clicked();
  void DoubleClicked();
  void KeyUp();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 public:
  // What a paste hands over; null where nobody owns the clipboard.
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace krv::guide
