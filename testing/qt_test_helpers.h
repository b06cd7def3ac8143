// Answering a form's modal windows from a Qt test: wait for one to come up, then act on it.
//
//   krv::testing::WhenModal("LSQfrm", [&](QWidget* w) { ... click its OK ... });
//   krv::testing::WhenModal<QMessageBox>([&](QMessageBox* box) { box->accept(); });
//   Action(f, "Load1")->trigger();   // runs the window's event loop, where it is answered
//
// A modal window runs an event loop of its own, so the answer comes from a
// timer that looks for the window every few milliseconds while that loop
// runs. The answer is given once; a watch that is no longer wanted is
// deleted through the pointer WhenModal returns.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace krv::testing {

// Which modal window to answer: any, the one of an object name, or one
// given window.
struct ModalWindow {
  ModalWindow();
  ModalWindow(const char* objectName);
  ModalWindow(const QString& objectName);
  ModalWindow(QWidget* window);
  ModalWindow(std::function<bool(QWidget*)> matches, QString what);

  std::function<bool(QWidget*)> matches;
  QString what;  // named when it never comes up
};

// What becomes of the window when the answer leaves it open: a check that
// failed inside the answer returns early, and a window left up would hang
// the test.
enum class LeftOpen { Reject, Keep };

// Runs `answer` on the active modal window once it is `window`. The test
// ends with a fatal message naming the window if it has not come up within
// 30 s or before the test function that armed the watch has ended.
QPointer<QTimer> WhenModal(const ModalWindow& window, std::function<void(QWidget*)> answer,
                           LeftOpen left = LeftOpen::Reject);

// Runs `answer` on the active modal window once it is a T.
template <class T>
QPointer<QTimer> WhenModal(std::function<void(T*)> answer, LeftOpen left = LeftOpen::Reject) {
  return WhenModal(
      ModalWindow([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                  QString::fromLatin1(T::staticMetaObject.className())),
      [answer](QWidget* w) { answer(qobject_cast<T*>(w)); }, left);
}

}  // namespace krv::testing
