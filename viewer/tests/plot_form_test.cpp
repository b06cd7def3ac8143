// Plotvane's plot windows driven offscreen: toggling, the six-window limit,
// hiding, arrangements, zoom and scroll, painting and printing to PDF.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"
#include "viewer/forms/Plotvane1.h"
#include "viewer/forms/XSelect.h"
#include "viewer/forms/plot_frm.h"
#include "viewer/forms/range_dialogs.h"
#include "viewer/tests/ttr_fixture.h"

using namespace krv::view;

namespace {

// Eight variables over 101 steps; variable 0 rises from 0 to 100.
struct Window {
  krv::testing::TempDir dir;
  krv::platform::ScriptedPrompts prompts;
  TForm1 form;
  TXSelect xselect{form.State(), &form};
  Window() {
    form.SetSelectDialog(&xselect);
    form.resize(900, 700);
    form.show();
    testing::TTRSpec desc;
    desc.d = 7;
    desc.jtmax = 100;
    desc.value = [](int32_t jt, int i) { return i == 0 ? float(jt) : float(10 * i + jt % 3); };
    desc.time = [](int32_t jt) { return double(jt); };
    dir.Write("CASE1.TTR", testing::MakeTTRBytes(desc));
    dir.Write("CASE1.VNM", testing::MakeVNM(desc.label, desc.d));
    Attach();
  }
  void Attach() {
    prompts.files.push_back(dir.File("CASE1.TTR"));
    krv::testing::WhenModal({}, [](QWidget* shown) {
      auto* dlg = qobject_cast<TXSelect*>(shown);
      if (!dlg) qFatal("no selection dialog");
      dlg->findChild<QPushButton*>("OKbutton")->click();
    });
    form.findChild<QAction*>("AttachTTR1")->trigger();
  }
  void Click(int line) {
    form.findChild<QPushButton*>("SBt" + QString::number(line))->click();
  }
  void Trigger(const char* action) { form.findChild<QAction*>(action)->trigger(); }
  int InUse() {
    int n = 0;
    for (int i = 0; i < kPlotWindows; ++i) n += form.Plot(i)->inUse;
    return n;
  }
};

// Runs a tool, returning its standard output; skips when it is missing.
QByteArray Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return {};
  return p.readAllStandardOutput();
}

}  // namespace

class PlotFormTest : public QObject {
  Q_OBJECT

 private slots:
  void TogglesAtMostSixPlots() {
    Window w;
    for (int line = 0; line < 6; ++line) w.Click(line);
    QCOMPARE(w.InUse(), 6);
    TPlotFrm* first = w.form.Plot(0);
    QVERIFY(first->isVisible());
    QCOMPARE(first->windowTitle(), QString("   0 IO _X.V0"));
    QCOMPARE(first->buffer.size(), size_t(101));  // steps 0..99 and hi
    QCOMPARE(first->buffer[100], 100.0f);
    QCOMPARE(w.form.findChild<QPushButton*>("SBt5")->text(), QString("x"));
    w.Click(6);
    QCOMPARE(w.prompts.messages, std::vector<std::string>{"Max 6 plots already open"});
    QCOMPARE(w.InUse(), 6);
    w.Click(0);  // closes it again
    QVERIFY(!first->inUse);
    QVERIFY(!first->isVisible());
    QCOMPARE(w.form.findChild<QPushButton*>("SBt0")->text(), QString(" "));
    w.Click(6);  // the freed window takes the next one
    QCOMPARE(first->variable, int16_t(6));
    first->close();  // its close box releases it
    QVERIFY(!first->inUse);
    QCOMPARE(w.form.findChild<QPushButton*>("SBt6")->text(), QString(" "));

    w.prompts.answers.push_back(krv::platform::Answer::Yes);
    w.Trigger("DropAll1");
    QCOMPARE(w.InUse(), 0);
  }

  void AVariableListedTwiceIsOnePlot() {
    Window w;
    krv::testing::WhenModal({}, [](QWidget* shown) {
      auto* dlg = qobject_cast<TXSelect*>(shown);
      dlg->findChild<QPushButton*>("OKbutton")->click();
    });
    w.Trigger("DisplayAdd1");
    QCOMPARE(w.form.State().Last(), 15);
    w.form.findChild<QScrollBar*>("ScrollBar1")->setValue(0);
    w.Click(3);
    QCOMPARE(w.InUse(), 1);
    QCOMPARE(w.form.findChild<QPushButton*>("SBt11")->text(), QString("x"));
    w.Click(11);  // the same variable, listed again
    QCOMPARE(w.InUse(), 0);
  }

