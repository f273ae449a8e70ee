#include "glyphkey/piccommand.h"

#include <QMouseEvent>

#include "glyphkey/picturelayer.h"
#include "glyphkey/propertybag.h"

namespace glyphkey {

namespace {

// The pictures are part of the control's design, carried in the library's
// resources.
constexpr const char* kPictureFiles[picCommand::kLayers] = {
    ":/glyphkey/blue.jpg",
    ":/glyphkey/gray.jpg",
    ":/glyphkey/red.jpg",
};

// Where each layer lies in the control: the red picture is two pixels
// narrower and sits centred on the others.
constexpr int kLayerLeft[picCommand::kLayers] = {0, 0, 1};

const QString kDesignCaption = QStringLiteral("Parameter");
const QString kDefaultCaption = QStringLiteral("TEST");

QFont designFont() {
  QFont font(QStringLiteral("Arial"), 9);
  font.setStyleHint(QFont::SansSerif);  // any sans-serif where Arial is missing
  font.setBold(true);
  return font;
}

qint16 buttonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

qint16 shiftCode(Qt::KeyboardModifiers modifiers) {
  qint16 code = 0;
  if (modifiers & Qt::ShiftModifier) code |= 1;
  if (modifiers & Qt::ControlModifier) code |= 2;
  if (modifiers & Qt::AltModifier) code |= 4;
  return code;
}

}  // namespace

picCommand::picCommand(QWidget* parent) : QWidget(parent) {
  for (int i = 0; i < kLayers; ++i) {
    pictures_[i] = new PictureLayer(QPixmap(QString::fromLatin1(kPictureFiles[i])), this);
    pictures_[i]->setObjectName(QStringLiteral("picCommand_%1").arg(i));
    pictures_[i]->move(kLayerLeft[i], 0);
    labels_[i] = new CaptionLabel(kDesignCaption, pictures_[i]);
    labels_[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
    labels_[i]->setFont(designFont());
    placeLabel(i);
  }
  // Stacked blue, gray, red from the bottom (children stack in creation
  // order); before any mouse action or picture setter the gray one shows.
  showPictures(false, true, false);
  resize(sizeHint());
}

picCommand::~picCommand() = default;

PictureLayer* picCommand::picture(int index) const {
  return pictures_.at(index);
}
CaptionLabel* picCommand::label(int index) const {
  return labels_.at(index);
}

QSize picCommand::sizeHint() const {
  QRect bounds;
  for (const PictureLayer* picture : pictures_)
    bounds |= picture->geometry();
  return bounds.size();
}

void picCommand::showPictures(bool blue, bool gray, bool red) {
  pictures_[0]->setVisible(blue);
  pictures_[1]->setVisible(gray);
  pictures_[2]->setVisible(red);
}

void picCommand::placeLabel(int index) {
  CaptionLabel* label = labels_[index];
  label->adjustSize();
  const QRect area = pictures_[index]->rect();
  label->move(area.center() - label->rect().center());
}

QString picCommand::Caption() const {
  QString caption;
  for (int i : {2, 0, 1})
    caption = labels_[i]->text();
  return caption;
}

OleColor picCommand::BackColor() const {
  OleColor color = 0;
  for (int i : {0, 1, 2})
    color = pictures_[i]->backColor();
  return color;
}

QFont picCommand::Font() const {
  QFont font;
  for (int i : {0, 1, 2})
    font = labels_[i]->font();
  return font;
}

bool picCommand::FontBold() const {
  bool bold = false;
  for (int i : {0, 1, 2})
    bold = labels_[i]->font().bold();
  return bold;
}

OleColor picCommand::ForeColor() const {
  OleColor color = 0;
  for (int i : {0, 1, 2})
    color = labels_[i]->foreColor();
  return color;
}

void picCommand::setEnabledFlag(bool New_Enabled) {
  enabled_ = New_Enabled;
  emit PropertyChanged(QStringLiteral("Enabled"));
}

void picCommand::setCaption(const QString& New_Caption) {
  for (int i : {2, 1, 0}) {
    labels_[i]->setText(New_Caption);
    placeLabel(i);
  }
  emit PropertyChanged(QStringLiteral("Caption"));
}

void picCommand::setPicRed(bool New_picRed) {
  pictures_[0]->hide();
  pictures_[1]->hide();
  pictures_[2]->show();
  picRed_ = New_picRed;
  emit PropertyChanged(QStringLiteral("picRed"));
}

void picCommand::setPicBlue(bool New_picBlue) {
  pictures_[0]->show();
  pictures_[1]->hide();
  pictures_[2]->hide();
  picBlue_ = New_picBlue;
  emit PropertyChanged(QStringLiteral("picBlue"));
}

void picCommand::setPicGray(bool New_picGray) {
  pictures_[0]->hide();
  pictures_[1]->show();
  pictures_[2]->hide();
  picGray_ = New_picGray;
  emit PropertyChanged(QStringLiteral("picGray"));
}

void picCommand::setBackColor(OleColor New_BackColor) {
  for (int i : {0, 1, 2})
    pictures_[i]->setBackColor(New_BackColor);
  emit PropertyChanged(QStringLiteral("BackColor"));
}

void picCommand::setCaptionFont(const QFont& New_Font) {
  for (int i : {0, 1, 2}) {
    labels_[i]->setFont(New_Font);
    placeLabel(i);
  }
  emit PropertyChanged(QStringLiteral("Font"));
}

void picCommand::setFontBold(bool New_FontBold) {
  for (int i : {0, 1, 2}) {
    QFont font = labels_[i]->font();
    font.setBold(New_FontBold);
    labels_[i]->setFont(font);
    placeLabel(i);
  }
  emit PropertyChanged(QStringLiteral("FontBold"));
}

void picCommand::setForeColor(OleColor New_ForeColor) {
  for (int i : {0, 1, 2})
    labels_[i]->setForeColor(New_ForeColor);
  emit PropertyChanged(QStringLiteral("ForeColor"));
}

QWidget* picCommand::childAt(const QPoint& pos) const {
  for (int i : {2, 1, 0}) {
    const PictureLayer* picture = pictures_[i];
    if (picture->isHidden() || !picture->geometry().contains(pos)) continue;
    const QPoint inPicture = pos - picture->pos();
    if (labels_[i]->geometry().contains(inPicture)) return labels_[i];
    return pictures_[i];
  }
  return nullptr;  // a strip no shown picture covers belongs to no child
}

void picCommand::mousePressEvent(QMouseEvent* event) {
  QWidget* child = childAt(event->position().toPoint());
  if (!child) {
    QWidget::mousePressEvent(event);
    return;
  }
  pressed_ = child;
  const QPointF at = child->mapFrom(this, event->position());
  showPictures(true, false, true);
  emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()),
                 static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void picCommand::mouseReleaseEvent(QMouseEvent* event) {
  // The release belongs to the child that received the press, wherever the
  // pointer is now, as a captured mouse does.
  QWidget* child = pressed_;
  if (!child) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  if (event->buttons() == Qt::NoButton) pressed_ = nullptr;
  const QPointF at = child->mapFrom(this, event->position());
  pictures_[2]->hide();
  pictures_[0]->hide();
  pictures_[1]->show();
  emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()),
               static_cast<float>(at.x()), static_cast<float>(at.y()));
  if (event->button() == Qt::LeftButton && child->rect().contains(at.toPoint())) emit Click();
}

