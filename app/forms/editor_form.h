// frmEditor: adds line, circle and arc entries to the command list and
// previews each on the testing form's plot from the end of the path
// previewed so far (PlotCursor, (0, 0) whenever the editor opens).
#pragma once

#include <QPointF>
#include <QWidget>

class QComboBox;
class QRadioButton;

namespace glyphkey {
class picCommand;
}

namespace tervane {

class Frame;
class NumberBox;
class TestingForm;
struct PublicVariant;

class EditorForm : public QWidget {
  Q_OBJECT

 public:
  EditorForm(PublicVariant& state, Frame& frame, TestingForm& testing, QWidget* parent = nullptr);

  QPointF plotCursor() const { return plotCursor_; }
  // What ADD does on its press; false when nothing was added.
  bool add();

 private:
  void motionTypeChosen(int index);
  void coordinateChanged(NumberBox* box, double& stored);
  void speedChanged();

  PublicVariant& state_;
  Frame& frame_;
  TestingForm& testing_;
  QComboBox* motionType_ = nullptr;
  NumberBox* speed_ = nullptr;
  NumberBox* destX_ = nullptr;
  NumberBox* destY_ = nullptr;
  NumberBox* refX_ = nullptr;
  NumberBox* refY_ = nullptr;
  QRadioButton* clockwise_ = nullptr;
  QRadioButton* antiClockwise_ = nullptr;
  glyphkey::picCommand* addButton_ = nullptr;
  glyphkey::picCommand* cancel_ = nullptr;

  double destinationX_ = 20000, destinationY_ = 20000;
  double referenceX_ = 20000, referenceY_ = 20000;
  uint8_t direction_ = 0;
  QPointF plotCursor_{0, 0};
};

}  // namespace tervane
