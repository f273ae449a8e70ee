#include "widgets/number_box.h"

#include <QSignalBlocker>

#include "platform/msgbox/msgbox.h"

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

namespace {

template <typename T, typename Parse, typename Write>
std::optional<T> take(NumberBox& box, bool minusAlone, OnError onError, Parse parse, Write write) {
  const QString text = box.text();
  if (text.isEmpty() || (minusAlone && text == QStringLiteral("-"))) return std::nullopt;
  const std::optional<T> value = parse(text);
  if (!value) {
    platform::msgbox::show(onError.message, "Error");
    box.setText(QString::fromLatin1(onError.reset));
    return std::nullopt;
  }
  box.rewrite(write(*value));
  return value;
}

}  // namespace

std::optional<int32_t> NumberBox::takeWholeNumber(bool minusAlone, OnError onError) {
  return take<int32_t>(
      *this, minusAlone, onError, [](const QString& t) { return parseInt32(t); },
      [](int32_t v) { return QString::number(v); });
}

std::optional<double> NumberBox::takeNumber(bool minusAlone, OnError onError) {
  return take<double>(
      *this, minusAlone, onError, [](const QString& t) { return parseNumber(t); },
      [](double v) { return plainNumber(v); });
}

void NumberBox::rewrite(const QString& text) {
  if (this->text() == text) return;
  // The stored value is the one rewritten: the change handler has run.
  const QSignalBlocker quiet(this);
  setText(text);
}

}  // namespace tervane
