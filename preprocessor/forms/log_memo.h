// The window's mirror of the run log: a LogView that keeps a QPlainTextEdit
// one block per log line. Lines are gathered and shown together, once per
// turn of the event loop and at least every 50 ms during a long pass:
// laying out the memo line by line would cost far more than the pass.
#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstddef>
#include <string>

#include "platform/qt/latin1.h"
#include "preprocessor/log_writer.h"

namespace krv::pp {

// Header-only so every window that links Qt Widgets can use it as it is.
class LogMemo : public LogView {
 public:
  static constexpr int kShowEveryMs = 50;

  // Shows the log as it stands and follows it until destroyed.
  LogMemo(LogWriter& log, QPlainTextEdit* memo) : log_(log), memo_(memo) {
    memo_->setPlainText(Joined(0));
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, memo_, [this] { Flush(); });
    sinceShown_.start();
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

  void LineAdded(const std::string&) override { Changed(log_.LineCount() - 1); }
  void LineReplaced(size_t index, const std::string&) override { Changed(index); }
  void FirstLineRemoved() override {
    ++dropped_;
    if (dirtyFrom_ != kClean && dirtyFrom_ > 0) --dirtyFrom_;
  }

  // Shows every change not shown yet, in one edit of the memo: the dropped
  // first lines go, and the lines from the first changed one on are
  // written again. A window calls it when a pass ends, so the log is whole
  // on screen as soon as the pass returns.
  void Flush() {
    timer_.stop();
    sinceShown_.restart();
    if (dropped_ == 0 && dirtyFrom_ == kClean) return;
    QScrollBar* bar = memo_->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextDocument* doc = memo_->document();
    // Blocks of the memo still in the log, numbered as the log now is.
    const size_t kept = size_t(std::max(0, doc->blockCount() - int(dropped_)));
    const size_t from = std::min(dirtyFrom_, kept);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (from == 0) {
      cursor.select(QTextCursor::Document);
      cursor.insertText(Joined(0));
    } else {
      if (dropped_ > 0) {
        cursor.setPosition(doc->findBlockByNumber(int(dropped_)).position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
      }
      // From the end of the last unchanged line to the end of the memo.
      cursor.setPosition(from < kept ? doc->findBlockByNumber(int(from)).position() - 1
                                     : doc->characterCount() - 1);
      cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
      cursor.insertText(QChar('\n') + Joined(from));
    }
    cursor.endEditBlock();
    dropped_ = 0;
    dirtyFrom_ = kClean;
    if (atBottom) bar->setValue(bar->maximum());
  }

 private:
  static constexpr size_t kClean = size_t(-1);

  void Changed(size_t index) {
    dirtyFrom_ = std::min(dirtyFrom_, index);
    if (sinceShown_.elapsed() >= kShowEveryMs) Flush();
    else if (!timer_.isActive()) timer_.start();
  }

  // The log's lines from `first` on, as the memo's text.
  QString Joined(size_t first) const {
    QString text;
    const auto& lines = log_.Lines();
    for (size_t i = first; i < lines.size(); ++i) {
      if (i > first) text += QChar('\n');
      text += Shown(lines[i]);
    }
    return text;
  }

  LogWriter& log_;
  QPlainTextEdit* memo_;
  QTimer timer_;
  QElapsedTimer sinceShown_;
  size_t dropped_ = 0;          // first lines dropped since last shown
  size_t dirtyFrom_ = kClean;   // first line, as the log now is, not shown yet
};

}  // namespace krv::pp
