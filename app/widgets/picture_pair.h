// Two stacked pictures of which at most one shows: the forms' lamp pairs
// (inactive and active), the Repeat box (unticked and ticked) and the Reset
// picture (released and pressed). Each picture is its own child with its own
// object name ("ledOT(2)" and "ledOT0(2)"). A mouse press or release on the
// shown picture is reported.
#pragma once

#include <QLabel>
#include <QWidget>

namespace tervane {

class PicturePair : public QWidget {
  Q_OBJECT

 public:
  struct Picture {
    QString name;
    QPixmap pixmap;
    QString description;  // accessible description of what this picture says
  };
  PicturePair(const Picture& first, const Picture& second, QWidget* parent = nullptr);

  enum class Shown { None, First, Second };
  void show(Shown which);
  Shown shown() const;
  QLabel* first() const { return first_; }
  QLabel* second() const { return second_; }

 signals:
  void pressed();
  void released();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QLabel* first_;
  QLabel* second_;
};

}  // namespace tervane
