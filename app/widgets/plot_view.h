// The test run's plot: user coordinates -200000..200000 pulses on both axes,
// x to the right and y upwards, a white scale, strokes in colours of the
// classic 16-colour palette. The strokes are kept in world coordinates and
// drawn, antialiased, into an image the size of the widget, so the picture
// survives repaints and scales with the widget. Hovering shows the position
// under the cursor in pulses.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QTransform>
#include <QWidget>
#include <vector>

namespace tervane {

inline const QColor kPaletteLightMagenta{255, 0, 255};  // colour 13: the preview
inline const QColor kPaletteYellow{255, 255, 0};        // colour 14: the executed path
inline const QColor kPlotBackground{16, 20, 26};
// The plot's side on the testing form, in pixels.
inline constexpr int kTestingPlotSide = 330;

class PlotView : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kHalfRange = 200000;
  static constexpr double kTickStep = 50000;

  explicit PlotView(QWidget* parent = nullptr);

  // Erases every stroke; the scale stays.
  void clear();
  // Strokes of `width` pixels (on a plot 300 pixels wide; they scale with
  // it): the preview is drawn wider than the trace that runs over it, so
  // both stay in sight.
  void addLine(QPointF from, QPointF to, QColor colour, double width = 1.5);
  void addCircle(QPointF centre, double radius, QColor colour, double width = 1.5);
  // An arc about `centre`: start angle and signed sweep in radians,
  // counter-clockwise positive.
  void addArc(QPointF centre, double radius, double start, double sweep, QColor colour,
              double width = 1.5);

  const QImage& image() const { return image_; }
  // World (pulses) to image pixels, and back.
  QTransform worldToImage() const { return toImage_; }
  QPointF imagePoint(QPointF world) const { return toImage_.map(world); }
  std::size_t strokeCount() const { return strokes_.size(); }
  // The text shown for a point of the widget: "x, y pulses".
  QString positionText(QPoint widgetPos) const;

  QSize sizeHint() const override { return {360, 360}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int w) const override { return w; }

 signals:
  void hovered(QPointF world);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  struct Stroke {
    std::vector<QPointF> points;  // world; a polyline
    QColor colour;
    double width;
  };
  QRect imageRect() const;  // where the image lies in the widget
  void render();
  void drawScale(QPainter& p);
  void drawStroke(QPainter& p, const Stroke& s);
  void add(Stroke stroke);

  std::vector<Stroke> strokes_;
  QImage image_;
  QTransform toImage_;
};

}  // namespace tervane
