#include "window/theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace tervane {

void applyTheme(QApplication& app) {
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette p;
  p.setColor(QPalette::Window, QColor(232, 234, 237));
  p.setColor(QPalette::WindowText, QColor(28, 32, 38));
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::AlternateBase, QColor(244, 245, 247));
  p.setColor(QPalette::Text, QColor(20, 24, 30));
  p.setColor(QPalette::Button, QColor(222, 225, 230));
  p.setColor(QPalette::ButtonText, QColor(28, 32, 38));
  p.setColor(QPalette::Highlight, QColor(36, 104, 178));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, QColor(255, 252, 220));
  p.setColor(QPalette::ToolTipText, QColor(20, 20, 20));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(150, 154, 160));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(150, 154, 160));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(150, 154, 160));
  app.setPalette(p);
  app.setStyleSheet(QStringLiteral(R"(
    QFrame#toolBar, QFrame#runBar {
      background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f6f7f9, stop:1 #dcdfe4);
      border: 1px solid #b9bec6; border-radius: 4px;
    }
    QFrame#positionPanel { background: #2b3038; border-radius: 6px; }
    QFrame#positionPanel QGroupBox {
      color: #d8dde4; font-weight: bold; border: 1px solid #4a515c; border-radius: 4px;
      margin-top: 10px; padding-top: 6px;
    }
    QFrame#positionPanel QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
    QFrame#positionPanel QLabel { color: #c9ced6; }
    QLabel[role="actual"], QLabel[role="command"] {
      background: #12161c; border: 1px solid #3d444e; border-radius: 3px; padding: 1px 6px;
      font-family: "DejaVu Sans Mono", monospace; font-size: 15px; font-weight: bold;
    }
    QLabel[role="actual"] { color: #62e07a; }
    QLabel[role="command"] { color: #f4c04a; }
    QLabel[role="axis"] { font-family: "DejaVu Sans Mono", monospace; }
    QLabel#lblHome { color: #e8ecf0; font-weight: bold; }
    QListWidget#lstStatus { font-family: "DejaVu Sans Mono", monospace; }
    QGroupBox { font-weight: bold; border: 1px solid #b9bec6; border-radius: 4px;
                margin-top: 9px; padding-top: 4px; }
    QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
    QGroupBox * { font-weight: normal; }
    QPushButton[role="jog"] { font-size: 14px; font-weight: bold; }
  )"));
}

}  // namespace tervane