void picCommand::activate() {
  QWidget* child = childAt(rect().center());
  if (!child) child = labels_[1];
  const QPointF at = QRectF(child->rect()).center();
  const auto x = static_cast<float>(at.x()), y = static_cast<float>(at.y());
  showPictures(true, false, true);
  emit MouseDown(1, 0, x, y);
  pictures_[2]->hide();
  pictures_[0]->hide();
  pictures_[1]->show();
  emit MouseUp(1, 0, x, y);
  emit Click();
}

void picCommand::initProperties(const Ambient&) {
  enabled_ = false;
  picRed_ = false;
  picBlue_ = false;
  picGray_ = false;
}

void picCommand::readProperties(PropertyBag& bag, const Ambient& ambient) {
  enabled_ = bag.readBool(QStringLiteral("Enabled"), false);
  for (int i : {2, 1, 0}) {
    labels_[i]->setText(bag.readString(QStringLiteral("Caption"), kDefaultCaption));
    placeLabel(i);
  }
  picRed_ = bag.readBool(QStringLiteral("picRed"), false);
  picBlue_ = bag.readBool(QStringLiteral("picBlue"), false);
  picGray_ = bag.readBool(QStringLiteral("picGray"), false);
  for (int i : {0, 1, 2})
    pictures_[i]->setBackColor(bag.readColor(QStringLiteral("BackColor"), kButtonFace));
  for (int i : {0, 1, 2}) {
    labels_[i]->setFont(bag.readFont(QStringLiteral("Font"), ambient.font));
    placeLabel(i);
  }
  for (int i : {0, 1, 2}) {
    QFont font = labels_[i]->font();
    font.setBold(bag.readBool(QStringLiteral("FontBold"), false));
    labels_[i]->setFont(font);
    placeLabel(i);
  }
  for (int i : {0, 1, 2})
    labels_[i]->setForeColor(bag.readColor(QStringLiteral("ForeColor"), kCaptionText));
}

void picCommand::writeProperties(PropertyBag& bag, const Ambient& ambient) const {
  bag.writeProperty(QStringLiteral("Enabled"), enabled_, false);
  for (int i : {0, 1, 2})
    bag.writeProperty(QStringLiteral("Caption"), labels_[i]->text(), kDefaultCaption);
  bag.writeProperty(QStringLiteral("picRed"), picRed_, false);
  bag.writeProperty(QStringLiteral("picBlue"), picBlue_, false);
  bag.writeProperty(QStringLiteral("picGray"), picGray_, false);
  for (int i : {0, 1, 2})
    bag.writeProperty(QStringLiteral("BackColor"), pictures_[i]->backColor(), kButtonFace);
  for (int i : {0, 1, 2})
    bag.writeProperty(QStringLiteral("Font"), labels_[i]->font(), ambient.font);
  for (int i : {0, 1, 2})
    bag.writeProperty(QStringLiteral("FontBold"), labels_[i]->font().bold(), false);
  for (int i : {0, 1, 2})
    bag.writeProperty(QStringLiteral("ForeColor"), labels_[i]->foreColor(), kCaptionText);
}

}  // namespace glyphkey
