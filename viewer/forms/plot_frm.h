// A plot window: one displayed variable's trajectory over the range in
// use, drawn from PlotU's geometry on the screen or on a printer page.
#pragma once

#include <QFont>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/PlotU.h"
#include "viewer/viewer_state.h"

class QPainter;
class QScrollBar;

namespace krv::view {

class UpDown;

// What every plot shares: the viewer state, the time axis, and the flag
// set while printing.
struct PlotShared {
  const ViewerState& state;
  TimeAxis& time;
  bool printing = false;
};

class TPlotFrm : public QWidget {
  Q_OBJECT

 public:
  TPlotFrm(PlotShared& shared, QWidget* owner);

  int16_t variable = 0;
  bool inUse = false;
  std::vector<float> buffer;
  ValueAxis value;

  // N + 2 entries for the range in use.
  void AllocPlotBuffer();
  // Scales the value axis to the buffer (the scroll bar stays).
  void RescalePlot();
  // The scroll bar back to the autoscaled view.
  void ResetScroll();
  // The geometry of a paint at the window's present size and screen place.
  PlotPaint Geometry(bool printing) const;
  // Draws the geometry with `p` in window pixels (lines black, text red,
  // 7 points at the screen's resolution).
  void Render(QPainter& p, bool printing) const;
  // The labels' font: 7 points at the screen's resolution.
  QFont LabelFont() const;

 signals:
  // The window was closed by its close box; the owner releases it.
  void Closed(TPlotFrm* frm);
  // The window became the active one (the window manager raised it).
  void Activated();

 public slots:
  void UpDown1Click(bool up);
  void ScrollBar1Change(int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  PlotShared& shared_;
  UpDown* upDown1_;
  QScrollBar* scrollBar1_;
};

}  // namespace krv::view
