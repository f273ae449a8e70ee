// The property bag a host form keeps for each control it hosts.
//
// A control writes its properties into the bag when the form is saved and
// reads them back when it is loaded. A value equal to its default is not
// written. The same name may be written more than once (a property that lives
// on several child elements is written once per child); the entries are kept
// in the order written, and successive reads of one name return them in that
// order, one per child. A read past the last entry of a name returns that last
// entry again, so a bag edited down to one entry still gives every child the
// same value; a name with no entry reads as its default.
//
// On disk a bag is one group of a QSettings file: the entries as an array of
// name and value, values as text.
#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <QVariant>
#include <vector>

#include "glyphkey/export.h"
#include "glyphkey/olecolor.h"

class QSettings;

namespace glyphkey {

class GLYPHKEY_EXPORT PropertyBag {
 public:
  struct Entry {
    QString name;
    QVariant value;
  };

  // Appends an entry unless value equals defaultValue.
  void writeProperty(const QString& name, const QVariant& value, const QVariant& defaultValue);

  // The next entry of name (see above), or defaultValue. The typed reads throw
  // PropertyError (TypeMismatch) when the entry cannot become their type.
  QVariant readProperty(const QString& name, const QVariant& defaultValue);
  bool readBool(const QString& name, bool defaultValue);
  QString readString(const QString& name, const QString& defaultValue);
  OleColor readColor(const QString& name, OleColor defaultValue);
  QFont readFont(const QString& name, const QFont& defaultValue);

  // Starts every name's reads from its first entry again.
  void rewind() { cursors_.clear(); }

  int count(const QString& name) const;
  const std::vector<Entry>& entries() const { return entries_; }
  bool isEmpty() const { return entries_.empty(); }

  // Writes the entries into the current group of settings (replacing an
  // earlier bag there) and reads them back.
  void save(QSettings& settings) const;
  static PropertyBag load(QSettings& settings);

 private:
  std::vector<Entry> entries_;
  QHash<QString, int> cursors_;  // reads done per name
};

}  // namespace glyphkey