  void F6HidesAndShowsThePlots() {
    Window w;
    w.Click(0);
    w.Trigger("TogglePlotsF61");
    QVERIFY(!w.form.Plot(0)->isVisible());
    w.Click(1);  // opened while hidden: stays hidden
    QVERIFY(w.form.Plot(1)->inUse);
    QVERIFY(!w.form.Plot(1)->isVisible());
    w.Trigger("TogglePlotsF61");
    QVERIFY(w.form.Plot(0)->isVisible());
    QVERIFY(w.form.Plot(1)->isVisible());
    QCOMPARE(w.form.findChild<QAction*>("TogglePlotsF61")->shortcut(), QKeySequence(Qt::Key_F6));
  }

  void TileCascadeAndAlign() {
    Window w;
    for (int line : {0, 1, 2}) w.Click(line);
    int cw = w.form.centralWidget()->width(), ch = w.form.centralWidget()->height();
    // The places are the windows' outer frames; the client areas lie
    // inside them.
    w.Trigger("TilePlotsF121");
    int h = (ch - 45) / 3;
    for (int i = 0; i < 3; ++i) {
      TPlotFrm* frm = w.form.Plot(i);
      QCOMPARE(frm->frameGeometry(), QRect(0, 75 + i * h, cw, h));
      QVERIFY(frm->frameGeometry().contains(frm->geometry()));
    }
    w.Trigger("Cascade1");
    for (int i = 0; i < 3; ++i)
      QCOMPARE(w.form.Plot(i)->frameGeometry(), QRect(0, 75 + 20 * i, cw, ch - 120));
    w.form.Plot(1)->setGeometry(40, 300, 200, 150);
    int top = w.form.Plot(1)->frameGeometry().top(), height = w.form.Plot(1)->frameGeometry().height();
    w.Trigger("Align1");
    QCOMPARE(w.form.Plot(1)->frameGeometry(), QRect(0, top, cw, height));
    // Rescale is on: the value axis follows the new height.
    QCOMPARE(w.form.Plot(1)->value.gridIndex,
             ChooseGridStep(w.form.Plot(1)->height() / 2.0).index);
  }

  void ANewRangeRescalesThePlots() {
    Window w;
    auto* timeBar = w.form.findChild<QScrollBar*>("TimeBar");
    TTimeChgDlg* dlg = w.form.TimeChgDlg();
    auto restrict = [&](int hi, int lo) {
      w.Trigger("RestrictTrange1");
      timeBar->setValue(hi);
      dlg->findChild<QPushButton*>("Button1")->click();
      timeBar->setValue(lo);
      dlg->findChild<QPushButton*>("Button1")->click();
    };
    QScreen* screen = w.form.screen();
    const int pixels = TimeAxisPixels(screen->geometry().width(), w.form.centralWidget()->width());
    TPlotFrm* frm = w.form.Plot(0);
    // The whole curve lies between the top and the bottom of the window
    // and within the width the time axis was fitted to.
    auto fits = [&](const char* when) {
      PlotPaint g = frm->Geometry(false);
      QVERIFY2(g.curve.size() == 1, when);
      const std::vector<PlotPoint>& run = g.curve[0];
      QVERIFY2(run.size() == frm->buffer.size(), when);
      for (PlotPoint q : run) QVERIFY2(q.y >= 0 && q.y <= frm->height(), when);
      QVERIFY2(run.back().x - run.front().x <= pixels, when);
      // The value axis uses the height: the curve spans more than a third.
      QVERIFY2(run.front().y - run.back().y > frm->height() / 3, when);
    };
    w.Click(0);  // variable 0 rises with the step, 0..100
    w.Trigger("TilePlotsF121");  // as wide as the main window
    fits("opened");
    restrict(20, 0);
    QCOMPARE(frm->buffer.size(), size_t(21));
    fits("restricted");
    w.Click(0);
    w.Click(0);  // opened again within the range
    w.Trigger("TilePlotsF121");
    restrict(10, 2);
    fits("restricted again");
    w.Trigger("UnrestrictTrange1");
    QCOMPARE(frm->buffer.size(), size_t(101));
    timeBar->setValue(0);  // the plots start at the current step
    fits("unrestricted");
  }

