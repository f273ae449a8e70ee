#include "piccommandplugin.h"

#include <QIcon>
#include <QPixmap>

#include "glyphkey/controlhost.h"
#include "glyphkey/piccommand.h"

QString PicCommandPlugin::name() const {
  return QStringLiteral("glyphkey::picCommand");
}
QString PicCommandPlugin::group() const {
  return QStringLiteral("Tessel1");
}
QString PicCommandPlugin::toolTip() const {
  return QStringLiteral("Picture button");
}

QString PicCommandPlugin::whatsThis() const {
  return QStringLiteral("A command button drawn from a blue, a gray and a red picture.");
}

QString PicCommandPlugin::includeFile() const {
  return QStringLiteral("glyphkey/piccommand.h");
}

QIcon PicCommandPlugin::icon() const {
  return QIcon(QPixmap(QStringLiteral(":/glyphkey/gray.jpg")));
}

QWidget* PicCommandPlugin::createWidget(QWidget* parent) {
  auto* control = new glyphkey::picCommand(parent);
  control->initProperties(glyphkey::Ambient::of(parent));
  return control;
}

// uic would set a property named Enabled or Font through QWidget's own
// setEnabled and setFont, so forms write the control's properties with
// stdset="0" and uic sets them through the property system.
QString PicCommandPlugin::domXml() const {
  return QStringLiteral(
      "<ui language=\"c++\">\n"
      " <widget class=\"glyphkey::picCommand\" name=\"picCommand\">\n"
      "  <property name=\"geometry\"><rect><x>0</x><y>0</y><width>70</width>"
      "<height>30</height></rect></property>\n"
      "  <property name=\"Caption\" stdset=\"0\"><string>Parameter</string></property>\n"
      " </widget>\n"
      "</ui>\n");
}
