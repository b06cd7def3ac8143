// Watches for a form's modal window in a Qt test and answers it.
#include "testing/qt_test_helpers.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <chrono>

namespace krv::testing {

namespace {

constexpr int kPollMs = 5;
constexpr auto kGiveUp = std::chrono::seconds(30);

QByteArray CurrentTestFunction() {
  const char* name = QTest::currentTestFunction();
  return name ? QByteArray(name) : QByteArray();
}

}  // namespace

ModalWindow::ModalWindow() : matches([](QWidget*) { return true; }), what("a modal window") {}

ModalWindow::ModalWindow(const char* objectName) : ModalWindow(QString::fromUtf8(objectName)) {}

ModalWindow::ModalWindow(const QString& objectName)
    : matches([objectName](QWidget* w) { return w->objectName() == objectName; }), what(objectName) {}

ModalWindow::ModalWindow(QWidget* window)
    : matches([window](QWidget* w) { return w == window; }),
      what(window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                          : window->objectName()) {}

ModalWindow::ModalWindow(std::function<bool(QWidget*)> m, QString w)
    : matches(std::move(m)), what(std::move(w)) {}

QPointer<QTimer> WhenModal(const ModalWindow& window, std::function<void(QWidget*)> answer,
                           LeftOpen left) {
  QPointer<QTimer> timer = new QTimer;
  const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
  const QByteArray armedIn = CurrentTestFunction();
  QObject::connect(timer, &QTimer::timeout, [timer, window, answer, left, deadline, armedIn] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || !window.matches(w)) {
      // A watch outliving its test would answer a later test's window.
      if (std::chrono::steady_clock::now() > deadline || CurrentTestFunction() != armedIn)
        qFatal("%s did not come up as a modal window in %s", qPrintable(window.what),
               armedIn.isEmpty() ? "the test" : armedIn.constData());
      return;
    }
    timer->stop();
    timer->deleteLater();
    QPointer<QWidget> shown = w;
    answer(w);
    if (left == LeftOpen::Reject && shown && shown->isVisible()) {
      if (auto* dialog = qobject_cast<QDialog*>(shown.data()))
        dialog->reject();
      else
        shown->close();
    }
  });
  timer->start(kPollMs);
  return timer;
}

}  // namespace krv::testing
