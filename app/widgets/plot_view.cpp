#include "widgets/plot_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace tervane {

namespace {

constexpr double kTickHalfLength = PlotView::kHalfRange / 100;  // 2000 pulses
constexpr std::size_t kMaxStrokes = 200000;  // a long trace keeps its newest strokes

// Points along an arc, about one per degree (at least 8).
std::vector<QPointF> arcPoints(QPointF c, double r, double start, double sweep) {
  const int n = std::max(8, static_cast<int>(std::ceil(std::fabs(sweep) * 180 / std::numbers::pi)));
  std::vector<QPointF> pts;
  pts.reserve(static_cast<std::size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    const double a = start + sweep * i / n;
    pts.emplace_back(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
  }
  return pts;
}

}  // namespace

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("pitMotionProfile"));
  setAccessibleName(tr("Motion profile plot"));
  setMouseTracking(true);
  setMinimumSize(200, 200);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  render();
}

QRect PlotView::imageRect() const {
  const int side = std::max(1, std::min(width(), height()));
  return {(width() - side) / 2, (height() - side) / 2, side, side};
}

void PlotView::clear() {
  strokes_.clear();
  render();
}

void PlotView::add(Stroke stroke) {
  if (strokes_.size() >= kMaxStrokes) strokes_.erase(strokes_.begin());
  strokes_.push_back(std::move(stroke));
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing);
  drawStroke(p, strokes_.back());
  update();
}

void PlotView::addLine(QPointF from, QPointF to, QColor colour, double width) {
  add({{from, to}, colour, width});
}

void PlotView::addCircle(QPointF centre, double radius, QColor colour, double width) {
  add({arcPoints(centre, radius, 0, 2 * std::numbers::pi), colour, width});
}

void PlotView::addArc(QPointF centre, double radius, double start, double sweep, QColor colour,
                      double width) {
  add({arcPoints(centre, radius, start, sweep), colour, width});
}

void PlotView::render() {
  const qreal dpr = devicePixelRatioF();
  const QRect area = imageRect();
  const int side = std::max(1, static_cast<int>(std::lround(area.width() * dpr)));
  image_ = QImage(side, side, QImage::Format_RGB32);
  image_.fill(kPlotBackground);
  // (-R, R) at the top left, (R, -R) at the bottom right.
  const double scale = side / (2 * kHalfRange);
  toImage_ = QTransform(scale, 0, 0, -scale, side / 2.0, side / 2.0);
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  drawScale(p);
  for (const Stroke& s : strokes_)
    drawStroke(p, s);
  update();
}

void PlotView::drawScale(QPainter& p) {
  const double R = kHalfRange, h = kTickHalfLength;
  // Axes and ticks are upright lines: drawn crisp, on whole pixels.
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::white, 1.0));
  auto line = [&](QPointF a, QPointF b) { p.drawLine(toImage_.map(a), toImage_.map(b)); };
  line({-R, 0}, {R, 0});
  line({0, -R}, {0, R});
  QFont font = p.font();
  font.setPixelSize(std::max(8, image_.width() / 40));
  p.setFont(font);
  const QFontMetrics metrics(font);
  for (double v = -R; v <= R; v += kTickStep) {
    line({-h, v}, {h, v});  // across the y axis
    line({v, -h}, {v, h});  // across the x axis
    const QString text = QString::number(static_cast<qlonglong>(v));
    // The y value where its tick ends; the x value just below the x axis.
    QPointF at = toImage_.map(QPointF(h, v)) + QPointF(3, metrics.ascent() / 2.0 - 1);
    if (v == R) at.ry() += metrics.ascent() / 2.0;
    if (v == -R) at.ry() -= metrics.ascent() / 2.0;
    p.drawText(at, text);
    if (v != 0) {
      const QPointF below = toImage_.map(QPointF(v, -h));
      double x = below.x() - metrics.horizontalAdvance(text) / 2.0;
      x = std::clamp(x, 1.0, image_.width() - 1.0 - metrics.horizontalAdvance(text));
      // Every other value a line lower, so neighbours never run together.
      const bool lower = std::lround(std::fabs(v) / kTickStep) % 2 == 1;
      p.drawText(QPointF(x, below.y() + metrics.ascent() * (lower ? 2.1 : 1.0) + 2), text);
    }
  }
  p.restore();
}

void PlotView::drawStroke(QPainter& p, const Stroke& s) {
  p.setPen(QPen(s.colour, s.width * std::max(1.0, image_.width() / 300.0), Qt::SolidLine,
                Qt::RoundCap, Qt::RoundJoin));
  std::vector<QPointF> mapped;
  mapped.reserve(s.points.size());
  for (const QPointF& w : s.points)
    mapped.push_back(toImage_.map(w));
  p.drawPolyline(mapped.data(), static_cast<int>(mapped.size()));
}

void PlotView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kPlotBackground);
  p.drawImage(imageRect(), image_);
}

void PlotView::resizeEvent(QResizeEvent*) {
  render();
}

QString PlotView::positionText(QPoint widgetPos) const {
  const QRect area = imageRect();
  if (!area.contains(widgetPos)) return {};
  const QPointF inImage =
      QPointF(widgetPos - area.topLeft()) * (image_.width() / double(area.width()));
  const QPointF world = toImage_.inverted().map(inImage);
  return tr("%1, %2 pulses")
      .arg(static_cast<qlonglong>(std::lround(world.x())))
      .arg(static_cast<qlonglong>(std::lround(world.y())));
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const QString text = positionText(pos);
  if (text.isEmpty()) {
    QToolTip::hideText();
    return;
  }
  QToolTip::showText(event->globalPosition().toPoint(), text, this);
  const QRect area = imageRect();
  emit hovered(toImage_.inverted().map(QPointF(pos - area.topLeft()) *
                                       (image_.width() / double(area.width()))));
}

}  // namespace tervane
