// SystemINI: the parameter file "Parameter.ini", one section "Parameter" of
// the keys below, read into 10-character fields (at most 9 characters of a
// value) and always written whole, every key, in table order.
//
// Where the parameter file lies is the program's choice: by default
// $XDG_CONFIG_HOME/tervane/Parameter.ini (~/.config/tervane/ when the
// variable is unset), never the working directory.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "state/machine_parameters.h"

namespace tervane {

inline constexpr const char* kParameterSection = "Parameter";
inline constexpr int kParameterFieldSize = 10;  // read buffer: 9 characters and the end

struct ParameterKey {
  QString name;          // "HighLimit(2)"
  QString defaultValue;  // used when the key is missing or its value unusable
};

// Every key in the order it is read and written.
const std::vector<ParameterKey>& parameterKeys();

// The values read, by key name, each a text the form can use.
struct ParameterTexts {
  std::map<QString, QString> values;
  // Keys whose value in the file was unusable (not a number the form's box
  // takes, or a choice outside its list) and were given their default.
  QStringList replaced;

  QString value(const QString& key) const;
};

// Read all: a missing file, section or key gives the key's default.
ParameterTexts loadParameterFile(const QString& path);

// Write all, from the parameter values. The file (and its folder) is
// created when missing; it is written to a temporary file beside it and
// renamed over it, so it is never left half written, and the file's other
// sections and comments are kept. Returns why it could not be written.
std::optional<QString> saveParameterFile(const QString& path, const MachineParameters& p);

// The default place of the parameter file.
QString defaultParameterFile();

}  // namespace tervane
