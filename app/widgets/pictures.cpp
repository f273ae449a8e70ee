#include "widgets/pictures.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <functional>

namespace tervane::pictures {

namespace {

QPixmap cached(const QString& key, int w, int h, const std::function<void(QPainter&)>& draw) {
  static QHash<QString, QPixmap> cache;
  if (auto it = cache.find(key); it != cache.end()) return *it;
  QPixmap pixmap(w, h);
  pixmap.fill(Qt::transparent);
  {
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
  }
  cache.insert(key, pixmap);
  return pixmap;
}

}  // namespace

QPixmap lamp(QColor colour, bool lit, int size) {
  const QString key = QStringLiteral("lamp/%1/%2/%3").arg(colour.name()).arg(lit).arg(size);
  return cached(key, size, size, [&](QPainter& p) {
    const QRectF r(1, 1, size - 2, size - 2);
    const QColor base = lit ? colour : QColor(70, 74, 80);
    QRadialGradient glow(r.center() - QPointF(size * 0.15, size * 0.15), size * 0.6);
    glow.setColorAt(0, lit ? base.lighter(170) : base.lighter(130));
    glow.setColorAt(1, lit ? base : base.darker(130));
    p.setPen(QPen(QColor(30, 32, 36), 1));
    p.setBrush(glow);
    p.drawEllipse(r);
  });
}

QPixmap tick(TickLook look, int size) {
  const bool ticked = look == TickLook::Ticked || look == TickLook::TickedHighlighted;
  const bool highlighted =
      look == TickLook::UntickedHighlighted || look == TickLook::TickedHighlighted;
  const QString key = QStringLiteral("tick/%1/%2").arg(int(look)).arg(size);
  return cached(key, size, size, [&](QPainter& p) {
    const QRectF box(1.5, 1.5, size - 3, size - 3);
    p.setPen(QPen(highlighted ? QColor(30, 110, 200) : QColor(90, 96, 104), 1.5));
    p.setBrush(highlighted ? QColor(225, 238, 252) : QColor(250, 250, 250));
    p.drawRoundedRect(box, 2.5, 2.5);
    if (!ticked) return;
    QPainterPath mark;
    mark.moveTo(size * 0.25, size * 0.52);
    mark.lineTo(size * 0.43, size * 0.72);
    mark.lineTo(size * 0.77, size * 0.3);
    p.setPen(QPen(QColor(20, 120, 60), size * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
  });
}

QPixmap settingButton() {
  return cached(QStringLiteral("setting"), 86, 30, [](QPainter& p) {
    QLinearGradient face(0, 0, 0, 30);
    face.setColorAt(0, QColor(92, 160, 92));
    face.setColorAt(1, QColor(46, 112, 52));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(1, 1, 84, 28), 4, 4);
    QFont font(QStringLiteral("Arial"), 9);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 86, 30), Qt::AlignCenter, QStringLiteral("Setting"));
  });
}

QPixmap resetButton(bool pressed) {
  return cached(QStringLiteral("reset/%1").arg(pressed), 40, 40, [pressed](QPainter& p) {
    const QRectF outer(2, 2, 36, 36);
    p.setPen(QPen(QColor(60, 60, 64), 2));
    p.setBrush(QColor(205, 205, 200));
    p.drawEllipse(outer);
    const QRectF cap = outer.adjusted(5, 5, -5, -5).translated(0, pressed ? 1.5 : 0);
    QRadialGradient face(cap.center() - QPointF(4, 4), 18);
    face.setColorAt(0, pressed ? QColor(170, 30, 30) : QColor(250, 90, 80));
    face.setColorAt(1, pressed ? QColor(110, 10, 10) : QColor(190, 25, 25));
    p.setPen(QPen(QColor(90, 10, 10), 1));
    p.setBrush(face);
    p.drawEllipse(cap);
  });
}

QPixmap repeatBox(bool ticked) {
  return tick(ticked ? TickLook::Ticked : TickLook::Unticked);
}

}  // namespace tervane::pictures
