// Message boxes, questions, file dialogs and beeps through Qt.
#include "platform/qt/qt_prompts.h"

#include <algorithm>

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>
#include <QTreeView>

#include "platform/qt/latin1.h"
#include "platform/qt/qt_process.h"
#include "platform/qt/wait_cursor.h"

namespace krv::platform {

// A box or dialog belongs to the window that asked for it, so that the
// window manager puts it in front of that window and gives it the keyboard:
// the active window, else the modal one on top, else the main window.
QWidget* QtPrompts::Owner() const {
  if (QWidget* w = QApplication::activeWindow(); w && w->isVisible()) return w;
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  return parent_;
}

// A box shown over its owner, modal, wide enough that the window manager
// shows its title beside its buttons rather than "...": a short text
// ("No find") makes a box narrower than that.
static QMessageBox::StandardButton RunBox(QWidget* owner, QMessageBox::Icon icon,
                                          const std::string& text,
                                          QMessageBox::StandardButtons buttons,
                                          const QPoint* at = nullptr) {
  QMessageBox box(icon, QApplication::applicationName(), FromBytes(text), buttons, owner);
  // A message often names a file and the system's reason: its text can be
  // selected with the mouse or the keys and copied (Ctrl+C).
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  // A row of its own as wide as the title needs; the box sizes itself
  // round its text as before.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int title = box.fontMetrics().horizontalAdvance(box.windowTitle());
    grid->addItem(new QSpacerItem(title + 160, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  if (at) box.move(*at);  // a dialog moved before it is shown keeps its place
  return QMessageBox::StandardButton(box.exec());
}

void QtPrompts::ShowMessage(const std::string& text) {
  RunBox(Owner(), QMessageBox::Information, text, QMessageBox::Ok);
}

Answer QtPrompts::Ask(const std::string& text, bool withCancel) {
  auto buttons = QMessageBox::Yes | QMessageBox::No;
  if (withCancel) buttons |= QMessageBox::Cancel;
  auto r = RunBox(Owner(), QMessageBox::Question, text, buttons);
  if (r == QMessageBox::Yes) return Answer::Yes;
  if (r == QMessageBox::No) return Answer::No;
  return Answer::Cancel;
}

bool QtPrompts::ConfirmOk(const std::string& text) {
  return RunBox(Owner(), QMessageBox::Warning, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool QtPrompts::ConfirmWarningAt(const std::string& text, int x, int y) {
  const QPoint at(x, y);
  return RunBox(Owner(), QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, &at) ==
         QMessageBox::Yes;
}

QString QtFilter(const std::string& filter) {
  QStringList parts = FromBytes(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(';', ' ');
    out << parts[i] + " (" + pattern + ")";
  }
  return out.join(";;");
}

// Room for the list's name, size, type and date columns beside the places.
static constexpr int kFileDialogWidth = 780;

static std::optional<std::string> RunFileDialog(QWidget* parent, const FileDialogSpec& desc,
                                                bool save) {
  QFileDialog dlg(parent, FromBytes(desc.title), FromBytes(desc.initialDir), QtFilter(desc.filter));
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile
                       : (desc.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
  if (save && !desc.askOverwrite) dlg.setOption(QFileDialog::DontConfirmOverwrite);
  if (!desc.defaultExt.empty()) dlg.setDefaultSuffix(FromBytes(desc.defaultExt));
  if (!desc.fileName.empty()) dlg.selectFile(FromBytes(desc.fileName));
  // The list's columns after the name as wide as what they show, once the
  // directory is read, in a dialog wide enough for them: a size or a date
  // is never cut to "698...tes".
  dlg.resize(std::max(dlg.sizeHint().width(), kFileDialogWidth), dlg.sizeHint().height());
  auto* list = dlg.findChild<QTreeView*>("treeView");
  auto* model = dlg.findChild<QFileSystemModel*>();
  if (list && model)
    QObject::connect(model, &QFileSystemModel::directoryLoaded, list, [list] {
      for (int c = 1; c < list->model()->columnCount(list->rootIndex()); ++c) list->resizeColumnToContents(c);
    });
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return ToBytes(dlg.selectedFiles().first());
}

std::optional<std::string> QtPrompts::OpenFileName(const FileDialogSpec& desc) {
  return RunFileDialog(Owner(), desc, false);
}

std::optional<std::string> QtPrompts::SaveFileName(const FileDialogSpec& desc) {
  return RunFileDialog(Owner(), desc, true);
}

std::optional<std::string> QtPrompts::ChooseDirectory(const std::string& title,
                                                      const std::string& start) {
  QString dir = QFileDialog::getExistingDirectory(Owner(), FromBytes(title), FromBytes(start));
  if (dir.isEmpty()) return std::nullopt;
  return ToBytes(dir);
}

void QtPrompts::Beep() { QApplication::beep(); }

void InstallQtPlatform(QWidget* mainWindow) {
  static QtPrompts prompts;
  static QtProcessStarter starter;
  prompts.SetParent(mainWindow);
  SetPrompts(&prompts);
  SetStarter(&starter);
  InstallQtHourglass();
}

}  // namespace krv::platform
