// The one door through which programs ask the user something.
#include "platform/user_prompts.h"

namespace krv::platform {

namespace {
class SilentPrompts : public UserPrompts {
 public:
  void ShowMessage(const std::string&) override {}
  Answer Ask(const std::string&, bool withCancel) override {
    return withCancel ? Answer::Cancel : Answer::No;
  }
  std::optional<std::string> OpenFileName(const FileDialogSpec&) override { return {}; }
  std::optional<std::string> SaveFileName(const FileDialogSpec&) override { return {}; }
  std::optional<std::string> ChooseDirectory(const std::string&, const std::string&) override {
    return {};
  }
  void Beep() override {}
};

SilentPrompts g_silent;
UserPrompts* g_prompts = &g_silent;
}  // namespace

UserPrompts& Prompts() { return *g_prompts; }
void SetPrompts(UserPrompts* prompts) { g_prompts = prompts ? prompts : &g_silent; }

Answer ScriptedPrompts::Ask(const std::string& text, bool withCancel) {
  questions.push_back(text);
  if (answers.empty()) return withCancel ? Answer::Cancel : Answer::No;
  Answer a = answers.front();
  answers.pop_front();
  return a;
}

static std::optional<std::string> TakeFile(std::deque<std::optional<std::string>>& files) {
  if (files.empty()) return std::nullopt;
  auto f = files.front();
  files.pop_front();
  return f;
}

std::optional<std::string> ScriptedPrompts::OpenFileName(const FileDialogSpec& desc) {
  dialogs.push_back(desc);
  return TakeFile(files);
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const FileDialogSpec& desc) {
  dialogs.push_back(desc);
  return TakeFile(files);
}

std::optional<std::string> ScriptedPrompts::ChooseDirectory(const std::string& title,
                                                            const std::string& start) {
  dialogs.push_back(FileDialogSpec{title, "", "", start, "", false});
  return TakeFile(files);
}

}  // namespace krv::platform
