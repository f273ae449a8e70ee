// A text box that takes only the keys of its KeyFilter up to its longest
// text, for typed and pasted text alike (a text the program sets is taken as
// it is). `changed` is the box's change handler hook: it runs for every text
// change, the program's own included, as the forms' handlers expect.
#pragma once

#include <QLineEdit>
#include <QValidator>

#include "run/text_entry.h"

namespace tervane {

class KeyValidator : public QValidator {
  Q_OBJECT

 public:
  KeyValidator(KeyFilter keys, QObject* parent) : QValidator(parent), keys_(keys) {}
  State validate(QString& input, int& pos) const override;

 private:
  KeyFilter keys_;
};

class NumberBox : public QLineEdit {
  Q_OBJECT

 public:
  NumberBox(const QString& objectName, KeyFilter keys, QWidget* parent = nullptr);
  KeyFilter keys() const { return keys_; }
  // Writes the stored number back into the box (without running the change
  // handler again); only when it differs, so the cursor stays put.
  void rewrite(const QString& text);

 private:
  KeyFilter keys_;
};

}  // namespace tervane
