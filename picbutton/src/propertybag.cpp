#include "glyphkey/propertybag.h"

#include <QSettings>
#include <QStringList>

#include "glyphkey/errors.h"

namespace glyphkey {

namespace {

const QString kArray = QStringLiteral("Property");
const QString kName = QStringLiteral("Name");
const QString kValue = QStringLiteral("Value");

[[noreturn]] void typeMismatch(const QString& name, const QVariant& value) {
  throw PropertyError(PropertyError::Code::TypeMismatch,
                      QStringLiteral("Type mismatch: property \"%1\" cannot take \"%2\"")
                          .arg(name, value.toString())
                          .toStdString());
}

bool isText(const QVariant& value) {
  return value.typeId() == QMetaType::QString;
}

// Values are kept as text in the form file.
QString encode(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::UInt:
      return QStringLiteral("0x") +
             QString::number(value.toUInt(), 16).toUpper().rightJustified(8, QLatin1Char('0'));
    case QMetaType::QFont:
      return value.value<QFont>().toString();
    default:
      return value.toString();
  }
}

}  // namespace

void PropertyBag::writeProperty(const QString& name, const QVariant& value,
                                const QVariant& defaultValue) {
  if (value == defaultValue) return;
  entries_.push_back({name, value});
}

QVariant PropertyBag::readProperty(const QString& name, const QVariant& defaultValue) {
  const int wanted = cursors_.value(name, 0);
  const Entry* found = nullptr;
  int seen = 0;
  for (const Entry& entry : entries_) {
    if (entry.name != name) continue;
    found = &entry;
    if (seen++ == wanted) break;
  }
  cursors_[name] = wanted + 1;
  return found ? found->value : defaultValue;
}

bool PropertyBag::readBool(const QString& name, bool defaultValue) {
  const QVariant value = readProperty(name, defaultValue);
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (isText(value)) {
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("-1"))
      return true;
    if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
  }
  typeMismatch(name, value);
}

QString PropertyBag::readString(const QString& name, const QString& defaultValue) {
  const QVariant value = readProperty(name, defaultValue);
  if (isText(value) || value.canConvert<QString>()) return value.toString();
  typeMismatch(name, value);
}

OleColor PropertyBag::readColor(const QString& name, OleColor defaultValue) {
  const QVariant value = readProperty(name, defaultValue);
  bool ok = false;
  qulonglong number = 0;
  if (isText(value)) {
    const QString text = value.toString().trimmed();
    number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                 ? text.mid(2).toULongLong(&ok, 16)
                 : text.toULongLong(&ok, 10);
  } else if (value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::Int ||
             value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::ULongLong) {
    const qlonglong signedNumber = value.toLongLong();
    ok = value.typeId() == QMetaType::ULongLong || signedNumber >= 0;
    number = value.toULongLong();
  }
  if (!ok || number > 0xFFFFFFFFull) typeMismatch(name, value);
  return static_cast<OleColor>(number);
}

QFont PropertyBag::readFont(const QString& name, const QFont& defaultValue) {
  const QVariant value = readProperty(name, defaultValue);
  if (value.typeId() == QMetaType::QFont) return value.value<QFont>();
  QFont font;
  if (isText(value) && font.fromString(value.toString())) return font;
  typeMismatch(name, value);
}

int PropertyBag::count(const QString& name) const {
  int n = 0;
  for (const Entry& entry : entries_)
    n += entry.name == name ? 1 : 0;
  return n;
}

void PropertyBag::save(QSettings& settings) const {
  settings.remove(kArray);
  settings.beginWriteArray(kArray, static_cast<int>(entries_.size()));
  for (int i = 0; i < static_cast<int>(entries_.size()); ++i) {
    settings.setArrayIndex(i);
    settings.setValue(kName, entries_[i].name);
    settings.setValue(kValue, encode(entries_[i].value));
  }
  settings.endArray();
}

PropertyBag PropertyBag::load(QSettings& settings) {
  PropertyBag bag;
  const int size = settings.beginReadArray(kArray);
  for (int i = 0; i < size; ++i) {
    settings.setArrayIndex(i);
    QVariant value = settings.value(kValue);
    // An unquoted text with commas comes back from an INI file as a list.
    if (value.typeId() == QMetaType::QStringList)
      value = value.toStringList().join(QLatin1Char(','));
    bag.entries_.push_back({settings.value(kName).toString(), value.toString()});
  }
  settings.endArray();
  return bag;
}

}  // namespace glyphkey
