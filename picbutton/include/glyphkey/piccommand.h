// picCommand: a command button drawn from three stacked pictures (blue, gray
// and red), each carrying a label with the same caption.
//
// Child elements: picture(0) the blue picture (70 x 30), picture(1) the gray
// one (70 x 30), picture(2) the red one (68 x 30, centred on the others);
// label(i) lies on picture(i). The pictures are stacked blue, gray, red from
// bottom to top, so while the button is held down (blue and red shown) the red
// picture shows framed by a pixel of blue on each side. A new control shows
// the gray picture.
//
// Properties: every setter updates the children in a fixed order and ends by
// emitting PropertyChanged with the property's name, so that the host saves
// it. A child that refuses a value (an invalid colour) throws PropertyError:
// the setter ends there, the children after it keep their old value and no
// PropertyChanged is emitted. The accessors are named after the properties;
// the setters are set<Property>, except that Enabled and Font, whose setters
// would hide QWidget's own setEnabled and setFont, are written through
// setEnabledFlag and setCaptionFont. Enabled is a stored flag only: it does
// not disable the widget and blocks no event.
//
// Events: MouseDown and MouseUp after the pictures have changed, Click after a
// left-button press and release over the same child element; MouseMove is
// declared for hosts but never raised. Button is 1 left, 2 right, 4 middle;
// Shift is 1 shift, 2 control, 4 alt; X and Y are in pixels of the child
// element that received the press.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <array>

#include "glyphkey/controlhost.h"
#include "glyphkey/export.h"
#include "glyphkey/olecolor.h"

namespace glyphkey {

class CaptionLabel;
class PictureLayer;

// The class name host forms use for this control.
inline constexpr const char* kPicCommandClass = "Tessel1.picCommand";

class GLYPHKEY_EXPORT picCommand : public QWidget, public HostedControl {
  Q_OBJECT
  Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabledFlag)
  Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
  Q_PROPERTY(bool picRed READ picRed WRITE setPicRed)
  Q_PROPERTY(bool picBlue READ picBlue WRITE setPicBlue)
  Q_PROPERTY(bool picGray READ picGray WRITE setPicGray)
  Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
  Q_PROPERTY(QFont Font READ Font WRITE setCaptionFont)
  Q_PROPERTY(bool FontBold READ FontBold WRITE setFontBold)
  Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)

 public:
  static constexpr int kLayers = 3;

  explicit picCommand(QWidget* parent = nullptr);
  ~picCommand() override;

  bool Enabled() const { return enabled_; }
  QString Caption() const;
  bool picRed() const { return picRed_; }
  bool picBlue() const { return picBlue_; }
  bool picGray() const { return picGray_; }
  OleColor BackColor() const;
  QFont Font() const;
  bool FontBold() const;
  OleColor ForeColor() const;

  void setEnabledFlag(bool New_Enabled);
  void setCaption(const QString& New_Caption);
  void setPicRed(bool New_picRed);
  void setPicBlue(bool New_picBlue);
  void setPicGray(bool New_picGray);
  void setBackColor(OleColor New_BackColor);
  void setCaptionFont(const QFont& New_Font);
  void setFontBold(bool New_FontBold);
  void setForeColor(OleColor New_ForeColor);

  // What a left click in the middle of the caption does: the pressed look
  // and MouseDown, the released look and MouseUp, then Click. The
  // accessibility press action uses it.
  void activate();

  // The child elements, index 0 blue, 1 gray, 2 red.
  PictureLayer* picture(int index) const;
  CaptionLabel* label(int index) const;

  QSize sizeHint() const override;

  // HostedControl
  QString className() const override { return QString::fromLatin1(kPicCommandClass); }
  void initProperties(const Ambient& ambient) override;
  void readProperties(PropertyBag& bag, const Ambient& ambient) override;
  void writeProperties(PropertyBag& bag, const Ambient& ambient) const override;

 signals:
  void Click();
  void MouseDown(qint16 Button, qint16 Shift, float X, float Y);
  void MouseMove(qint16 Button, qint16 Shift, float X, float Y);
  void MouseUp(qint16 Button, qint16 Shift, float X, float Y);
  void PropertyChanged(const QString& PropertyName);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The child element under a point of the control: the label or picture of
  // the topmost shown layer there, or nullptr.
  QWidget* childAt(const QPoint& pos) const;
  void showPictures(bool blue, bool gray, bool red);
  void placeLabel(int index);

  std::array<PictureLayer*, kLayers> pictures_{};
  std::array<CaptionLabel*, kLayers> labels_{};
  bool enabled_ = false;
  bool picRed_ = false;
  bool picBlue_ = false;
  bool picGray_ = false;
  QWidget* pressed_ = nullptr;  // child that received the last press
};

}  // namespace glyphkey
