// The control on its own: properties, looks and mouse events.
#include <QSignalSpy>
#include <QTest>

#include "glyphkey/errors.h"
#include "glyphkey/piccommand.h"
#include "glyphkey/picturelayer.h"

using glyphkey::OleColor;
using glyphkey::picCommand;
using glyphkey::PropertyError;

namespace {

// Which pictures show, as "blue gray red" flags, e.g. "-G-".
QString shown(const picCommand& control) {
  QString flags;
  flags += control.picture(0)->isHidden() ? u'-' : u'B';
  flags += control.picture(1)->isHidden() ? u'-' : u'G';
  flags += control.picture(2)->isHidden() ? u'-' : u'R';
  return flags;
}

// Records the control's events in order, with the look at the moment each
// was raised.
struct EventLog {
  QStringList events;

  explicit EventLog(picCommand& control) {
    QObject::connect(&control, &picCommand::MouseDown,
                     [this, &control](qint16 button, qint16 shift, float x, float y) {
                       events << QStringLiteral("MouseDown %1 %2 %3 %4 %5")
                                     .arg(button)
                                     .arg(shift)
                                     .arg(x)
                                     .arg(y)
                                     .arg(shown(control));
                     });
    QObject::connect(&control, &picCommand::MouseUp,
                     [this, &control](qint16 button, qint16 shift, float x, float y) {
                       events << QStringLiteral("MouseUp %1 %2 %3 %4 %5")
                                     .arg(button)
                                     .arg(shift)
                                     .arg(x)
                                     .arg(y)
                                     .arg(shown(control));
                     });
    QObject::connect(&control, &picCommand::Click,
                     [this, &control] { events << QStringLiteral("Click ") + shown(control); });
    QObject::connect(&control, &picCommand::MouseMove,
                     [this] { events << QStringLiteral("MouseMove"); });
  }
};

}  // namespace

class TestPicCommand : public QObject {
  Q_OBJECT

 private slots:
  void newControlShowsGrayWithDesignCaption();
  void captionShowsOnAllLayersAndReadsBack();
  void gettersReadTheChildrenInTheirOrder();
  void pictureSetterShowsItsPictureWhateverTheValue_data();
  void pictureSetterShowsItsPictureWhateverTheValue();
  void everySetterSignalsUnderItsName_data();
  void everySetterSignalsUnderItsName();
  void fontAndBoldReachEveryLabel();
  void invalidColourEndsTheSetter_data();
  void invalidColourEndsTheSetter();
  void coloursResolveAgainstThePalette();
  void clickRaisesDownUpClickAndEndsGray();
  void argumentsAreThoseOfTheChildPressed();
  void releaseAwayFromThePressedChildGivesNoClick();
  void disabledControlStillActs();
};

void TestPicCommand::newControlShowsGrayWithDesignCaption() {
  picCommand control;
  QCOMPARE(shown(control), QStringLiteral("-G-"));
  QCOMPARE(control.Caption(), QStringLiteral("Parameter"));
  QCOMPARE(control.size(), QSize(70, 30));
  QCOMPARE(control.picture(0)->size(), QSize(70, 30));
  QCOMPARE(control.picture(1)->size(), QSize(70, 30));
  QCOMPARE(control.picture(2)->size(), QSize(68, 30));
  QVERIFY(!control.picture(2)->pixmap().isNull());  // the pictures come from the resources
  QCOMPARE(control.picture(2)->pixmap().size(), QSize(68, 30));
  QVERIFY(!control.Enabled());
  QVERIFY(!control.picRed() && !control.picBlue() && !control.picGray());
  for (int i = 0; i < picCommand::kLayers; ++i) {
    QVERIFY(control.label(i)->font().bold());
    QCOMPARE(control.label(i)->font().pointSize(), 9);
    QCOMPARE(control.label(i)->parentWidget(), control.picture(i));
  }
  QCOMPARE(control.BackColor(), glyphkey::kButtonFace);
  QCOMPARE(control.ForeColor(), glyphkey::kCaptionText);
}

void TestPicCommand::captionShowsOnAllLayersAndReadsBack() {
  picCommand control;
  control.show();
  QSignalSpy changed(&control, &picCommand::PropertyChanged);
  control.setCaption(QStringLiteral("Initialize"));
  for (int i = 0; i < picCommand::kLayers; ++i) {
    QCOMPARE(control.label(i)->text(), QStringLiteral("Initialize"));
    // The label lies within its picture, centred on it.
    const QRect onPicture = control.label(i)->geometry();
    QVERIFY(control.picture(i)->rect().contains(onPicture.center()));
    QVERIFY(qAbs(onPicture.center().x() - control.picture(i)->rect().center().x()) <= 1);
  }
  QCOMPARE(control.Caption(), QStringLiteral("Initialize"));
  QCOMPARE(changed.count(), 1);
  QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Caption"));
}

