#include "glyphkey/picturelayer.h"

#include <QEvent>
#include <QPainter>

namespace glyphkey {

PictureLayer::PictureLayer(const QPixmap& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  resize(picture_.size());
}

void PictureLayer::setBackColor(OleColor value) {
  resolveColor(value, palette());  // refuses an invalid value before anything changes
  backColor_ = value;
  update();
}

void PictureLayer::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), resolveColor(backColor_, palette()));
  painter.drawPixmap(0, 0, picture_);
}

CaptionLabel::CaptionLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAlignment(Qt::AlignCenter);
  applyColor();
}

void CaptionLabel::setForeColor(OleColor value) {
  resolveColor(value, palette());
  foreColor_ = value;
  applyColor();
}

void CaptionLabel::changeEvent(QEvent* event) {
  // A system colour follows the palette the label inherits.
  if (event->type() == QEvent::PaletteChange && !applying_) applyColor();
  QLabel::changeEvent(event);
}

void CaptionLabel::applyColor() {
  applying_ = true;
  QPalette shown = palette();
  shown.setColor(QPalette::WindowText, resolveColor(foreColor_, shown));
  setPalette(shown);
  applying_ = false;
}

}  // namespace glyphkey
