// The control on a host form: property bag, form file, class registry,
// promotion in .ui files and the Designer plugin.
#include <QPluginLoader>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "glyphkey/controlhost.h"
#include "glyphkey/errors.h"
#include "glyphkey/piccommand.h"
#include "glyphkey/picturelayer.h"
#include "glyphkey/propertybag.h"
#include "ui_promoted.h"

#ifdef GLYPHKEY_DESIGNER_PLUGIN
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#endif

using glyphkey::Ambient;
using glyphkey::OleColor;
using glyphkey::picCommand;
using glyphkey::PropertyBag;
using glyphkey::PropertyError;

namespace {

QString shown(const picCommand& control) {
  QString flags;
  flags += control.picture(0)->isHidden() ? u'-' : u'B';
  flags += control.picture(1)->isHidden() ? u'-' : u'G';
  flags += control.picture(2)->isHidden() ? u'-' : u'R';
  return flags;
}

QStringList values(const PropertyBag& bag, const QString& name) {
  QStringList found;
  for (const PropertyBag::Entry& entry : bag.entries())
    if (entry.name == name) found << entry.value.toString();
  return found;
}

PropertyBag bagOf(std::initializer_list<std::pair<const char*, const char*>> entries) {
  PropertyBag bag;
  for (const auto& [name, value] : entries)
    bag.writeProperty(QString::fromLatin1(name), QString::fromLatin1(value), QVariant());
  return bag;
}

}  // namespace

class TestHosting : public QObject {
  Q_OBJECT

 private slots:
  void savingDefaultsStoresNoCaptionOrColours();
  void childPropertiesAreWrittenOncePerChild();
  void readsGiveEachChildOneEntry();
  void loadingLeavesTheVisiblePictureAlone();
  void badStoredValueEndsTheRead_data();
  void badStoredValueEndsTheRead();
  void formFileRoundTrip();
  void brokenControlEndsTheLoad();
  void registryPlacesNewControlsByClassName();
  void promotedWidgetInUiFile();
  void designerPluginOffersTheControl();
};

void TestHosting::savingDefaultsStoresNoCaptionOrColours() {
  QWidget form;
  picCommand control(&form);
  control.setCaption(QStringLiteral("TEST"));
  PropertyBag bag;
  control.writeProperties(bag, Ambient::of(&form));
  QCOMPARE(bag.count(QStringLiteral("Caption")), 0);
  QCOMPARE(bag.count(QStringLiteral("BackColor")), 0);
  QCOMPARE(bag.count(QStringLiteral("ForeColor")), 0);
  QCOMPARE(bag.count(QStringLiteral("Enabled")), 0);
  QCOMPARE(bag.count(QStringLiteral("picRed")), 0);
  // The design font is bold Arial, not the form's font: stored per label.
  QCOMPARE(bag.count(QStringLiteral("FontBold")), 3);
  QCOMPARE(bag.count(QStringLiteral("Font")), form.font() == control.Font() ? 0 : 3);
}

void TestHosting::childPropertiesAreWrittenOncePerChild() {
  QWidget form;
  picCommand control(&form);
  control.setCaption(QStringLiteral("Run"));
  control.setBackColor(0x00C0C0C0u);
  control.setEnabledFlag(true);
  control.setPicRed(true);
  control.setCaptionFont(form.font());
  control.setFontBold(false);
  PropertyBag bag;
  control.writeProperties(bag, Ambient::of(&form));
  QCOMPARE(values(bag, QStringLiteral("Caption")), QStringList(3, QStringLiteral("Run")));
  QCOMPARE(bag.count(QStringLiteral("BackColor")), 3);
  QCOMPARE(bag.count(QStringLiteral("Enabled")), 1);  // a stored flag, not a child's
  QCOMPARE(bag.count(QStringLiteral("picRed")), 1);
  QCOMPARE(bag.count(QStringLiteral("picBlue")), 0);
  QCOMPARE(bag.count(QStringLiteral("Font")), 0);  // equal to the ambient font now
  QCOMPARE(bag.count(QStringLiteral("FontBold")), 0);
}

