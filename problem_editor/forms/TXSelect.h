// The variable selection dialog: number range, mask, kind filter.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace krv::pe {

class EditorSession;
struct EditorBuffer;

class TXSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TXSelect(EditorSession& session, QWidget* parent = nullptr);

  // The buffer the next run works on; set by the caller before showing.
  void SetBuffer(EditorBuffer* buffer, bool mainBuffer);

 public slots:
  void XSELSetup();
  void XSelOK();

 protected:
  void showEvent(QShowEvent* ev) override;

 private:
  EditorSession& session_;
  EditorBuffer* buffer_ = nullptr;
  bool mainBuffer_ = true;
  QLineEdit* begin_;
  QLineEdit* end_;
  QLineEdit* mask_;
  QRadioButton* any_;
  QRadioButton* empty_;
  QCheckBox* dropAll_;
  std::string beginShown_, endShown_;
};

}  // namespace krv::pe
