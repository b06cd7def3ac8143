// The one door through which programs ask the user something: message
// boxes, confirmations, file and directory dialogs and beeps. Windows use
// the Qt implementation; tests install ScriptedPrompts and answer.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace krv::platform {

struct FileDialogSpec {
  std::string title;
  std::string filter;         // "QTL file|*.QTL", pairs separated by '|'
  std::string defaultExt;     // without the dot
  std::string initialDir;
  std::string fileName;       // preset file name
  bool mustExist = false;
  bool askOverwrite = false;  // save dialogs: ask before replacing a file
};

enum class Answer { Yes, No, Cancel };

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  // A question with Yes and No (and Cancel when `withCancel`).
  virtual Answer Ask(const std::string& text, bool withCancel) = 0;
  virtual std::optional<std::string> OpenFileName(const FileDialogSpec& desc) = 0;
  virtual std::optional<std::string> SaveFileName(const FileDialogSpec& desc) = 0;
  virtual std::optional<std::string> ChooseDirectory(const std::string& title,
                                                     const std::string& start) = 0;
  virtual void Beep() = 0;

  bool Confirm(const std::string& text) { return Ask(text, false) == Answer::Yes; }
  // A warning with OK and Cancel; true for OK. Scripted answers: Yes is OK.
  virtual bool ConfirmOk(const std::string& text) { return Confirm(text); }
  // A warning with Yes and No, its box at screen position (x, y); true for Yes.
  virtual bool ConfirmWarningAt(const std::string& text, int /*x*/, int /*y*/) { return Confirm(text); }
};

// The prompts in force; never null (a silent default that answers No and
// Cancel is installed until a program or test sets its own).
UserPrompts& Prompts();
void SetPrompts(UserPrompts* prompts);

// Answers from queues and records what was shown; for tests.
class ScriptedPrompts : public UserPrompts {
 public:
  ScriptedPrompts() { SetPrompts(this); }
  ~ScriptedPrompts() override { SetPrompts(nullptr); }

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  Answer Ask(const std::string& text, bool withCancel) override;
  std::optional<std::string> OpenFileName(const FileDialogSpec& desc) override;
  std::optional<std::string> SaveFileName(const FileDialogSpec& desc) override;
  std::optional<std::string> ChooseDirectory(const std::string& title,
                                             const std::string& start) override;
  void Beep() override { ++beeps; }
  bool ConfirmWarningAt(const std::string& text, int x, int y) override {
    placedAt.push_back({x, y});
    return Confirm(text);
  }

  std::vector<std::string> messages;   // every message shown
  std::vector<std::string> questions;  // every question asked
  std::vector<FileDialogSpec> dialogs; // every file dialog opened
  std::deque<Answer> answers;          // empty: No (Cancel when offered)
  std::deque<std::optional<std::string>> files;  // empty: cancelled
  int beeps = 0;
  std::vector<std::pair<int, int>> placedAt;  // where each placed question stood
};

}  // namespace krv::platform