void TestHosting::readsGiveEachChildOneEntry() {
  // A bag cut down to one entry still reaches every child; the entries of a
  // name go to the children in the order read.
  picCommand control;
  PropertyBag one = bagOf({{"Caption", "Hold"}, {"BackColor", "0x000000FF"}});
  control.readProperties(one, Ambient{});
  for (int i = 0; i < picCommand::kLayers; ++i) {
    QCOMPARE(control.label(i)->text(), QStringLiteral("Hold"));
    QCOMPARE(control.picture(i)->backColor(), 0x000000FFu);
  }
  PropertyBag three = bagOf({{"BackColor", "1"}, {"BackColor", "2"}, {"BackColor", "3"}});
  control.readProperties(three, Ambient{});
  QCOMPARE(control.picture(0)->backColor(), 1u);
  QCOMPARE(control.picture(1)->backColor(), 2u);
  QCOMPARE(control.picture(2)->backColor(), 3u);
  // A missing name reads as its default.
  QCOMPARE(control.Caption(), QStringLiteral("TEST"));
  QCOMPARE(control.ForeColor(), glyphkey::kCaptionText);
}

void TestHosting::loadingLeavesTheVisiblePictureAlone() {
  picCommand control;
  QSignalSpy changed(&control, &picCommand::PropertyChanged);
  PropertyBag bag = bagOf({{"picRed", "true"}, {"picBlue", "true"}, {"Enabled", "true"}});
  control.readProperties(bag, Ambient{});
  QCOMPARE(shown(control), QStringLiteral("-G-"));
  QVERIFY(control.picRed() && control.picBlue() && !control.picGray());
  QVERIFY(control.Enabled());

  control.setPicBlue(false);
  bag.rewind();
  control.readProperties(bag, Ambient{});
  QCOMPARE(shown(control), QStringLiteral("B--"));
  QVERIFY(control.picBlue());
  QCOMPARE(changed.count(), 1);  // only the setter; loading is not a change
}

void TestHosting::badStoredValueEndsTheRead_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("code");
  const int mismatch = static_cast<int>(PropertyError::Code::TypeMismatch);
  const int invalid = static_cast<int>(PropertyError::Code::InvalidPropertyValue);
  QTest::newRow("colour as a word") << "BackColor"
                                    << "blue" << mismatch;
  QTest::newRow("negative colour") << "BackColor"
                                   << "-5" << mismatch;
  QTest::newRow("colour too wide") << "BackColor"
                                   << "0x1FFFFFFFF" << mismatch;
  QTest::newRow("no such system colour") << "BackColor"
                                         << "0x80000040" << invalid;
  QTest::newRow("flag as a word") << "FontBold"
                                  << "maybe" << mismatch;
  QTest::newRow("font as nothing") << "Font"
                                   << "" << mismatch;
}

