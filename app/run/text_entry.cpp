#include "run/text_entry.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace tervane {

std::optional<QString> filtered(QStringView text, KeyFilter keys) {
  QString kept;
  kept.reserve(text.size());
  for (QChar c : text) {
    if ((c >= u'0' && c <= u'9') || (keys.minus && c == u'-')) kept += c;
  }
  if (kept.size() > keys.maxLength) return std::nullopt;
  return kept;
}

std::optional<int32_t> parseInt32(QStringView text) {
  static const QRegularExpression form(QStringLiteral("^-?[0-9]+$"));
  if (!form.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (!ok || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<double> parseNumber(QStringView text) {
  static const QRegularExpression form(QStringLiteral("^-?([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
  if (!form.match(text).hasMatch()) return std::nullopt;
  bool ok = false;
  const double v = text.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

double valueOrZero(QStringView text) {
  return parseNumber(text.trimmed()).value_or(0.0);
}

QString plainNumber(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15)
    return QString::number(static_cast<qlonglong>(value));
  return QString::number(value, 'g', 15);
}

}  // namespace tervane
