#include "state/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/profile/profile.h"
#include "run/text_entry.h"

namespace tervane {

namespace {

// How a key's value is judged when read.
struct KeyRule {
  ParameterKey key;
  std::function<bool(const QString&)> usable;
};

bool numberWith(const QString& text, KeyFilter keys) {
  const auto kept = filtered(text, KeyFilter{keys.minus, kParameterFieldSize - 1});
  return kept && *kept == text && parseNumber(text).has_value();
}

std::function<bool(const QString&)> number(KeyFilter keys) {
  return [keys](const QString& t) { return numberWith(t, keys); };
}
std::function<bool(const QString&)> time() {
  return [](const QString& t) { return numberWith(t, kTimeKeys) && parseInt32(t).has_value(); };
}
// A choice of a list of `n` items: its position, 0 to n - 1.
std::function<bool(const QString&)> choice(int n) {
  return [n](const QString& t) {
    const auto v = parseInt32(t);
    return v && *v >= 0 && *v < n;
  };
}

const std::vector<KeyRule>& rules() {
  static const std::vector<KeyRule> table = [] {
    std::vector<KeyRule> t;
    auto add = [&t](const QString& name, const char* def, std::function<bool(const QString&)> ok) {
      t.push_back({{name, QString::fromLatin1(def)}, std::move(ok)});
    };
    auto perAxis = [&add](const char* name, const char* def,
                          const std::function<bool(const QString&)>& ok) {
      for (int a = 0; a < kScreenAxes; ++a)
        add(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(a), def, ok);
    };
    add(QStringLiteral("MaxSpeed"), "50000", number(kMaxSpeedKeys));
    perAxis("HighLimit", "100000", number(kHighLimitKeys));
    perAxis("LowLimit", "-100000", number(kLowLimitKeys));
    perAxis("OverTravelUp", "0", choice(3));
    perAxis("OverTravelDown", "0", choice(3));
    perAxis("EncoderType", "0", choice(4));
    perAxis("ABPhaseSwap", "0", choice(2));
    perAxis("PulseMode", "1", choice(3));
    add(QStringLiteral("CoordinateMode"), "0", choice(2));
    add(QStringLiteral("AccelerationCurve"), "0", choice(2));
    add(QStringLiteral("DecelerationCurve"), "0", choice(2));
    add(QStringLiteral("AccTime"), "200", time());
    add(QStringLiteral("DecTime"), "200", time());
    perAxis("HomeType", "0", choice(3));
    perAxis("SensorMode", "0", choice(2));
    perAxis("FindHome", "0", choice(2));
    perAxis("LeftHome", "0", choice(2));
    return t;
  }();
  return table;
}

// The value of each key as written, in table order.
std::vector<QString> valuesOf(const MachineParameters& p) {
  std::vector<QString> v;
  auto perAxis = [&v](const auto& values) {
    for (int a = 0; a < kScreenAxes; ++a)
      v.push_back(plainNumber(values[a]));
  };
  v.push_back(plainNumber(p.maxSpeed));
  perAxis(p.highLimit);
  perAxis(p.lowLimit);
  perAxis(p.overTravelUp);
  perAxis(p.overTravelDown);
  perAxis(p.encoderType);
  perAxis(p.abPhaseSwap);
  perAxis(p.pulseMode);
  v.push_back(plainNumber(p.coordinateMode));
  v.push_back(plainNumber(p.accelerationCurve));
  v.push_back(plainNumber(p.decelerationCurve));
  v.push_back(plainNumber(p.accelerationTime));
  v.push_back(plainNumber(p.decelerationTime));
  perAxis(p.homeType);
  perAxis(p.homeSensorMode);
  perAxis(p.findHomeDirection);
  perAxis(p.leaveHomeDirection);
  return v;
}

QString systemError(const QString& what) {
  return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Copies the file's bytes to an open descriptor.
bool copyInto(const QByteArray& path, int fd) {
  const int in = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  char buffer[8192];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 || ::write(fd, buffer, static_cast<size_t>(n)) != n) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ok;
}

}  // namespace

const std::vector<ParameterKey>& parameterKeys() {
  static const std::vector<ParameterKey> keys = [] {
    std::vector<ParameterKey> k;
    for (const KeyRule& r : rules())
      k.push_back(r.key);
    return k;
  }();
  return keys;
}

QString ParameterTexts::value(const QString& key) const {
  const auto it = values.find(key);
  return it == values.end() ? QString() : it->second;
}

ParameterTexts loadParameterFile(const QString& path) {
  ParameterTexts texts;
  const QByteArray file = QFile::encodeName(path);
  for (const KeyRule& rule : rules()) {
    const QByteArray name = rule.key.name.toLatin1();
    const QByteArray def = rule.key.defaultValue.toLatin1();
    char field[kParameterFieldSize] = {};
    platform::profile::getString(kParameterSection, name.constData(), def.constData(), field,
                                 sizeof field, file.constData());
    QString value = QString::fromLatin1(field).trimmed();  // the field's blank padding
    if (!rule.usable(value)) {
      texts.replaced << rule.key.name;
      value = rule.key.defaultValue;
    }
    texts.values[rule.key.name] = value;
  }
  return texts;
}

std::optional<QString> saveParameterFile(const QString& path, const MachineParameters& p) {
  const QFileInfo info(path);
  if (info.isDir()) return path + QStringLiteral(" is a folder");
  // A file without write permission is left alone, also for a user who
  // could replace it anyway.
  constexpr auto kWrite =
      QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  if (info.exists() && (!info.isWritable() || !(info.permissions() & kWrite)))
    return path + QStringLiteral(" is read-only");
  if (!QDir().mkpath(info.absolutePath()))
    return QStringLiteral("cannot create the folder ") + info.absolutePath();

  const QByteArray target = QFile::encodeName(info.absoluteFilePath());
  QByteArray temporary = target + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return systemError(QStringLiteral("cannot write beside ") + path);
  auto fail = [&temporary](const QString& why) {
    ::unlink(temporary.constData());
    return std::optional<QString>(why);
  };
  struct stat st {};
  const bool existed = ::stat(target.constData(), &st) == 0;
  if (existed && !copyInto(target, fd)) {
    ::close(fd);
    return fail(systemError(QStringLiteral("cannot read ") + path));
  }
  ::fchmod(fd, existed ? (st.st_mode & 07777) : 0644);
  ::close(fd);

  const auto values = valuesOf(p);
  const auto& keys = parameterKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const QByteArray name = keys[i].name.toLatin1(), value = values[i].toLatin1();
    if (!platform::profile::writeString(kParameterSection, name.constData(), value.constData(),
                                        temporary.constData()))
      return fail(QStringLiteral("cannot write ") + path);
  }
  const int sync = ::open(temporary.constData(), O_RDONLY | O_CLOEXEC);
  if (sync >= 0) {
    ::fsync(sync);
    ::close(sync);
  }
  if (::rename(temporary.constData(), target.constData()) != 0)
    return fail(systemError(QStringLiteral("cannot replace ") + path));
  return std::nullopt;
}

QString defaultParameterFile() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base))
    base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/tervane/Parameter.ini");
}

}  // namespace tervane
