// A text box that takes only the keys of its KeyFilter up to its longest
// text, for typed and pasted text alike (a text the program sets is taken as
// it is). `changed` is the box's change handler hook: it runs for every text
// change, the program's own included, as the forms' handlers expect.
#pragma once

#include <QLineEdit>
#include <QValidator>
#include <optional>

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

// What a box does with a text it cannot convert: the message box's text
// (caption "Error") and the text the box is set to.
struct OnError {
  const char* message = "Error";
  const char* reset = "0";
};

class NumberBox : public QLineEdit {
  Q_OBJECT

 public:
  NumberBox(const QString& objectName, KeyFilter keys, QWidget* parent = nullptr);
  KeyFilter keys() const { return keys_; }

  // The common part of the boxes' change handlers. Nothing for an empty text
  // (or "-" alone, where `minusAlone` says to ignore it); the value when the
  // text converts, with the box rewritten as that number; otherwise the
  // message box of `onError`, the box set to its reset text (which runs the
  // handler again) and nothing.
  std::optional<int32_t> takeWholeNumber(bool minusAlone = false, OnError onError = {});
  std::optional<double> takeNumber(bool minusAlone = false, OnError onError = {});
  // Writes the stored number back into the box (without running the change
  // handler again); only when it differs, so the cursor stays put.
  void rewrite(const QString& text);

 private:
  KeyFilter keys_;
};

}  // namespace tervane
