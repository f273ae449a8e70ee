// The child elements of a picCommand: a picture layer (its back colour filled,
// its picture drawn over it from the top-left corner) and the caption label
// that lies on it. Both ignore the mouse: the control hit-tests them itself,
// so that a layer hidden by a press does not lose the release.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "glyphkey/export.h"
#include "glyphkey/olecolor.h"

namespace glyphkey {

class GLYPHKEY_EXPORT PictureLayer : public QWidget {
  Q_OBJECT

 public:
  PictureLayer(const QPixmap& picture, QWidget* parent);

  OleColor backColor() const { return backColor_; }
  // Throws PropertyError (InvalidPropertyValue) for an invalid colour and
  // then keeps the old one.
  void setBackColor(OleColor value);
  const QPixmap& pixmap() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
  OleColor backColor_ = kButtonFace;
};

class GLYPHKEY_EXPORT CaptionLabel : public QLabel {
  Q_OBJECT

 public:
  CaptionLabel(const QString& text, QWidget* parent);

  OleColor foreColor() const { return foreColor_; }
  // Throws PropertyError (InvalidPropertyValue) for an invalid colour and
  // then keeps the old one.
  void setForeColor(OleColor value);
  // The text colour as shown now.
  QColor shownColor() const { return palette().color(QPalette::WindowText); }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void applyColor();

  OleColor foreColor_ = kCaptionText;
  bool applying_ = false;
};

}  // namespace glyphkey
