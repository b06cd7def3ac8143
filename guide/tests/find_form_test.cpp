// Qt Tests of the Find/Replace window on its four memos.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include "guide/forms/find_form.h"
#include "guide/forms/memo.h"
#include "platform/user_prompts.h"
#include "testing/qt_test_helpers.h"

using krv::guide::FindCommand;
using krv::guide::FindMemo;
using krv::guide::MemoSelStart;
using krv::guide::MemoText;
using krv::guide::SetMemoText;
using krv::platform::ScriptedPrompts;

class FindFormTest : public QObject {
  Q_OBJECT

  // The window and one memo per target, each in a window of its own.
  struct Fixture {
    QWidget main;
    TFindFrm find{&main};
    QPlainTextEdit qtl, psy, any, sosi;
    Fixture() {
      find.SetMemo(FindMemo::Qtl, &qtl);
      find.SetMemo(FindMemo::Psy, &psy);
      find.SetMemo(FindMemo::Any, &any);
      find.SetMemo(FindMemo::Sosi, &sosi);
    }
    void Type(const char* edit, const QString& text) {
      find.findChild<QLineEdit*>(edit)->setText(text);
    }
    void Click(const char* button) {
      QTest::mouseClick(find.findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // A click that goes through the window system, as the user's does, so
    // that a modal window can block it.
    void ClickOnScreen(const char* button) {
      QTest::mouseClick(find.windowHandle(), Qt::LeftButton, {},
                        find.findChild<QPushButton*>(button)->geometry().center());
    }
    QString Selected(QPlainTextEdit& m) { return m.textCursor().selectedText(); }
  };

 private slots:
  void designState() {
    Fixture f;
    QCOMPARE(f.find.windowTitle(), QString("Find/Replace"));
    QCOMPARE(f.find.findChild<QLineEdit*>("Edit1")->text(), QString("."));
    QCOMPARE(f.find.findChild<QLineEdit*>("Edit2")->text(), QString("."));
    QCOMPARE(f.find.findChild<QCheckBox*>("CaseBox")->text(), QString("Case Sensitive"));
    QVERIFY(!f.find.findChild<QCheckBox*>("CaseBox")->isChecked());
    QCOMPARE(f.find.findChild<QPushButton*>("LookUp")->text(), QString("SearchUp"));
    QCOMPARE(f.find.findChild<QPushButton*>("LookDwn")->text(), QString("Search Down"));
    QCOMPARE(f.find.findChild<QPushButton*>("BRep")->text(), QString("Do Replace"));
    // Above the window it belongs to, never above the program's dialogs.
    QVERIFY(!(f.find.windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!f.find.isVisible());
    f.main.show();
    f.find.ShowFor(FindCommand::SearchQtl);
    QCOMPARE(f.find.windowHandle()->transientParent(), f.main.windowHandle());
  }

  void captions() {
    Fixture f;
    struct {
      FindCommand command;
      const char* caption;
    } cases[] = {
        {FindCommand::SearchQtl, "Find/Replace in QTL file"},
        {FindCommand::SearchPsy, "Find/Replace in PSY file"},
        {FindCommand::SearchBoth, "Find/Replace in both QTL and PSY"},
        {FindCommand::SearchAny, "Find/Replace in Any file"},
        {FindCommand::SearchSosi, "Find/Replace in Any file"},  // kept from before
    };
    for (auto c : cases) {
      f.find.ShowFor(c.command);
      QVERIFY(f.find.isVisible());
      QCOMPARE(f.find.windowTitle(), QString(c.caption));
    }
  }

  void searchBothAndReplaceOnlyWhereItHit() {
    ScriptedPrompts prompts;
    Fixture f;
    SetMemoText(&f.qtl, "MPROC SYSTEM;\nbegin end;");
    SetMemoText(&f.psy, "procedure X;\nbegin\n  Q:=H\nend;");
    f.find.ShowFor(FindCommand::SearchBoth);
    f.Type("Edit1", "q:=h");
    f.Type("Edit2", "Q:=2*H");
    f.Click("LookDwn");
    QCOMPARE(prompts.messages, std::vector<std::string>{"No find"});
    QCOMPARE(f.Selected(f.psy), QString("Q:=H"));
    f.Click("BRep");
    QCOMPARE(MemoText(&f.psy), std::string("procedure X;\nbegin\n  Q:=2*H\nend;"));
    QCOMPARE(MemoText(&f.qtl), std::string("MPROC SYSTEM;\nbegin end;"));
    QVERIFY(f.psy.document()->isModified());
    QVERIFY(!f.qtl.document()->isModified());
  }

  void replaceGoesToTheSearchedMemoWhateverIsShowing() {
    ScriptedPrompts prompts;
    Fixture f;
    SetMemoText(&f.qtl, "x:=1;");
    SetMemoText(&f.any, "any text");
    f.any.show();  // the any-file window is showing
    f.find.ShowFor(FindCommand::SearchQtl);
    f.Type("Edit1", "1");
    f.Type("Edit2", "2");
    f.Click("LookDwn");
    f.Click("BRep");
    QCOMPARE(MemoText(&f.qtl), std::string("x:=2;"));
    QCOMPARE(MemoText(&f.any), std::string("any text"));
    QVERIFY(prompts.messages.empty());
  }

  void caseLatin1AndEmptyText() {
    ScriptedPrompts prompts;
    Fixture f;
    SetMemoText(&f.any, "caf\xe9 CAF\xc9 \xa0 end");
    f.find.ShowFor(FindCommand::SearchAny);
    f.Type("Edit1", QString::fromLatin1("caf\xe9"));
    f.Click("LookDwn");
    QCOMPARE(MemoSelStart(&f.any), size_t(0));
    f.Click("LookDwn");
    QCOMPARE(prompts.messages, std::vector<std::string>{"No find"});
    QCOMPARE(f.Selected(f.any), QString::fromLatin1("caf\xe9"));
    // Positions are the memo's own, past a no-break space too.
    f.Type("Edit1", "END");
    f.find.findChild<QCheckBox*>("CaseBox")->setChecked(true);
    f.Click("LookDwn");
    QCOMPARE(prompts.messages.size(), size_t(2));
    f.find.findChild<QCheckBox*>("CaseBox")->setChecked(false);
    f.Click("LookDwn");
    QCOMPARE(f.Selected(f.any), QString("end"));
    f.Type("Edit1", "");
    f.Click("LookUp");
    QCOMPARE(prompts.messages.size(), size_t(3));
    QCOMPARE(prompts.messages.back(), std::string("No find"));
  }

  void servesAModalOwner() {
    ScriptedPrompts prompts;
    Fixture f;
    f.main.show();
    QDialog sosiEditor(&f.main);
    auto* layout = new QVBoxLayout(&sosiEditor);
    layout->addWidget(&f.sosi);
    SetMemoText(&f.sosi, "SOSI text\nmore text");
    bool clicked = false;
    krv::testing::WhenModal(&sosiEditor, [&](QWidget*) {
      f.find.ShowFor(FindCommand::SearchSosi, &sosiEditor);
      f.Type("Edit1", "text");
      // The modal editor must not block the window's buttons.
      if (QTest::qWaitForWindowExposed(&f.find)) {
        f.ClickOnScreen("LookDwn");
        f.ClickOnScreen("LookDwn");
        clicked = MemoSelStart(&f.sosi) == 15;
      }
      sosiEditor.reject();
    });
    sosiEditor.exec();
    layout->removeWidget(&f.sosi);
    f.sosi.setParent(nullptr);
    QVERIFY(clicked);
    QVERIFY(prompts.messages.empty());
    // Back home and hidden once the owner is gone.
    QVERIFY(!f.find.isVisible());
    QCOMPARE(f.find.parentWidget(), &f.main);
  }
};

QTEST_MAIN(FindFormTest)
#include "find_form_test.moc"