void TestPicCommand::gettersReadTheChildrenInTheirOrder() {
  // The children always agree through the setters; made to disagree, each
  // getter returns the child it reads last.
  picCommand control;
  control.label(0)->setText(QStringLiteral("zero"));
  control.label(1)->setText(QStringLiteral("one"));
  control.label(2)->setText(QStringLiteral("two"));
  QCOMPARE(control.Caption(), QStringLiteral("one"));  // read 2, 0, 1

  control.picture(2)->setBackColor(0x000000FFu);
  QCOMPARE(control.BackColor(), 0x000000FFu);
  control.label(2)->setForeColor(0x0000FF00u);
  QCOMPARE(control.ForeColor(), 0x0000FF00u);
  QFont plain = control.label(2)->font();
  plain.setBold(false);
  control.label(2)->setFont(plain);
  QVERIFY(!control.FontBold());
  QCOMPARE(control.Font(), plain);
}

void TestPicCommand::pictureSetterShowsItsPictureWhateverTheValue_data() {
  QTest::addColumn<QString>("property");
  QTest::addColumn<bool>("value");
  QTest::addColumn<QString>("look");
  QTest::newRow("picRed true") << "picRed" << true << "--R";
  QTest::newRow("picRed false") << "picRed" << false << "--R";
  QTest::newRow("picBlue true") << "picBlue" << true << "B--";
  QTest::newRow("picBlue false") << "picBlue" << false << "B--";
  QTest::newRow("picGray true") << "picGray" << true << "-G-";
  QTest::newRow("picGray false") << "picGray" << false << "-G-";
}

void TestPicCommand::pictureSetterShowsItsPictureWhateverTheValue() {
  QFETCH(QString, property);
  QFETCH(bool, value);
  QFETCH(QString, look);
  picCommand control;
  control.show();
  // Start from the pressed look, where every setter has something to change.
  QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(35, 15));
  QCOMPARE(shown(control), QStringLiteral("B-R"));

  const QByteArray name = property.toLatin1();
  control.setProperty(name.constData(), !value);
  control.setProperty(name.constData(), value);
  QCOMPARE(shown(control), look);
  QCOMPARE(control.property(name.constData()).toBool(), value);
  // The other two flags are left alone.
  int othersSet = 0;
  for (const char* other : {"picRed", "picBlue", "picGray"})
    if (property != QLatin1String(other)) othersSet += control.property(other).toBool();
  QCOMPARE(othersSet, 0);
  QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(35, 15));
}

void TestPicCommand::everySetterSignalsUnderItsName_data() {
  QTest::addColumn<QString>("property");
  QTest::addColumn<QVariant>("value");
  QTest::newRow("Enabled") << "Enabled" << QVariant(true);
  QTest::newRow("Caption") << "Caption" << QVariant(QStringLiteral("Stop"));
  QTest::newRow("picRed") << "picRed" << QVariant(true);
  QTest::newRow("picBlue") << "picBlue" << QVariant(true);
  QTest::newRow("picGray") << "picGray" << QVariant(true);
  QTest::newRow("BackColor") << "BackColor" << QVariant(0x00336699u);
  QTest::newRow("Font") << "Font" << QVariant(QFont(QStringLiteral("DejaVu Serif"), 12));
  QTest::newRow("FontBold") << "FontBold" << QVariant(false);
  QTest::newRow("ForeColor") << "ForeColor" << QVariant(glyphkey::systemColor(18));
}

void TestPicCommand::everySetterSignalsUnderItsName() {
  QFETCH(QString, property);
  QFETCH(QVariant, value);
  picCommand control;
  QSignalSpy changed(&control, &picCommand::PropertyChanged);
  const QByteArray name = property.toLatin1();
  QVERIFY(control.setProperty(name.constData(), value));
  QCOMPARE(control.property(name.constData()), value);
  QCOMPARE(changed.count(), 1);
  QCOMPARE(changed.at(0).at(0).toString(), property);
}

void TestPicCommand::fontAndBoldReachEveryLabel() {
  picCommand control;
  const QFont serif(QStringLiteral("DejaVu Serif"), 12);
  control.setCaptionFont(serif);
  for (int i = 0; i < picCommand::kLayers; ++i)
    QCOMPARE(control.label(i)->font(), serif);
  QVERIFY(!control.FontBold());
  control.setFontBold(true);
  for (int i = 0; i < picCommand::kLayers; ++i) {
    QVERIFY(control.label(i)->font().bold());
    QCOMPARE(control.label(i)->font().family(), serif.family());
    QCOMPARE(control.label(i)->font().pointSize(), 12);
  }
  QVERIFY(control.FontBold());
  QVERIFY(control.font() != serif);  // the widget's own font is untouched
}

void TestPicCommand::invalidColourEndsTheSetter_data() {
  QTest::addColumn<QString>("property");
  QTest::addColumn<uint>("value");
  QTest::newRow("BackColor beyond the system colours") << "BackColor" << 0x80000019u;
  QTest::newRow("BackColor with a palette byte") << "BackColor" << 0x01FF0000u;
  QTest::newRow("ForeColor beyond the system colours") << "ForeColor" << 0x800000FFu;
}

