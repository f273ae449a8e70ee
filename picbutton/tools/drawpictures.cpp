// Draws the three pictures of picCommand (blue 70 x 30, gray 70 x 30, red
// 68 x 30) and writes them as JPEG files into the folder given as argument.
// Run once; the images are committed with the library's resources.
//
//   drawpictures picbutton/resources
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>

namespace {

struct Picture {
  const char* file;
  int width;
  QColor top;
  QColor bottom;
};

// A raised face: a vertical gradient, a light upper-left edge and a dark
// lower-right edge, so the picture reads as a button.
QImage draw(const Picture& picture) {
  QImage image(picture.width, 30, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient face(0, 0, 0, image.height());
  face.setColorAt(0.0, picture.top);
  face.setColorAt(1.0, picture.bottom);
  painter.fillRect(image.rect(), face);

  const int right = image.width() - 1;
  const int bottom = image.height() - 1;
  painter.setPen(picture.top.lighter(150));
  painter.drawLine(0, 0, right, 0);
  painter.drawLine(0, 0, 0, bottom);
  painter.setPen(picture.top.lighter(120));
  painter.drawLine(1, 1, right - 1, 1);
  painter.drawLine(1, 1, 1, bottom - 1);
  painter.setPen(picture.bottom.darker(180));
  painter.drawLine(0, bottom, right, bottom);
  painter.drawLine(right, 0, right, bottom);
  painter.setPen(picture.bottom.darker(130));
  painter.drawLine(1, bottom - 1, right - 1, bottom - 1);
  painter.drawLine(right - 1, 1, right - 1, bottom - 1);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: drawpictures <folder>\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  const Picture pictures[] = {
      {"blue.jpg", 70, QColor(0x5b, 0x8f, 0xe0), QColor(0x1c, 0x46, 0x9c)},
      {"gray.jpg", 70, QColor(0x9a, 0x9f, 0xa8), QColor(0x5c, 0x61, 0x6a)},
      {"red.jpg", 68, QColor(0xe8, 0x5a, 0x5a), QColor(0x9c, 0x1c, 0x1c)},
  };
  for (const Picture& picture : pictures) {
    const QString path = folder.filePath(QString::fromLatin1(picture.file));
    if (!draw(picture).save(path, "JPEG", 95)) {
      std::fprintf(stderr, "drawpictures: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