  void ZoomKeepsTheTopAndScrollGoesDownToTheLowestValue() {
    Window w;
    w.Click(0);
    TPlotFrm* frm = w.form.Plot(0);
    double top = frm->value.top;
    int index = frm->value.gridIndex;
    auto arrows = frm->findChildren<QToolButton*>();
    QCOMPARE(arrows.size(), 2);
    for (QToolButton* b : arrows)
      if (b->arrowType() == Qt::UpArrow) b->click();
    QCOMPARE(frm->value.gridIndex, index + 1);
    QCOMPARE(frm->value.top, top);
    frm->findChild<QScrollBar*>("ScrollBar1")->setValue(100);
    QCOMPARE(frm->value.top, 0.0);  // the lowest value at the top edge
    int timeIndex = w.form.Time().gridIndex;
    for (QToolButton* b : w.form.findChild<QWidget*>("UpDown1")->findChildren<QToolButton*>())
      if (b->arrowType() == Qt::RightArrow) b->click();
    QCOMPARE(w.form.Time().gridIndex, timeIndex + 1);
  }

  void PaintsCurveAndTicksWhereTheGeometrySays() {
    Window w;
    w.Click(0);
    TPlotFrm* frm = w.form.Plot(0);
    frm->resize(636, 180);
    frm->RescalePlot();
    PlotPaint g = frm->Geometry(false);
    QVERIFY(g.valueTicks > 0);
    QVERIFY(g.timeTicks > 0);
    QCOMPARE(g.curve.size(), size_t(1));
    QImage img(frm->size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      frm->Render(p, false);
    }
    auto dark = [&](PlotPoint q) { return qGray(img.pixel(q.x, q.y)) < 128; };
    // No label takes a pixel from a tick, and every label lies whole in
    // the window.
    for (const PlotLine& l : g.lines) {
      PlotPoint mid{(l.a.x + l.b.x) / 2, (l.a.y + l.b.y) / 2};
      if (mid.x >= 0 && mid.x < img.width() && mid.y >= 0 && mid.y < img.height())
        QVERIFY2(dark(mid), qPrintable(QString("%1,%2").arg(mid.x).arg(mid.y)));
    }
    for (const PlotText& t : g.texts) QVERIFY(QRect(0, 0, frm->width(), frm->height()).contains(
                                          QRect(t.at.x, t.at.y, t.width, t.height)));
    const std::vector<PlotPoint>& run = g.curve[0];
    PlotPoint mid = run[run.size() / 2];
    if (mid.x >= 0 && mid.x < img.width() && mid.y >= 0 && mid.y < img.height()) QVERIFY(dark(mid));
    // The labels are red.
    bool red = false;
    for (int y = 0; y < img.height() && !red; ++y)
      for (int x = 0; x < 100 && !red; ++x) {
        QRgb c = img.pixel(x, y);
        red = qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
      }
    QVERIFY(red);
  }

  void PrintsOnePageForEachPlotInUse() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||
        QStandardPaths::findExecutable("pdftoppm").isEmpty())
      QFAIL("pdftotext and pdftoppm (poppler-utils) are needed: sh tools/install-deps.sh");
    Window w;
    w.Click(0);
    w.Click(2);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    QString pdf = krv::platform::FromBytes(w.dir.File("PLOTS.pdf"));
    printer.setOutputFileName(pdf);
    w.form.PrintPlots(printer);
    QByteArray text = Run("pdftotext", {"-layout", pdf, "-"});
    QCOMPARE(text.count('\f'), 2);  // two pages
    QVERIFY(text.contains("_X.V0"));
    QVERIFY(text.contains("_X.V2"));
    QVERIFY(text.contains("E+01"));  // value labels stay text
    QString png = krv::platform::FromBytes(w.dir.File("PAGE"));
    Run("pdftoppm", {"-r", "30", "-gray", "-png", pdf, png});
    QImage page(png + "-1.png");
    if (page.isNull()) page.load(png + "-01.png");
    QVERIFY(!page.isNull());
    // The frame's bottom line: a long dark run across the page.
    int longest = 0;
    for (int y = 0; y < page.height(); ++y) {
      int run = 0;
      for (int x = 0; x < page.width(); ++x) {
        run = qGray(page.pixel(x, y)) < 128 ? run + 1 : 0;
        longest = std::max(longest, run);
      }
    }
    QVERIFY2(longest > page.width() / 2, qPrintable(QString::number(longest)));
  }
};

QTEST_MAIN(PlotFormTest)
#include "plot_form_test.moc"
