// The window's mirror of the run log: a LogView that keeps a QPlainTextEdit
// one block per log line.
#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <string>

#include "platform/qt/latin1.h"
#include "preprocessor/log_writer.h"

namespace krv::pp {

// Header-only so every window that links Qt Widgets can use it as it is.
class LogMemo : public LogView {
 public:
  // Shows the log as it stands and follows it until destroyed.
  LogMemo(LogWriter& log, QPlainTextEdit* memo) : log_(log), memo_(memo) {
    QStringList lines;
    for (const std::string& line : log_.Lines()) lines << Shown(line);
    memo_->setPlainText(lines.join('\n'));
    log_.SetView(this);
  }
  ~LogMemo() override { log_.SetView(nullptr); }
  LogMemo(const LogMemo&) = delete;
  LogMemo& operator=(const LogMemo&) = delete;

  // A log line as one line of the memo: a control byte (a raw CR or LF in a
  // scanner note) would split the block and misalign later replacements, so
  // it is shown as its Unicode control picture.
  static QString Shown(const std::string& text) {
    QString s = platform::FromBytes(text);
    for (QChar& c : s) {
      const ushort u = c.unicode();
      if (u < 0x20 && u != '\t') c = QChar(ushort(0x2400 + u));
      else if (u == 0x7F) c = QChar(ushort(0x2421));
      else if (u == 0x85) c = QChar(ushort(0x2424));  // NEL may break a line too
    }
    return s;
  }

  void LineAdded(const std::string& text) override { memo_->appendPlainText(Shown(text)); }

  void LineReplaced(size_t index, const std::string& text) override {
    QTextBlock block = memo_->document()->findBlockByNumber(int(index));
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(Shown(text));
  }

  void FirstLineRemoved() override {
    QTextCursor cursor(memo_->document()->firstBlock());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }

 private:
  LogWriter& log_;
  QPlainTextEdit* memo_;
};

}  // namespace krv::pp
