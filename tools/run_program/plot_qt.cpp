// The plotter: QPainter on a QImage, saved as PNG. Runs without a display
// (the offscreen platform is chosen when none is set).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "plot.h"

namespace tv::run {

namespace {

struct Series {
  std::vector<QPointF> points;
  QColor color;
  QString name;
};

constexpr size_t kMaxPoints = 4000;  // per series; longer runs are thinned

QString number(double v) {
  return QString::number(v, 'g', 6);
}

// One chart: frame, title, min/max labels of both axes, the series scaled
// into the frame. `equal` keeps one scale for both axes (a path).
void drawChart(QPainter& p, const QRectF& area, const QString& title, const QString& xName,
               const std::vector<Series>& series, bool equal) {
  const QRectF frame = area.adjusted(70, 30, -20, -40);
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const Series& s : series) {
    for (const QPointF& q : s.points) {
      x0 = std::min(x0, q.x());
      x1 = std::max(x1, q.x());
      y0 = std::min(y0, q.y());
      y1 = std::max(y1, q.y());
    }
  }
  if (!(x0 <= x1)) x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  if (x1 - x0 < 1e-12) x0 -= 0.5, x1 += 0.5;
  if (y1 - y0 < 1e-12) y0 -= 0.5, y1 += 0.5;
  double sx = frame.width() / (x1 - x0), sy = frame.height() / (y1 - y0);
  if (equal) {
    const double s = std::min(sx, sy);
    x0 -= (frame.width() / s - (x1 - x0)) / 2;
    y0 -= (frame.height() / s - (y1 - y0)) / 2;
    x1 = x0 + frame.width() / s;
    y1 = y0 + frame.height() / s;
    sx = sy = s;
  }
  auto map = [&](const QPointF& q) {
    return QPointF(frame.left() + (q.x() - x0) * sx, frame.bottom() - (q.y() - y0) * sy);
  };

  p.setPen(QPen(Qt::black, 1));
  p.drawRect(frame);
  p.drawText(QRectF(area.left(), area.top(), area.width(), 26), Qt::AlignCenter, title);
  p.drawText(QRectF(frame.left(), frame.bottom() + 4, 120, 16), Qt::AlignLeft, number(x0));
  p.drawText(QRectF(frame.right() - 120, frame.bottom() + 4, 120, 16), Qt::AlignRight, number(x1));
  p.drawText(QRectF(frame.left(), frame.bottom() + 20, frame.width(), 16), Qt::AlignCenter, xName);
  p.drawText(QRectF(area.left(), frame.top() - 8, 66, 16), Qt::AlignRight, number(y1));
  p.drawText(QRectF(area.left(), frame.bottom() - 8, 66, 16), Qt::AlignRight, number(y0));

  p.save();
  p.setClipRect(frame.adjusted(-1, -1, 1, 1));
  p.setRenderHint(QPainter::Antialiasing, true);
  int legend = 0;
  for (const Series& s : series) {
    if (s.points.empty()) continue;
    QPainterPath path(map(s.points.front()));
    for (const QPointF& q : s.points)
      path.lineTo(map(q));
    p.setPen(QPen(s.color, 1.5));
    p.drawPath(path);
    if (!s.name.isEmpty()) {
      p.drawText(QRectF(frame.right() - 60, frame.top() + 4 + 16 * legend++, 56, 16),
                 Qt::AlignRight, s.name);
    }
  }
  p.restore();
}

}  // namespace

bool plottingBuilt() {
  return true;
}

bool writePlot(const Trace& trace, const std::string& file, std::string& error) {
  // Text needs the font database of a GUI application; one lives for the
  // drawing when the caller has none.
  int argc = 1;
  char name[] = "tv-run";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (QGuiApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  }

  const size_t n = trace.samples.size();
  const size_t stride = std::max<size_t>(1, n / kMaxPoints);
  static const QColor kColors[6] = {Qt::red,     Qt::blue,       Qt::darkGreen,
                                    Qt::magenta, Qt::darkYellow, Qt::darkCyan};
  static const char* kNames[6] = {"X", "Y", "Z", "U", "V", "W"};

  Series path{{}, Qt::blue, {}};
  Series speed{{}, Qt::black, {}};
  std::vector<Series> axes;
  for (int a = 0; a < 6; ++a)
    axes.push_back(Series{{}, kColors[a], kNames[a]});
  // The run starts at rest in the origin at time 0.
  path.points.emplace_back(0, 0);
  speed.points.emplace_back(0, 0);
  for (Series& s : axes)
    s.points.emplace_back(0, 0);
  for (size_t i = 0; i < n; i += stride) {
    const Sample& s = trace.samples[std::min(i + stride - 1, n - 1)];
    path.points.emplace_back(s.position[0], s.position[1]);
    speed.points.emplace_back(s.timeMs, s.pathSpeed);
    for (int a = 0; a < 6; ++a)
      axes[a].points.emplace_back(s.timeMs, s.position[a]);
  }
  // Only the axes that moved.
  std::vector<Series> moving;
  for (Series& s : axes) {
    const bool moved =
        std::any_of(s.points.begin(), s.points.end(), [](const QPointF& q) { return q.y() != 0; });
    if (moved) moving.push_back(std::move(s));
  }

  QImage image(1200, 800, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    drawChart(p, QRectF(0, 0, 500, 420), "Path X-Y (units)", "X", {path}, true);
    drawChart(p, QRectF(500, 0, 700, 420), "Positions (units)", "time (ms)", moving, false);
    drawChart(p, QRectF(0, 420, 1200, 380), "Path speed (machine units/s)", "time (ms)", {speed},
              false);
  }
  if (!image.save(QString::fromStdString(file), "PNG")) {
    error = "cannot write " + file;
    return false;
  }
  return true;
}

}  // namespace tv::run