void TestPicCommand::invalidColourEndsTheSetter() {
  QFETCH(QString, property);
  QFETCH(uint, value);
  picCommand control;
  const QByteArray name = property.toLatin1();
  const QVariant before = control.property(name.constData());
  QSignalSpy changed(&control, &picCommand::PropertyChanged);
  try {
    if (property == QLatin1String("BackColor"))
      control.setBackColor(value);
    else
      control.setForeColor(value);
    QFAIL("an invalid colour was taken");
  } catch (const PropertyError& error) {
    QCOMPARE(error.code(), PropertyError::Code::InvalidPropertyValue);
  }
  QCOMPARE(control.property(name.constData()), before);
  QCOMPARE(changed.count(), 0);
}

void TestPicCommand::coloursResolveAgainstThePalette() {
  picCommand control;
  QPalette palette = control.palette();
  palette.setColor(QPalette::Button, QColor(10, 20, 30));
  palette.setColor(QPalette::HighlightedText, QColor(200, 210, 220));
  control.setPalette(palette);
  // The defaults are system colours: button face and caption text.
  QCOMPARE(glyphkey::resolveColor(control.BackColor(), control.picture(0)->palette()),
           QColor(10, 20, 30));
  QCOMPARE(control.label(1)->shownColor(), QColor(200, 210, 220));
  control.setForeColor(0x00FF8040u);  // plain colours are 0x00BBGGRR
  QCOMPARE(control.label(1)->shownColor(), QColor(0x40, 0x80, 0xFF));
  QCOMPARE(glyphkey::plainColor(QColor(0x40, 0x80, 0xFF)), 0x00FF8040u);
  QImage image = control.picture(2)->grab().toImage();
  QCOMPARE(image.size(), QSize(68, 30));
}

void TestPicCommand::clickRaisesDownUpClickAndEndsGray() {
  picCommand control;
  control.show();
  QVERIFY(QTest::qWaitForWindowExposed(&control));
  EventLog log(control);
  QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(3, 4));  // on the picture, off the label
  QCOMPARE(log.events,
           (QStringList{QStringLiteral("MouseDown 1 0 3 4 B-R"),
                        QStringLiteral("MouseUp 1 0 3 4 -G-"), QStringLiteral("Click -G-")}));
  QCOMPARE(shown(control), QStringLiteral("-G-"));

  // From the red-only look too; the click lands on the red picture, whose
  // origin is one pixel to the right.
  control.setPicRed(true);
  log.events.clear();
  QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(3, 4));
  QCOMPARE(log.events.value(0), QStringLiteral("MouseDown 1 0 2 4 B-R"));
  QCOMPARE(log.events.size(), 3);
  QCOMPARE(shown(control), QStringLiteral("-G-"));
}

void TestPicCommand::argumentsAreThoseOfTheChildPressed() {
  picCommand control;
  control.setCaption(QStringLiteral("Continue"));
  control.show();
  QVERIFY(QTest::qWaitForWindowExposed(&control));
  EventLog log(control);
  const QWidget* label = control.label(1);  // the gray layer's label is the one under the mouse
  const QPoint onLabel = label->mapTo(&control, label->rect().center());
  const QPoint inLabel = label->rect().center();
  QTest::mouseClick(&control, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, onLabel);
  QCOMPARE(log.events,
           (QStringList{QStringLiteral("MouseDown 2 3 %1 %2 B-R").arg(inLabel.x()).arg(inLabel.y()),
                        QStringLiteral("MouseUp 2 3 %1 %2 -G-")
                            .arg(inLabel.x())
                            .arg(inLabel.y())}));  // no Click for the right button

  log.events.clear();
  QTest::mouseClick(&control, Qt::MiddleButton, Qt::AltModifier, QPoint(68, 28));
  QCOMPARE(log.events.value(0), QStringLiteral("MouseDown 4 4 68 28 B-R"));
}

void TestPicCommand::releaseAwayFromThePressedChildGivesNoClick() {
  picCommand control;
  control.show();
  QVERIFY(QTest::qWaitForWindowExposed(&control));
  EventLog log(control);
  QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(2, 2));
  QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(100, 15));  // off the control
  QCOMPARE(log.events, (QStringList{QStringLiteral("MouseDown 1 0 2 2 B-R"),
                                    QStringLiteral("MouseUp 1 0 100 15 -G-")}));
}

void TestPicCommand::disabledControlStillActs() {
  picCommand control;
  control.setEnabledFlag(true);
  control.setEnabledFlag(false);
  QVERIFY(!control.Enabled());
  QVERIFY(control.isEnabled());  // the flag is stored only
  control.show();
  QVERIFY(QTest::qWaitForWindowExposed(&control));
  EventLog log(control);
  control.setPicBlue(true);
  QCOMPARE(shown(control), QStringLiteral("B--"));
  QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(10, 27));
  QCOMPARE(log.events,
           (QStringList{QStringLiteral("MouseDown 1 0 10 27 B-R"),
                        QStringLiteral("MouseUp 1 0 10 27 -G-"), QStringLiteral("Click -G-")}));
}

QTEST_MAIN(TestPicCommand)
#include "tst_piccommand.moc"
