#include "machine/machine_file.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>

#include "platform/profile/profile.h"
#include "run/text_entry.h"

namespace tervane {

namespace {

// A whole number, or "none" where a sensor may be left out.
struct Reader {
  QString path;
  QString section;
  QStringList errors;

  std::optional<QString> text(const char* key) {
    const auto v = platform::profile::read(section.toStdString(), key, path.toStdString());
    if (!v) return std::nullopt;
    return QString::fromStdString(*v).trimmed();
  }
  void number(const char* key, int64_t& out) {
    if (const auto t = text(key)) {
      bool ok = false;
      const qlonglong v = t->toLongLong(&ok);
      if (ok) {
        out = v;
      } else {
        errors << QStringLiteral("[%1] %2=%3 is not a whole number").arg(section, key, *t);
      }
    }
  }
  void optionalNumber(const char* key, std::optional<int64_t>& out) {
    if (const auto t = text(key);
        t && t->compare(QStringLiteral("none"), Qt::CaseInsensitive) == 0) {
      out.reset();
      return;
    }
    int64_t v = out.value_or(0);
    const int before = errors.size();
    number(key, v);
    if (text(key) && errors.size() == before) out = v;
  }
  void level(const char* key, unsigned& out) {
    if (const auto t = text(key)) {
      if (*t == QStringLiteral("0") || *t == QStringLiteral("1")) {
        out = t->toUInt();
      } else {
        errors << QStringLiteral("[%1] %2=%3 must be 0 or 1").arg(section, key, *t);
      }
    }
  }
};

}  // namespace

std::variant<Machine, QString> readMachineFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !info.isReadable())
    return QStringLiteral("cannot read the machine file %1").arg(path);
  Machine machine;
  QStringList errors;
  for (int a = 0; a < 4; ++a) {
    Reader r{path, QStringLiteral("Axis%1").arg(a), {}};
    AxisSensors& s = machine[a];
    r.optionalNumber("HomePosition", s.homePosition);
    r.number("HomeWidth", s.homeWidth);
    r.level("HomeLevel", s.homeLevel);
    r.number("IndexEvery", s.indexEvery);
    r.number("IndexPhase", s.indexPhase);
    r.optionalNumber("UpperLimit", s.upperLimit);
    r.optionalNumber("LowerLimit", s.lowerLimit);
    r.level("UpperLevel", s.upperLevel);
    r.level("LowerLevel", s.lowerLevel);
    if (s.homeWidth <= 0)
      r.errors << QStringLiteral("[%1] HomeWidth must be above 0").arg(r.section);
    if (s.indexEvery < 0)
      r.errors << QStringLiteral("[%1] IndexEvery must not be negative").arg(r.section);
    errors << r.errors;
  }
  if (!errors.isEmpty())
    return QStringLiteral("machine file %1: %2").arg(path, errors.join(QStringLiteral("; ")));
  return machine;
}

QString describeVirtualMachine(const Machine& machine) {
  const AxisSensors& s = machine[0];
  const bool same =
      std::all_of(machine.begin(), machine.end(), [&s](const AxisSensors& o) { return o == s; });
  auto sensor = [](const std::optional<int64_t>& v) {
    return v ? QString::number(*v) : QStringLiteral("none");
  };
  QString text = QStringLiteral(" Virtual card (real time), axes 0 to 3");
  if (same) {
    text += QStringLiteral(": home sensor at %1, index every %2, over-travel at %3 / %4 pulses")
                .arg(sensor(s.homePosition))
                .arg(s.indexEvery)
                .arg(sensor(s.upperLimit), sensor(s.lowerLimit));
  } else {
    text += QStringLiteral(" with the sensors of the machine file");
  }
  return text;
}

}  // namespace tervane
