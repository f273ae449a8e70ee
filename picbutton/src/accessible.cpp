#include "glyphkey/accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "glyphkey/piccommand.h"

namespace glyphkey {

namespace {

class AccessiblePicCommand : public QAccessibleWidget {
 public:
  explicit AccessiblePicCommand(picCommand* button)
      : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return button()->Caption();
    return QAccessibleWidget::text(t);
  }

  QStringList actionNames() const override { return {pressAction()}; }

  void doAction(const QString& action) override {
    if (action == pressAction()) button()->activate();
  }

 private:
  picCommand* button() const { return static_cast<picCommand*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
  if (className == QLatin1String("glyphkey::picCommand") && object && object->isWidgetType())
    return new AccessiblePicCommand(static_cast<picCommand*>(object));
  return nullptr;
}

}  // namespace

void installAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(factory);
    return true;
  }();
  (void)installed;
}

}  // namespace glyphkey