void TestHosting::badStoredValueEndsTheRead() {
  // The bad value is the second of its name: the first child takes the good
  // one, the other children and every later property keep what they had.
  QFETCH(QString, name);
  QFETCH(QString, value);
  QFETCH(int, code);
  picCommand control;
  const QString good = name == QLatin1String("BackColor") ? QStringLiteral("0x00112233")
                       : name == QLatin1String("Font")
                           ? QFont(QStringLiteral("DejaVu Serif"), 14).toString()
                           : QStringLiteral("false");
  PropertyBag bag;
  bag.writeProperty(QStringLiteral("Caption"), QStringLiteral("Read"), QVariant());
  if (name == QLatin1String("FontBold"))  // Font is read first: keep the design font
    bag.writeProperty(QStringLiteral("Font"), control.label(0)->font().toString(), QVariant());
  bag.writeProperty(name, good, QVariant());
  bag.writeProperty(name, value, QVariant());
  bag.writeProperty(name, good, QVariant());
  bag.writeProperty(QStringLiteral("ForeColor"), QStringLiteral("0x0000FF00"), QVariant());

  const QFont before = control.label(1)->font();
  try {
    control.readProperties(bag, Ambient{});
    QFAIL("the bad value was read");
  } catch (const PropertyError& error) {
    QCOMPARE(static_cast<int>(error.code()), code);
  }
  QCOMPARE(control.Caption(), QStringLiteral("Read"));    // read before the failure
  QCOMPARE(control.ForeColor(), glyphkey::kCaptionText);  // never reached
  if (name == QLatin1String("BackColor")) {
    QCOMPARE(control.picture(0)->backColor(), 0x00112233u);
    QCOMPARE(control.picture(1)->backColor(), glyphkey::kButtonFace);
    QCOMPARE(control.picture(2)->backColor(), glyphkey::kButtonFace);
  } else {
    QVERIFY(control.label(0)->font() != before);  // label 0 took the good entry
    QCOMPARE(control.label(1)->font(), before);
    QCOMPARE(control.label(2)->font(), before);
  }
}

void TestHosting::formFileRoundTrip() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("frmMain.frm"));
  glyphkey::ControlRegistry registry;
  glyphkey::registerControls(registry);
  const QFont serif(QStringLiteral("DejaVu Serif"), 11);
  {
    QWidget form;
    auto* run = static_cast<picCommand*>(glyphkey::placeControl(
        registry, QStringLiteral("Tessel1.picCommand"), QStringLiteral("picRun"), &form));
    QVERIFY(run);
    run->move(10, 20);
    run->setCaption(QStringLiteral("Run, then stop"));  // a comma survives the file
    run->setForeColor(0x0000FFFFu);
    run->setCaptionFont(serif);
    run->setEnabledFlag(true);
    run->setPicRed(true);
    auto* exit = glyphkey::placeControl(registry, QStringLiteral("Tessel1.picCommand"),
                                        QStringLiteral("picExit"), &form);
    exit->move(90, 20);
    QSettings file(path, QSettings::IniFormat);
    glyphkey::saveForm(&form, file);
    QCOMPARE(file.status(), QSettings::NoError);
  }
  QWidget form;
  QSettings file(path, QSettings::IniFormat);
  QCOMPARE(file.value(QStringLiteral("picRun/Class")).toString(),
           QStringLiteral("Tessel1.picCommand"));
  QCOMPARE(glyphkey::loadForm(&form, file, registry), 2);
  auto* run = form.findChild<picCommand*>(QStringLiteral("picRun"));
  auto* exit = form.findChild<picCommand*>(QStringLiteral("picExit"));
  QVERIFY(run && exit);
  QCOMPARE(run->pos(), QPoint(10, 20));
  QCOMPARE(exit->pos(), QPoint(90, 20));
  QCOMPARE(run->Caption(), QStringLiteral("Run, then stop"));
  QCOMPARE(run->ForeColor(), 0x0000FFFFu);
  QCOMPARE(run->Font().family(), serif.family());
  QCOMPARE(run->Font().pointSize(), 11);
  QVERIFY(!run->FontBold());
  QVERIFY(run->Enabled() && run->picRed());
  QCOMPARE(shown(*run), QStringLiteral("-G-"));  // loading shows the first look
  QCOMPARE(exit->Caption(), QStringLiteral("Parameter"));
  QVERIFY(exit->FontBold());
  QCOMPARE(exit->BackColor(), glyphkey::kButtonFace);
}

