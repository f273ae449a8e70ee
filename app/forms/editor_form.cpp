#include "forms/editor_form.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "forms/form_kit.h"
#include "forms/testing_form.h"
#include "glyphkey/piccommand.h"
#include "platform/msgbox/msgbox.h"
#include "run/geometry.h"
#include "run/list_text.h"
#include "run/units.h"
#include "state/public_variant.h"
#include "widgets/number_box.h"
#include "widgets/plot_view.h"
#include "window/frame.h"

namespace tervane {

namespace {

const char* const kTypeTips[] = {"VNL_Line", "VNL_CircleXY", "VNL_ArcXY"};

IntPoint rounded(QPointF p) {
  return {static_cast<int32_t>(roundHalfEven(p.x())), static_cast<int32_t>(roundHalfEven(p.y()))};
}

// A rounded point as a plot point; an arc's points are whole pulses.
QPointF plotPoint(IntPoint p) {
  return {double(p.x), double(p.y)};
}

bool fitsInt32(double v) {
  return v >= -2147483648.0 && v < 2147483648.0;
}

}  // namespace

EditorForm::EditorForm(PublicVariant& state, Frame& frame, TestingForm& testing, QWidget* parent)
    : QWidget(parent), state_(state), frame_(frame), testing_(testing) {
  setObjectName(QStringLiteral("frmEditor"));
  setAccessibleName(tr("Editor"));
  // Top left like every child form, but only as wide as the testing form's
  // list, so the plot stays in view while entries are added.
  const QSize full = childFormSize(logicalDpiX());
  setProperty("childSize", QSize(full.width() - kTestingPlotSide - 16, full.height()));

  motionType_ =
      namedCombo(QStringLiteral("cboMotionType"), {"Line", "Circle", "Arc"}, tr("Motion"), this);
  speed_ = new NumberBox(QStringLiteral("txtMotionSpeed"), kEditorKeys, this);
  speed_->setAccessibleName(tr("Speed"));
  destX_ = new NumberBox(QStringLiteral("txtEditDestX"), kEditorKeys, this);
  destY_ = new NumberBox(QStringLiteral("txtEditDestY"), kEditorKeys, this);
  refX_ = new NumberBox(QStringLiteral("txtEditRefX"), kEditorKeys, this);
  refY_ = new NumberBox(QStringLiteral("txtEditRefY"), kEditorKeys, this);
  destX_->setAccessibleName(tr("Destination axis 0"));
  destY_->setAccessibleName(tr("Destination axis 1"));
  refX_->setAccessibleName(tr("Reference axis 0"));
  refY_->setAccessibleName(tr("Reference axis 1"));
  // The boxes' first texts, before their change handlers listen.
  speed_->setText(QStringLiteral("1000"));
  for (NumberBox* b : {destX_, destY_, refX_, refY_})
    b->setText(QStringLiteral("20000"));
  connect(speed_, &QLineEdit::textChanged, this, &EditorForm::speedChanged);
  connect(destX_, &QLineEdit::textChanged, this,
          [this] { coordinateChanged(destX_, destinationX_); });
  connect(destY_, &QLineEdit::textChanged, this,
          [this] { coordinateChanged(destY_, destinationY_); });
  connect(refX_, &QLineEdit::textChanged, this, [this] { coordinateChanged(refX_, referenceX_); });
  connect(refY_, &QLineEdit::textChanged, this, [this] { coordinateChanged(refY_, referenceY_); });

  clockwise_ = new QRadioButton(QStringLiteral("CW"), this);
  clockwise_->setObjectName(QStringLiteral("optClockwise"));
  antiClockwise_ = new QRadioButton(QStringLiteral("CCW"), this);
  antiClockwise_->setObjectName(QStringLiteral("optAntiClockwise"));
  auto* directions = new QButtonGroup(this);
  directions->addButton(clockwise_);
  directions->addButton(antiClockwise_);

  addButton_ = new glyphkey::picCommand(this);
  addButton_->setObjectName(QStringLiteral("picCmdAdd"));
  addButton_->setCaption(QStringLiteral("ADD"));
  addButton_->setPicBlue(true);
  cancel_ = new glyphkey::picCommand(this);
  cancel_->setObjectName(QStringLiteral("picCmdCancel"));
  cancel_->setCaption(QStringLiteral("Cancel"));
  cancel_->setPicBlue(true);  // the testing form's Editor gives Cancel its available look
  for (auto* b : {addButton_, cancel_})
    b->setCursor(Qt::PointingHandCursor);
  using glyphkey::picCommand;
  connect(addButton_, &picCommand::MouseDown, this, [this] { add(); });
  connect(addButton_, &picCommand::MouseUp, this, [this] {
    addButton_->setPicBlue(true);
    frame_.setLook(Command::Run, Look::Available);
  });
  connect(cancel_, &picCommand::MouseDown, this, [this] { frame_.unload(Form::Editor); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);
  auto* top = new QGridLayout;
  top->addWidget(caption(QStringLiteral("Motion : "), this, motionType_), 0, 0);
  top->addWidget(motionType_, 0, 1, 1, 2);
  top->addWidget(caption(QStringLiteral("Speed : "), this, speed_), 1, 0);
  top->addWidget(speed_, 1, 1);
  top->addWidget(caption(QStringLiteral("pulse/sec"), this), 1, 2);
  layout->addLayout(top);

  auto pointGroup = [this](const QString& title, NumberBox* x, NumberBox* y) {
    auto* box = new QGroupBox(title, this);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    grid->addWidget(caption(QStringLiteral("0 :"), box, x), 0, 0);
    grid->addWidget(x, 0, 1);
    grid->addWidget(caption(QStringLiteral("Pulses"), box), 0, 2);
    grid->addWidget(caption(QStringLiteral("1 :"), box, y), 1, 0);
    grid->addWidget(y, 1, 1);
    grid->addWidget(caption(QStringLiteral("Pulses"), box), 1, 2);
    return box;
  };
  layout->addWidget(
      pointGroup(QStringLiteral("Destination Position for Line(Arc) Motion"), destX_, destY_));
  layout->addWidget(
      pointGroup(QStringLiteral("Reference(Center) Pos. for Arc(Circle) Motion"), refX_, refY_));
  auto* direction = new QGroupBox(QStringLiteral("Direction for Circle Motion"), this);
  auto* row = new QHBoxLayout(direction);
  row->addWidget(clockwise_);
  row->addWidget(antiClockwise_);
  row->addStretch(1);
  layout->addWidget(direction);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(addButton_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  connect(motionType_, &QComboBox::activated, this, &EditorForm::motionTypeChosen);
  motionType_->setCurrentIndex(state_.editorMotionType);
  motionTypeChosen(state_.editorMotionType);
}

void EditorForm::motionTypeChosen(int index) {
  state_.editorMotionType = static_cast<int16_t>(index);
  motionType_->setToolTip(QString::fromLatin1(kTypeTips[index]));
  const bool withReference = index != 0;
  for (QWidget* w : std::initializer_list<QWidget*>{refX_, refY_, clockwise_, antiClockwise_})
    w->setEnabled(withReference);
  if (index == 2) {  // the example arc
    destX_->setText(QStringLiteral("20000"));
    destY_->setText(QStringLiteral("0"));
    refX_->setText(QStringLiteral("10000"));
    refY_->setText(QStringLiteral("10000"));
  }
}

void EditorForm::coordinateChanged(NumberBox* box, double& stored) {
  if (const auto value = box->takeNumber(true)) stored = *value;
}

void EditorForm::speedChanged() {
  if (const auto value = speed_->takeWholeNumber()) state_.motion.speed = *value;
}

bool EditorForm::add() {
  if (clockwise_->isChecked()) direction_ = 0;
  if (antiClockwise_->isChecked()) direction_ = 1;
  // Every box must hold a number; an empty or half-typed one is a setting
  // error and nothing is added.
  const auto speed = parseInt32(speed_->text());
  const auto dx = parseNumber(destX_->text()), dy = parseNumber(destY_->text());
  const auto rx = parseNumber(refX_->text()), ry = parseNumber(refY_->text());
  if (!speed || !dx || !dy || !rx || !ry) {
    platform::msgbox::show(" Error Setting", "Tervane");
    return false;
  }
  if (state_.list.full()) {
    platform::msgbox::show(" The command list is full (32767 entries)", "Tervane");
    return false;
  }
  const EditorValues v{*speed, *dx, *dy, *rx, *ry, direction_};
  const MoveType type = static_cast<MoveType>(motionType_->currentIndex());
  const QPointF c = plotCursor_;
  CommandEntry entry{type, v.speed};
  switch (type) {
    case MoveType::Line:
      entry.destinationX = v.destinationX;
      entry.destinationY = v.destinationY;
      testing_.addListLine(listLine(type, v));
      testing_.drawPreviewLine(c, c + QPointF(v.destinationX, v.destinationY));
      plotCursor_ = c + QPointF(v.destinationX, v.destinationY);
      break;
    case MoveType::Circle:
      entry.referenceX = v.referenceX;
      entry.referenceY = v.referenceY;
      entry.direction = v.direction;
      testing_.addListLine(listLine(type, v));
      testing_.drawPreviewCircle(c + QPointF(v.referenceX, v.referenceY),
                                 roundHalfEven(std::hypot(v.referenceX, v.referenceY)));
      break;
    case MoveType::Arc: {
      const bool relative = state_.parameters.coordinateMode == 0;
      const QPointF via =
          relative ? c + QPointF(v.referenceX, v.referenceY) : QPointF(v.referenceX, v.referenceY);
      const QPointF end = relative ? c + QPointF(v.destinationX, v.destinationY)
                                   : QPointF(v.destinationX, v.destinationY);
      for (double w : {c.x(), c.y(), via.x(), via.y(), end.x(), end.y()}) {
        if (!fitsInt32(roundHalfEven(w))) {
          platform::msgbox::show("Error Setting", "Tervane");
          return false;
        }
      }
      const IntPoint p0 = rounded(c), p1 = rounded(via), p2 = rounded(end);
      const auto centre = arcCentre(p0, p1, p2);
      if (const auto* failure = std::get_if<ArcFailure>(&centre)) {
        platform::msgbox::show(
            *failure == ArcFailure::Collinear ? "Please Check your ARC Argriment" : "Error Setting",
            "Tervane");
        return false;
      }
      const IntPoint m = std::get<IntPoint>(centre);
      entry.destinationX = v.destinationX;
      entry.destinationY = v.destinationY;
      entry.referenceX = v.referenceX;
      entry.referenceY = v.referenceY;
      testing_.addListLine(listLine(type, v));
      const double radius = roundHalfEven(std::hypot(double(m.x) - p1.x, double(m.y) - p1.y));
      const ArcSweep arc = arcThrough(m.x, m.y, p0, p1, p2);
      testing_.drawPreviewArc(plotPoint(m), radius, arc.start, arc.sweep);
      plotCursor_ = plotPoint(p2);
      break;
    }
  }
  state_.list.add(entry);
  testing_.offerEditing();
  frame_.setCommandVisible(Command::Run, true);
  frame_.setLook(Command::Run, Look::Available);
  frame_.setCommandVisible(Command::Stop, true);
  frame_.setLook(Command::Stop, Look::Unavailable);
  return true;
}

}  // namespace tervane
