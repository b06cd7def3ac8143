// A plot window.
#include "viewer/forms/plot_frm.h"

#include <QCloseEvent>
#include <QPainter>
#include <QScrollBar>

#include "platform/qt/latin1.h"
#include "viewer/forms/up_down.h"

namespace krv::view {

// A tool window of the main window: it stays above the main window only,
// goes with it when it is minimised, and never covers another program or a
// dialog of this one.
TPlotFrm::TPlotFrm(PlotShared& shared, QWidget* owner)
    : QWidget(owner, Qt::Tool), shared_(shared) {
  setObjectName("PlotFrm");
  setWindowTitle("Plotform");
  resize(636, 180);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  setAutoFillBackground(true);
  upDown1_ = new UpDown(this, Qt::Vertical);
  upDown1_->setObjectName("UpDown1");
  upDown1_->resize(17, 34);
  connect(upDown1_, &UpDown::Clicked, this, &TPlotFrm::UpDown1Click);
  scrollBar1_ = new QScrollBar(Qt::Vertical, this);
  scrollBar1_->setObjectName("ScrollBar1");
  scrollBar1_->setRange(0, 100);
  scrollBar1_->setPageStep(5);
  connect(scrollBar1_, &QScrollBar::valueChanged, this, &TPlotFrm::ScrollBar1Change);
}

void TPlotFrm::AllocPlotBuffer() {
  buffer.assign(PlotSteps(shared_.state.Range()).size(), 0.0f);
}

void TPlotFrm::RescalePlot() { value.Autoscale(buffer, height()); }

void TPlotFrm::ResetScroll() {
  QSignalBlocker block(scrollBar1_);
  scrollBar1_->setValue(0);
}

void TPlotFrm::UpDown1Click(bool up) {
  value.ZoomPlotY(up);
  update();
}

void TPlotFrm::ScrollBar1Change(int position) {
  value.Scroll(position);
  update();
}

void TPlotFrm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The controls follow the right edge.
  PlotControls c = PlacePlotControls(width(), height());
  upDown1_->move(c.upDown.x, c.upDown.y);
  scrollBar1_->setGeometry(c.scrollBar.x, c.scrollBar.y, c.scrollBar.w, c.scrollBar.h);
}

QFont TPlotFrm::LabelFont() const {
  QFont f = font();
  // 7 points at the screen's resolution, so a printed page scales the text
  // with the rest of the drawing.
  f.setPixelSize(std::max(1, int(7.0 * logicalDpiY() / 72.0 + 0.5)));
  return f;
}

PlotPaint TPlotFrm::Geometry(bool printing) const {
  PlotView v;
  v.width = width();
  v.height = height();
  // The frame's place on the screen: plots that share a left edge (tiled,
  // cascaded, aligned) start their curves in the same column, whatever the
  // width of the window manager's borders.
  v.screenLeft = frameGeometry().left();
  v.screenWidth = frameGeometry().width();
  v.printing = printing;
  v.caption = platform::ToBytes(windowTitle());
  QFontMetrics metrics(LabelFont());
  v.textWidth = [metrics](const std::string& text) {
    return metrics.horizontalAdvance(platform::FromBytes(text));
  };
  v.textHeight = metrics.height();
  const ViewerState& s = shared_.state;
  return PaintPlot(v, shared_.time, value, s.Range(), s.TimeTable(), buffer);
}

void TPlotFrm::Render(QPainter& p, bool printing) const {
  PlotPaint g = Geometry(printing);
  // The texts first, without a background: the ticks and the curve are
  // drawn over them and never lose a pixel to a label.
  p.setFont(LabelFont());
  p.setPen(Qt::red);
  p.setBackgroundMode(Qt::TransparentMode);
  for (const PlotText& t : g.texts)
    p.drawText(QRect(t.at.x, t.at.y, std::max(1, t.width), std::max(1, t.height)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, platform::FromBytes(t.text));
  p.setPen(QPen(Qt::black, 0));
  for (const PlotLine& l : g.lines) p.drawLine(l.a.x, l.a.y, l.b.x, l.b.y);
  std::vector<QPoint> pts;
  for (const auto& run : g.curve) {
    pts.clear();
    for (PlotPoint q : run) pts.emplace_back(q.x, q.y);
    if (pts.size() > 1) p.drawPolyline(pts.data(), int(pts.size()));
  }
}

void TPlotFrm::paintEvent(QPaintEvent*) {
  if (!inUse) return;
  QPainter p(this);
  Render(p, shared_.printing);
}

void TPlotFrm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) emit Activated();
}

void TPlotFrm::closeEvent(QCloseEvent* event) {
  // The window stays for reuse; its owner releases what it showed.
  event->accept();
  if (inUse) emit Closed(this);
}

}  // namespace krv::view
