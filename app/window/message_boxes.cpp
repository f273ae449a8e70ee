#include "window/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "platform/msgbox/msgbox.h"

namespace tervane {

void installMessageBoxes(QWidget* owner) {
  QPointer<QWidget> parent(owner);
  platform::msgbox::setHandler([parent](const std::string& text, const std::string& caption) {
    const QString title = QString::fromStdString(caption);
    const QMessageBox::Icon icon =
        title == QLatin1String("Error") ? QMessageBox::Critical : QMessageBox::Information;
    while (QApplication::overrideCursor())  // the mouse pointer is reset first
      QApplication::restoreOverrideCursor();
    QMessageBox box(icon, title, QString::fromStdString(text), QMessageBox::Ok, parent.data());
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
  });
}

}  // namespace tervane
