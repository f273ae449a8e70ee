// The control-hosting service: how a form creates its controls by class
// name, lets a new control set its first values, and saves and loads the
// controls' properties in its form file.
//
// A form file is a QSettings file with one group per hosted control, named
// after the control's object name, holding "Class" (the registered class name,
// for example "Tessel1.picCommand"), "Left", "Top" and the control's property
// bag. Events reach the host form as the control's Qt signals.
#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

#include "glyphkey/export.h"

class QSettings;
class QWidget;

namespace glyphkey {

class PropertyBag;

// What the host offers its controls.
struct GLYPHKEY_EXPORT Ambient {
  QFont font;  // the form's font: the default of a control's Font

  static Ambient of(const QWidget* host);
};

// The persistence side of a hostable control.
class GLYPHKEY_EXPORT HostedControl {
 public:
  virtual ~HostedControl();

  // The class name the form file refers to.
  virtual QString className() const = 0;
  // A control placed on a form for the first time.
  virtual void initProperties(const Ambient& ambient) = 0;
  virtual void readProperties(PropertyBag& bag, const Ambient& ambient) = 0;
  virtual void writeProperties(PropertyBag& bag, const Ambient& ambient) const = 0;
};

// Control classes by the name form files use.
class GLYPHKEY_EXPORT ControlRegistry {
 public:
  using Factory = std::function<QWidget*(QWidget* parent)>;

  void add(const QString& className, Factory factory);
  bool contains(const QString& className) const { return factories_.contains(className); }
  QStringList classNames() const;
  // A new control of that class, or nullptr for a name nobody registered.
  QWidget* create(const QString& className, QWidget* parent) const;

 private:
  QHash<QString, Factory> factories_;
};

// Registers the classes of this library ("Tessel1.picCommand").
GLYPHKEY_EXPORT void registerControls(ControlRegistry& registry);

// Places a new control of a registered class on a form and lets it set its
// first values; nullptr for an unknown class.
GLYPHKEY_EXPORT QWidget* placeControl(const ControlRegistry& registry, const QString& className,
                                      const QString& name, QWidget* form);

// Saves every hosted control that is a direct child of form into settings
// (which it clears first).
GLYPHKEY_EXPORT void saveForm(const QWidget* form, QSettings& settings);

// Creates the controls a form file lists and reads their properties; returns
// the number loaded. A group with an unknown class is skipped. A
// PropertyError of a control's read ends the load and reaches the caller.
GLYPHKEY_EXPORT int loadForm(QWidget* form, QSettings& settings, const ControlRegistry& registry);

}  // namespace glyphkey
