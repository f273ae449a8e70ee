#include "widgets/number_box.h"

#include <QSignalBlocker>

namespace tervane {

QValidator::State KeyValidator::validate(QString& input, int& pos) const {
  const auto kept = filtered(input, keys_);
  if (!kept) return Invalid;
  if (*kept != input) {
    pos = static_cast<int>(filtered(QStringView(input).left(pos), {keys_.minus, 1 << 20})->size());
    input = *kept;
  }
  return Acceptable;
}

NumberBox::NumberBox(const QString& objectName, KeyFilter keys, QWidget* parent)
    : QLineEdit(parent), keys_(keys) {
  setObjectName(objectName);
  setValidator(new KeyValidator(keys, this));
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void NumberBox::rewrite(const QString& text) {
  if (this->text() == text) return;
  // The stored value is the one rewritten: the change handler has run.
  const QSignalBlocker quiet(this);
  setText(text);
}

}  // namespace tervane
