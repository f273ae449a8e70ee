#include "glyphkey/controlhost.h"

#include <QGuiApplication>
#include <QSettings>
#include <QWidget>
#include <memory>

#include "glyphkey/piccommand.h"
#include "glyphkey/propertybag.h"

namespace glyphkey {

namespace {

const QString kClass = QStringLiteral("Class");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");

// Ends a settings group however the block is left.
class GroupScope {
 public:
  GroupScope(QSettings& settings, const QString& group) : settings_(settings) {
    settings_.beginGroup(group);
  }
  ~GroupScope() { settings_.endGroup(); }
  GroupScope(const GroupScope&) = delete;
  GroupScope& operator=(const GroupScope&) = delete;

 private:
  QSettings& settings_;
};

}  // namespace

Ambient Ambient::of(const QWidget* host) {
  return Ambient{host ? host->font() : QGuiApplication::font()};
}

HostedControl::~HostedControl() = default;

void ControlRegistry::add(const QString& className, Factory factory) {
  factories_.insert(className, std::move(factory));
}

QStringList ControlRegistry::classNames() const {
  QStringList names = factories_.keys();
  names.sort();
  return names;
}

QWidget* ControlRegistry::create(const QString& className, QWidget* parent) const {
  const auto it = factories_.constFind(className);
  return it == factories_.constEnd() ? nullptr : (*it)(parent);
}

void registerControls(ControlRegistry& registry) {
  registry.add(QString::fromLatin1(kPicCommandClass),
               [](QWidget* parent) -> QWidget* { return new picCommand(parent); });
}

QWidget* placeControl(const ControlRegistry& registry, const QString& className,
                      const QString& name, QWidget* form) {
  QWidget* control = registry.create(className, form);
  if (!control) return nullptr;
  control->setObjectName(name);
  if (auto* hosted = dynamic_cast<HostedControl*>(control))
    hosted->initProperties(Ambient::of(form));
  control->show();
  return control;
}

void saveForm(const QWidget* form, QSettings& settings) {
  settings.clear();
  const Ambient ambient = Ambient::of(form);
  for (const QWidget* control : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const auto* hosted = dynamic_cast<const HostedControl*>(control);
    if (!hosted || control->objectName().isEmpty()) continue;  // unnamed: nothing to refer to
    PropertyBag bag;
    hosted->writeProperties(bag, ambient);
    GroupScope group(settings, control->objectName());
    settings.setValue(kClass, hosted->className());
    settings.setValue(kLeft, control->x());
    settings.setValue(kTop, control->y());
    bag.save(settings);
  }
  settings.sync();
}

int loadForm(QWidget* form, QSettings& settings, const ControlRegistry& registry) {
  const Ambient ambient = Ambient::of(form);
  int loaded = 0;
  for (const QString& name : settings.childGroups()) {
    GroupScope group(settings, name);
    std::unique_ptr<QWidget> control(registry.create(settings.value(kClass).toString(), form));
    if (!control) continue;
    control->setObjectName(name);
    control->move(settings.value(kLeft).toInt(), settings.value(kTop).toInt());
    if (auto* hosted = dynamic_cast<HostedControl*>(control.get())) {
      PropertyBag bag = PropertyBag::load(settings);
      hosted->readProperties(bag, ambient);  // a failure drops this control and ends the load
    }
    control.release()->show();
    ++loaded;
  }
  return loaded;
}

}  // namespace glyphkey
