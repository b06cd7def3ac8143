// Message boxes, questions, file dialogs and beeps through Qt.
#pragma once

#include <QString>

#include "platform/user_prompts.h"

class QWidget;

namespace krv::platform {

class QtPrompts : public UserPrompts {
 public:
  explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(const std::string& text) override;
  Answer Ask(const std::string& text, bool withCancel) override;
  bool ConfirmOk(const std::string& text) override;
  bool ConfirmWarningAt(const std::string& text, int x, int y) override;
  std::optional<std::string> OpenFileName(const FileDialogSpec& desc) override;
  std::optional<std::string> SaveFileName(const FileDialogSpec& desc) override;
  std::optional<std::string> ChooseDirectory(const std::string& title,
                                             const std::string& start) override;
  void Beep() override;

  // The window a box or dialog opens over (see the .cpp).
  QWidget* Owner() const;

 private:
  QWidget* parent_;
};

// "QTL file|*.QTL|All|*" as a Qt name filter list "QTL file (*.QTL);;All (*)".
QString QtFilter(const std::string& filter);

// Installs Qt prompts and the Qt process starter for a program's lifetime.
void InstallQtPlatform(QWidget* mainWindow);

}  // namespace krv::platform
