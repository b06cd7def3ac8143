// The name of a save's root DSDir.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;

namespace krv::view {

class TTTRrootF : public QDialog {
  Q_OBJECT

 public:
  explicit TTTRrootF(QWidget* parent = nullptr);
  // Trims the entered name and tells whether it is acceptable; the dialog
  // beeps and stays open on a refused name.
  std::function<bool(std::string&)> accepts;
  void SetName(const std::string& name);
  std::string Name() const;

 public slots:
  void Button1Click();
  void Button2Click();

 private:
  QLineEdit* edit1_;
};

}  // namespace krv::view
