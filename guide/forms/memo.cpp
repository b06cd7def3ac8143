// The editors' memos: plain-text editors that hold a file's bytes.
#include "guide/forms/memo.h"

#include <QFontDatabase>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

#include "guide/find_replace.h"
#include "platform/qt/latin1.h"

namespace krv::guide {

std::string MemoText(const QPlainTextEdit* memo) {
  // The raw text keeps no-break spaces (toPlainText turns them into
  // blanks); its paragraph and line separators are the memo's line breaks.
  const QString raw = memo->document()->toRawText();
  std::string out;
  out.reserve(size_t(raw.size()));
  for (QChar c : raw) {
    const char16_t u = c.unicode();
    if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
      out += '\n';
    else
      out += u > 255 ? '?' : char(u);
  }
  return out;
}

void SetMemoText(QPlainTextEdit* memo, const std::string& text) {
  memo->setPlainText(krv::platform::FromBytes(text));
  memo->document()->setModified(false);
}

size_t MemoSelStart(const QPlainTextEdit* memo) {
  return size_t(memo->textCursor().selectionStart());
}

void SelectInMemo(QPlainTextEdit* memo, size_t start, size_t length) {
  const size_t size = size_t(memo->document()->characterCount() - 1);
  start = std::min(start, size);
  length = std::min(length, size - start);
  QTextCursor c = memo->textCursor();
  c.setPosition(int(start));
  c.setPosition(int(start + length), QTextCursor::KeepAnchor);
  memo->setTextCursor(c);
  memo->ensureCursorVisible();
}

int MemoCaretLine(const QPlainTextEdit* memo) {
  return CaretLineNumber(MemoText(memo), MemoSelStart(memo));
}

bool MemoModified(const QPlainTextEdit* memo) { return memo->document()->isModified(); }

void SetMemoModified(QPlainTextEdit* memo, bool modified) {
  memo->document()->setModified(modified);
}

void GiveEditorLook(QPlainTextEdit* memo) {
  QFont font("Courier New", 10);
  font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
  }
  memo->setFont(font);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

Memo::Memo(QWidget* parent) : QPlainTextEdit(parent) { GiveEditorLook(this); }

void Memo::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  emit Clicked();
}

void Memo::mouseDoubleClickEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseDoubleClickEvent(event);
  emit DoubleClicked();
}

bool Memo::canInsertFromMimeData(const QMimeData* source) const {
  return source && source->hasText();
}

void Memo::insertFromMimeData(const QMimeData* source) {
  if (source && source->hasText()) QPlainTextEdit::insertFromMimeData(source);
}

void Memo::keyReleaseEvent(QKeyEvent* event) {
  QPlainTextEdit::keyReleaseEvent(event);
  emit KeyUp();
}

}  // namespace krv::guide
