// Shows a few picCommand buttons in their looks on one form; with a file name
// it grabs the window from the screen into that PNG and quits.
//
//   glyphkey-showcase [shot.png]
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "glyphkey/piccommand.h"

using glyphkey::picCommand;

namespace {

// Holds the left button down on a control, as a user pressing it would.
void press(picCommand* control) {
  const QPointF at(control->width() / 2.0, control->height() / 2.0);
  QMouseEvent down(QEvent::MouseButtonPress, at, control->mapToGlobal(at), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(control, &down);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget form;
  form.setWindowTitle(QStringLiteral("picCommand"));
  auto* grid = new QGridLayout(&form);
  grid->setHorizontalSpacing(14);

  struct Look {
    const char* caption;
    const char* note;
  };
  const Look looks[] = {
      {"Parameter", "new control"}, {"Initialize", "released"}, {"Run", "pressed"},
      {"Stop", "picRed"},           {"Hold", "picBlue"},        {"Abort", "ForeColor"},
  };
  int column = 0;
  for (const Look& look : looks) {
    auto* control = new picCommand(&form);
    control->setFixedSize(control->sizeHint());
    if (column > 0) control->setCaption(QString::fromLatin1(look.caption));
    grid->addWidget(control, 0, column, Qt::AlignCenter);
    auto* note = new QLabel(QString::fromLatin1(look.note), &form);
    note->setAlignment(Qt::AlignCenter);
    grid->addWidget(note, 1, column, Qt::AlignCenter);
    switch (column) {
      case 1:
        control->setPicGray(true);
        break;
      case 2:
        press(control);
        break;
      case 3:
        control->setPicRed(true);
        break;
      case 4:
        control->setPicBlue(true);
        break;
      case 5:
        control->setForeColor(0x0000FFFFu);  // yellow
        control->setPicRed(true);
        break;
      default:
        break;
    }
    ++column;
  }
  form.show();

  if (argc > 1) {
    const QString path = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(500, &app, [&form, path] {
      const QPixmap shot = form.screen()->grabWindow(form.winId());
      if (!shot.save(path, "PNG")) std::fprintf(stderr, "showcase: cannot write the shot\n");
      QApplication::exit(shot.isNull() ? 1 : 0);
    });
  }
  return app.exec();
}