void TestHosting::brokenControlEndsTheLoad() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QSettings file(dir.filePath(QStringLiteral("frmBroken.frm")), QSettings::IniFormat);
  file.setValue(QStringLiteral("picA/Class"), QStringLiteral("Tessel1.picCommand"));
  file.setValue(QStringLiteral("picB/Class"), QStringLiteral("Tessel1.picCommand"));
  file.setValue(QStringLiteral("picOld/Class"), QStringLiteral("Tessel1.lstGone"));
  file.beginGroup(QStringLiteral("picB"));
  PropertyBag bad = bagOf({{"ForeColor", "yellow"}});
  bad.save(file);
  file.endGroup();

  glyphkey::ControlRegistry registry;
  glyphkey::registerControls(registry);
  QWidget form;
  QVERIFY_THROWS_EXCEPTION(PropertyError, glyphkey::loadForm(&form, file, registry));
  // Groups load in name order: picA is in, picB failed and was dropped, and
  // the class nobody registered was never reached.
  QVERIFY(form.findChild<picCommand*>(QStringLiteral("picA")));
  QVERIFY(!form.findChild<QWidget*>(QStringLiteral("picB")));
  QCOMPARE(form.findChildren<picCommand*>(Qt::FindDirectChildrenOnly).size(), 1);
  QVERIFY(file.group().isEmpty());  // the file is usable again

  file.remove(QStringLiteral("picB"));
  QWidget again;
  QCOMPARE(glyphkey::loadForm(&again, file, registry), 1);  // the unknown class is skipped
}

void TestHosting::registryPlacesNewControlsByClassName() {
  glyphkey::ControlRegistry registry;
  QVERIFY(!registry.contains(QStringLiteral("Tessel1.picCommand")));
  glyphkey::registerControls(registry);
  QCOMPARE(registry.classNames(), QStringList{QStringLiteral("Tessel1.picCommand")});
  QWidget form;
  QCOMPARE(
      glyphkey::placeControl(registry, QStringLiteral("picCommand"), QStringLiteral("x"), &form),
      nullptr);
  auto* control = qobject_cast<picCommand*>(glyphkey::placeControl(
      registry, QStringLiteral("Tessel1.picCommand"), QStringLiteral("picInit"), &form));
  QVERIFY(control);
  QCOMPARE(control->parentWidget(), &form);
  QCOMPARE(control->objectName(), QStringLiteral("picInit"));
  QCOMPARE(control->className(), QStringLiteral("Tessel1.picCommand"));
  QCOMPARE(control->Caption(), QStringLiteral("Parameter"));
  QVERIFY(!control->Enabled() && !control->picRed() && !control->picBlue() && !control->picGray());
}

void TestHosting::promotedWidgetInUiFile() {
  QWidget form;
  Ui::PromotedForm ui;
  ui.setupUi(&form);
  QCOMPARE(ui.picExit->Caption(), QStringLiteral("Exit"));
  QVERIFY(ui.picExit->picRed());
  QCOMPARE(shown(*ui.picExit), QStringLiteral("--R"));
  QCOMPARE(ui.picExit->geometry(), QRect(10, 10, 70, 30));
}

void TestHosting::designerPluginOffersTheControl() {
#ifndef GLYPHKEY_DESIGNER_PLUGIN
  QSKIP("the Designer plugin was not built");
#else
  QPluginLoader loader(QStringLiteral(GLYPHKEY_DESIGNER_PLUGIN));
  QVERIFY2(loader.load(), qPrintable(loader.errorString()));
  auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
  QVERIFY(plugin);
  QCOMPARE(plugin->name(), QStringLiteral("glyphkey::picCommand"));
  QCOMPARE(plugin->includeFile(), QStringLiteral("glyphkey/piccommand.h"));
  QVERIFY(plugin->domXml().contains(QStringLiteral("class=\"glyphkey::picCommand\"")));
  QWidget form;
  std::unique_ptr<QWidget> widget(plugin->createWidget(&form));
  auto* control = qobject_cast<picCommand*>(widget.get());
  QVERIFY(control);
  QCOMPARE(control->Caption(), QStringLiteral("Parameter"));
#endif
}

QTEST_MAIN(TestHosting)
#include "tst_hosting.moc"
