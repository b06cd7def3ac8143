// The fixed-pitch font of the editor's value fields.
#include "problem_editor/forms/grid_font.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>

namespace krv::pe {

namespace {

constexpr int kSmallestPixels = 6;
// A line edit keeps this much room on each side of its text inside the frame.
constexpr int kEditTextMargin = 2;

// The width `text` needs in font `f`: in a line edit, which scrolls a text
// unless it fits with room for the cursor and the font's overhangs, or in
// a label, which cuts it at its edge.
int WidthNeeded(const QFont& f, const QString& text, bool inEdit) {
  QFontMetrics fm(f);
  int w = fm.horizontalAdvance(text);
  if (inEdit) w += 1 + std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
  return w;
}

// The grid font at the largest size up to its own at which `text` fits
// into `room` pixels.
QFont FittingFont(const QString& text, int room, bool inEdit) {
  QFont f = GridFont();
  for (int px = f.pixelSize(); px > kSmallestPixels; --px) {
    f.setPixelSize(px);
    if (WidthNeeded(f, text, inEdit) <= room) return f;
  }
  f.setPixelSize(kSmallestPixels);
  return f;
}

}  // namespace

void ShowWhole(QLineEdit* edit, const QString& text) {
  int frame = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
  QMargins m = edit->textMargins();
  int room = edit->width() - 2 * frame - 2 * kEditTextMargin - m.left() - m.right();
  edit->setFont(FittingFont(text, room, true));
  edit->setText(text);
  edit->setCursorPosition(0);
}

void ShowWhole(QLabel* label, const QString& text) {
  label->setFont(FittingFont(text, label->contentsRect().width(), false));
  label->setText(text);
}

std::optional<GridKey> GridKeyFor(int qtKey) {
  switch (qtKey) {
    case Qt::Key_PageUp: return GridKey::PageUp;
    case Qt::Key_PageDown: return GridKey::PageDown;
    case Qt::Key_Home: return GridKey::Home;
    case Qt::Key_End: return GridKey::End;
    case Qt::Key_Up: return GridKey::Up;
    case Qt::Key_Down: return GridKey::Down;
    default: return std::nullopt;
  }
}

}  // namespace krv::pe
