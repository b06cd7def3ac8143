// The Log window.
#include "series/forms/TLogFrm.h"

#include <QAction>
#include <QListWidget>
#include <QMenuBar>
#include <QVBoxLayout>

#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "series/series_log.h"

namespace krv::series {

TLogFrm::TLogFrm(SeriesLog& log, QWidget* parent) : QDialog(parent), log_(log) {
  setObjectName("LogFrm");
  setWindowTitle("Log");
  resize(524, 300);
  auto* menu = new QMenuBar(this);
  File1 = menu->addAction("&File");
  File1->setObjectName("File1");
  Close1 = menu->addAction("&Close");
  Close1->setObjectName("Close1");
  sELECT1 = menu->addAction("SELECT");
  sELECT1->setObjectName("sELECT1");
  sELECT1->setVisible(false);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);  // a fixed pitch where Courier New is missing
  ListBox1->setFont(font);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(menu);
  layout->addWidget(ListBox1);
  connect(File1, &QAction::triggered, this, &TLogFrm::File1Click);
  connect(Close1, &QAction::triggered, this, &TLogFrm::Close1Click);
  connect(sELECT1, &QAction::triggered, this, &TLogFrm::sELECT1Click);
  log_.SetOnChange([this] { Follow(); });
  Follow();
}

TLogFrm::~TLogFrm() { log_.SetOnChange(nullptr); }

void TLogFrm::Clear() { log_.Clear(); }
void TLogFrm::AddLine(const std::string& text) { log_.AddLine(text); }
void TLogFrm::AppendToLine(const std::string& text) { log_.AppendToLine(text); }

// The Log only adds lines, changes its current one, or starts again.
void TLogFrm::Follow() {
  const auto& lines = log_.Lines();
  int shown = ListBox1->count();
  if (int(lines.size()) < shown) {
    ListBox1->clear();
    shown = 0;
  }
  int current = log_.CurrentLine();
  if (current >= 0 && current < shown)
    ListBox1->item(current)->setText(platform::FromBytes(lines[size_t(current)]));
  for (size_t i = size_t(shown); i < lines.size(); ++i)
    ListBox1->addItem(platform::FromBytes(lines[i]));
}

void TLogFrm::File1Click() {
  platform::FileDialogSpec SaveDialog1;
  SaveDialog1.filter = "Log text file|*.TXT";
  SaveDialog1.defaultExt = "TXT";
  SaveDialog1.askOverwrite = true;
  auto path = platform::Prompts().SaveFileName(SaveDialog1);
  if (!path) return;
  if (!log_.Save(*path)) platform::Prompts().ShowMessage("I/O error writing " + *path);
}

void TLogFrm::Close1Click() { close(); }

void TLogFrm::sELECT1Click() { done(QDialog::Accepted); }

}  // namespace krv::series
