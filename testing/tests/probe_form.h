// The window of the harness's probe program, built alike by the program
// and, offscreen, by the tests that ask where its controls lie.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <functional>

struct Probe : QWidget {
  // `log` gets a line for each thing that reaches the window.
  explicit Probe(std::function<void(const QString&)> log = [](const QString&) {}) {
    setObjectName("Probe");
    setWindowTitle("Probe window");
    setGeometry(200, 150, 420, 300);
    auto* edit = new QLineEdit(this);
    edit->setObjectName("Edit");
    edit->setGeometry(20, 20, 240, 26);
    auto* press = new QPushButton("Press", this);
    press->setObjectName("Press");
    press->setGeometry(20, 60, 110, 30);
    // Laid out, not placed: the offscreen places must agree all the same.
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel");
    panel->setGeometry(20, 110, 380, 170);
    auto* column = new QVBoxLayout(panel);
    auto* row = new QHBoxLayout;
    for (const char* name : {"Left", "Right"}) {
      auto* b = new QPushButton(name, panel);
      b->setObjectName(name);
      row->addWidget(b);
    }
    column->addLayout(row);
    column->addStretch();
    auto* low = new QPushButton("Low", panel);
    low->setObjectName("Low");
    column->addWidget(low);

    connect(edit, &QLineEdit::returnPressed, [edit, log] { log("text " + edit->text()); });
    for (auto* b : findChildren<QPushButton*>())
      connect(b, &QPushButton::clicked, [b, log] { log("clicked " + b->objectName()); });
    connect(press, &QPushButton::clicked, this, [this, log] {
      QDialog d(this);
      d.setWindowTitle("Probe dialog");
      d.setGeometry(260, 240, 240, 120);
      auto* ok = new QPushButton("OK", &d);
      ok->setGeometry(70, 50, 100, 30);
      ok->setDefault(true);
      connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
      log(d.exec() == QDialog::Accepted ? "dialog accepted" : "dialog rejected");
    });
    new QShortcut(QKeySequence("Ctrl+S"), this, [log] { log("shortcut ctrl+s"); });
    new QShortcut(QKeySequence("Ctrl+Q"), this, [] { QApplication::exit(7); });
  }
};

