// A small window for the harness's own tests: it writes what reaches it
// (clicks, text, shortcuts, its dialog's answer) to the log file named by
// its first argument, and where its controls lie once shown to the second.
#include <QFile>
#include <QTimer>

#include "probe_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) return 2;
  const QString logFile = QString::fromLocal8Bit(argv[1]);
  const QString places = QString::fromLocal8Bit(argv[2]);
  Probe probe([logFile](const QString& line) {
    QFile f(logFile);
    if (f.open(QIODevice::Append)) f.write((line + "\n").toUtf8());
  });
  probe.show();
  // Once shown and laid out: every control's place in the client area.
  QTimer::singleShot(0, &probe, [&probe, places] {
    QFile f(places + ".part");
    if (!f.open(QIODevice::WriteOnly)) return;
    for (auto* w : probe.findChildren<QWidget*>()) {
      QPoint at = w->mapTo(&probe, QPoint(0, 0));
      f.write(QString("%1 %2 %3 %4 %5\n")
                  .arg(w->objectName())
                  .arg(at.x())
                  .arg(at.y())
                  .arg(w->width())
                  .arg(w->height())
                  .toUtf8());
    }
    f.close();
    f.rename(places);  // whole or not there
  });
  return app.exec();
}
