// The plotter: QPainter on a QImage, saved as PNG. Runs without a display
// (the offscreen platform is chosen when none is set).
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "axis_ticks.h"
#include "plot.h"

namespace tv::run {

namespace {

struct Series {
  std::vector<QPointF> points;
  QColor color;
  QString name;
};

constexpr size_t kMaxPoints = 4000;  // per series; longer runs are thinned

// Text needs the font database of a GUI application; one lives for the
// drawing when the caller has none.
class GuiScope {
 public:
  GuiScope() {
    if (QGuiApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }

 private:
  int argc_ = 1;
  char name_[7] = "tv-run";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

QString number(double v) {
  return QString::number(v, 'g', 6);
}

// One chart: frame, title, round tick values on both axes over a round
// range, the series scaled into the frame. `equal` keeps one scale for both
// axes (a path).
void drawChart(QPainter& p, const QRectF& area, const QString& title, const QString& xName,
               const std::vector<Series>& series, bool equal) {
  const QRectF frame = area.adjusted(70, 30, -20, -40);
  double xMin = INFINITY, xMax = -INFINITY, yMin = INFINITY, yMax = -INFINITY;
  for (const Series& s : series) {
    for (const QPointF& q : s.points) {
      xMin = std::min(xMin, q.x());
      xMax = std::max(xMax, q.x());
      yMin = std::min(yMin, q.y());
      yMax = std::max(yMax, q.y());
    }
  }
  const AxisScale xs = roundScale(xMin, xMax, std::max(2, int(frame.width() / 90)));
  const AxisScale ys = roundScale(yMin, yMax, std::max(2, int(frame.height() / 50)));
  double x0 = xs.low, x1 = xs.high, y0 = ys.low, y1 = ys.high;
  double xStep = xs.step, yStep = ys.step;
  double sx = frame.width() / (x1 - x0), sy = frame.height() / (y1 - y0);
  if (equal) {
    const double s = std::min(sx, sy);
    x0 -= (frame.width() / s - (x1 - x0)) / 2;
    y0 -= (frame.height() / s - (y1 - y0)) / 2;
    x1 = x0 + frame.width() / s;
    y1 = y0 + frame.height() / s;
    sx = sy = s;
    xStep = yStep = std::max(xStep, yStep);
  }
  auto map = [&](const QPointF& q) {
    return QPointF(frame.left() + (q.x() - x0) * sx, frame.bottom() - (q.y() - y0) * sy);
  };

  p.setPen(QPen(QColor(225, 225, 225), 1));
  const std::vector<double> xTicks = ticksWithin(x0, x1, xStep);
  const std::vector<double> yTicks = ticksWithin(y0, y1, yStep);
  for (double t : xTicks) {
    const double px = map(QPointF(t, 0)).x();
    p.drawLine(QPointF(px, frame.top()), QPointF(px, frame.bottom()));
  }
  for (double t : yTicks) {
    const double py = map(QPointF(0, t)).y();
    p.drawLine(QPointF(frame.left(), py), QPointF(frame.right(), py));
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(frame);
  p.drawText(QRectF(area.left(), area.top(), area.width(), 26), Qt::AlignCenter, title);
  for (double t : xTicks) {
    const double px = map(QPointF(t, 0)).x();
    p.drawLine(QPointF(px, frame.bottom()), QPointF(px, frame.bottom() + 4));
    p.drawText(QRectF(px - 45, frame.bottom() + 4, 90, 16), Qt::AlignCenter, number(t));
  }
  p.drawText(QRectF(frame.left(), frame.bottom() + 20, frame.width(), 16), Qt::AlignCenter, xName);
  for (double t : yTicks) {
    const double py = map(QPointF(0, t)).y();
    p.drawLine(QPointF(frame.left() - 4, py), QPointF(frame.left(), py));
    p.drawText(QRectF(area.left(), py - 8, 62, 16), Qt::AlignRight | Qt::AlignVCenter, number(t));
  }

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

// A grid step of 1, 2 or 5 times a power of ten that divides span into
// roughly `lines` parts.
double gridStep(double span, int lines) {
  const double rough = span / lines;
  const double mag = std::pow(10.0, std::floor(std::log10(rough)));
  const double norm = rough / mag;
  return (norm < 1.5 ? 1 : norm < 3.5 ? 2 : norm < 7.5 ? 5 : 10) * mag;
}

// The X-Y path view: equal scale on both axes (a circle stays round), a grid
// at round values, the axes named with their unit, the start as a green ring
// and the end as a red dot (on a closed path the dot sits in the ring).
void drawXyView(QPainter& p, const QRectF& area, const std::vector<QPointF>& points,
                const QString& subtitle) {
  const QRectF frame = area.adjusted(90, 60, -30, -70);
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const QPointF& q : points) {
    x0 = std::min(x0, q.x());
    x1 = std::max(x1, q.x());
    y0 = std::min(y0, q.y());
    y1 = std::max(y1, q.y());
  }
  if (!(x0 <= x1)) x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  double span = std::max(x1 - x0, y1 - y0);
  if (span < 1e-9) span = 1;
  const double pad = span * 0.06;
  x0 -= pad, x1 += pad, y0 -= pad, y1 += pad;
  const double s = std::min(frame.width() / (x1 - x0), frame.height() / (y1 - y0));
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  x0 = cx - frame.width() / s / 2, x1 = cx + frame.width() / s / 2;
  y0 = cy - frame.height() / s / 2, y1 = cy + frame.height() / s / 2;
  auto map = [&](const QPointF& q) {
    return QPointF(frame.left() + (q.x() - x0) * s, frame.bottom() - (q.y() - y0) * s);
  };

  QFont font = p.font();
  font.setPointSize(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRectF(area.left(), area.top() + 6, area.width(), 26), Qt::AlignCenter,
             "Commanded X-Y path");
  font.setPointSize(9);
  font.setBold(false);
  p.setFont(font);
  p.drawText(QRectF(area.left(), area.top() + 32, area.width(), 18), Qt::AlignCenter, subtitle);

  // Grid and tick labels: one step for both axes, as the scale is one.
  const double step = gridStep(std::max(x1 - x0, y1 - y0), 10);
  p.setPen(QPen(QColor(220, 220, 220), 1));
  for (double g = std::ceil(x0 / step) * step; g <= x1; g += step) {
    const double px = map(QPointF(g, 0)).x();
    p.drawLine(QPointF(px, frame.top()), QPointF(px, frame.bottom()));
  }
  for (double g = std::ceil(y0 / step) * step; g <= y1; g += step) {
    const double py = map(QPointF(0, g)).y();
    p.drawLine(QPointF(frame.left(), py), QPointF(frame.right(), py));
  }
  p.setPen(Qt::black);
  for (double g = std::ceil(x0 / step) * step; g <= x1; g += step) {
    const double px = map(QPointF(g, 0)).x();
    const double v = std::fabs(g) < step * 1e-6 ? 0.0 : g;
    p.drawLine(QPointF(px, frame.bottom()), QPointF(px, frame.bottom() + 5));
    p.drawText(QRectF(px - 40, frame.bottom() + 6, 80, 16), Qt::AlignCenter, number(v));
  }
  for (double g = std::ceil(y0 / step) * step; g <= y1; g += step) {
    const double py = map(QPointF(0, g)).y();
    const double v = std::fabs(g) < step * 1e-6 ? 0.0 : g;
    p.drawLine(QPointF(frame.left() - 5, py), QPointF(frame.left(), py));
    p.drawText(QRectF(frame.left() - 86, py - 8, 78, 16), Qt::AlignRight | Qt::AlignVCenter,
               number(v));
  }
  p.drawRect(frame);
  p.drawText(QRectF(frame.left(), frame.bottom() + 26, frame.width(), 18), Qt::AlignCenter,
             "X (units)");
  p.save();
  p.translate(area.left() + 18, frame.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-frame.height() / 2, -9, frame.height(), 18), Qt::AlignCenter, "Y (units)");
  p.restore();

  p.save();
  p.setClipRect(frame.adjusted(-1, -1, 1, 1));
  p.setRenderHint(QPainter::Antialiasing, true);
  if (!points.empty()) {
    QPainterPath path(map(points.front()));
    for (const QPointF& q : points)
      path.lineTo(map(q));
    p.setPen(QPen(Qt::blue, 1.5));
    p.drawPath(path);
    p.setPen(QPen(Qt::darkGreen, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(map(points.front()), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::red);
    p.drawEllipse(map(points.back()), 4, 4);
  }
  p.restore();

  // Legend below the title, left.
  const QPointF at(frame.left() + 12, frame.top() + 16);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(Qt::darkGreen, 2.5));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(at, 6, 6);
  p.setPen(Qt::black);
  p.drawText(QRectF(at.x() + 12, at.y() - 8, 60, 16), Qt::AlignLeft | Qt::AlignVCenter, "start");
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::red);
  p.drawEllipse(at + QPointF(0, 20), 4, 4);
  p.setPen(Qt::black);
  p.drawText(QRectF(at.x() + 12, at.y() + 12, 60, 16), Qt::AlignLeft | Qt::AlignVCenter, "end");
}

bool savePng(const QImage& image, const std::string& file, std::string& error) {
  if (image.save(QString::fromStdString(file), "PNG")) return true;
  error = "cannot write " + file;
  return false;
}

}  // namespace

bool plottingBuilt() {
  return true;
}

bool writePlot(const Trace& trace, const std::string& file, std::string& error) {
  const GuiScope gui;

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
  return savePng(image, file, error);
}

bool writeXyPlot(const Trace& trace, const std::string& file, std::string& error) {
  const GuiScope gui;
  constexpr size_t kMaxPathPoints = 20000;  // longer runs are thinned
  const size_t n = trace.samples.size();
  const size_t stride = std::max<size_t>(1, (n + kMaxPathPoints - 1) / kMaxPathPoints);
  // The run starts at rest in the origin.
  std::vector<QPointF> points{QPointF(0, 0)};
  for (size_t i = 0; i < n; i += stride) {
    const Sample& s = trace.samples[std::min(i + stride - 1, n - 1)];
    points.emplace_back(s.position[0], s.position[1]);
  }
  const QPointF end = points.back();
  const QString subtitle = QString("%1 periods of %2 ms; start (0, 0), end (%3, %4)")
                               .arg(n)
                               .arg(trace.cycleMs)
                               .arg(number(end.x()), number(end.y()));
  QImage image(900, 900, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    drawXyView(p, QRectF(0, 0, 900, 900), points, subtitle);
  }
  return savePng(image, file, error);
}

}  // namespace tv::run
