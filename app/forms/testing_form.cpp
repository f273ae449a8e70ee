#include "forms/testing_form.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "binding/motion_library.h"
#include "forms/form_kit.h"
#include "gcode.h"
#include "glyphkey/piccommand.h"
#include "platform/msgbox/msgbox.h"
#include "run/gcode_import.h"
#include "run/list_text.h"
#include "state/public_variant.h"
#include "widgets/plot_view.h"
#include "window/frame.h"

namespace tervane {

namespace {

// The preview is drawn wider than the executed path that runs over it.
constexpr double kPreviewWidth = 3.5;

glyphkey::picCommand* formButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* b = new glyphkey::picCommand(parent);
  b->setObjectName(name);
  b->setCaption(caption);
  b->setCursor(Qt::PointingHandCursor);
  return b;
}

}  // namespace

TestingForm::TestingForm(PublicVariant& state, MotionLibrary& lib, Frame& frame, QWidget* parent)
    : QWidget(parent), state_(state), lib_(lib), frame_(frame) {
  setObjectName(QStringLiteral("frmTesting"));
  setAccessibleName(tr("Testing"));
  setChildFormSize(this);

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstStatus"));
  list_->setAccessibleName(tr("Command list"));
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) lineToDelete_ = row;
  });
  plot_ = new PlotView(this);

  clear_ = formButton(QStringLiteral("picCmdClear"), QStringLiteral("Clear"), this);
  delete_ = formButton(QStringLiteral("picCmdDelete"), QStringLiteral("Delete"), this);
  editor_ = formButton(QStringLiteral("picCmdEditor"), QStringLiteral("Editor"), this);
  import_ = formButton(QStringLiteral("picCmdImport"), QStringLiteral("Import"), this);
  import_->setToolTip(tr("Adds the X-Y moves of a G-code program (.ngc, .nc, .gcode)"));
  clear_->setPicGray(true);
  delete_->setPicGray(true);
  editor_->setPicBlue(true);
  import_->setPicBlue(true);
  using glyphkey::picCommand;
  connect(clear_, &picCommand::MouseDown, this, &TestingForm::clearPressed);
  connect(clear_, &picCommand::MouseUp, this, [this] { clear_->setPicBlue(true); });
  connect(delete_, &picCommand::MouseDown, this, &TestingForm::deletePressed);
  connect(delete_, &picCommand::MouseUp, this, &TestingForm::deleteReleased);
  connect(editor_, &picCommand::MouseDown, this, [this] { frame_.showEditor(); });
  connect(editor_, &picCommand::MouseUp, this, [this] { editor_->setPicBlue(true); });
  connect(import_, &picCommand::MouseDown, this, &TestingForm::importPressed);
  connect(import_, &picCommand::MouseUp, this, [this] { import_->setPicBlue(true); });
  chooseFile_ = [this] {
    return QFileDialog::getOpenFileName(this, tr("Import G-code"), QString(),
                                        tr("G-code programs (*.ngc *.nc *.gcode);;All files (*)"));
  };

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(6);
  for (auto* b : {clear_, delete_, editor_, import_})
    buttons->addWidget(b);
  buttons->addStretch(1);
  auto* left = new QVBoxLayout;
  left->addWidget(caption(tr("Command list"), this, list_));
  left->addWidget(list_, 1);
  left->addLayout(buttons);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(8);
  layout->addLayout(left, 1);
  layout->addWidget(plot_, 0, Qt::AlignTop);
  plot_->setFixedSize(kTestingPlotSide, kTestingPlotSide);

  // Load: an empty list (the next ADD writes entry 0 again).
  state_.list.entries.clear();
  state_.currentListIndex = 0;
}

bool TestingForm::firstLineEmpty() const {
  return list_->count() == 0 || list_->item(0)->text().isEmpty();
}

void TestingForm::selectLine(int index) {
  if (index >= 0 && index < list_->count()) list_->setCurrentRow(index);
}

void TestingForm::drawTrace(QPointF from, QPointF to) {
  if (from == to) return;  // standing still draws nothing new
  plot_->addLine(from, to, kPaletteYellow);
}

void TestingForm::addListLine(const QString& text) {
  list_->addItem(text);
  list_->setCurrentRow(list_->count() - 1);
}

void TestingForm::drawPreviewLine(QPointF from, QPointF to) {
  plot_->addLine(from, to, kPaletteLightMagenta, kPreviewWidth);
}

void TestingForm::drawPreviewCircle(QPointF centre, double radius) {
  plot_->addCircle(centre, radius, kPaletteLightMagenta, kPreviewWidth);
}

void TestingForm::drawPreviewArc(QPointF centre, double radius, double start, double sweep) {
  plot_->addArc(centre, radius, start, sweep, kPaletteLightMagenta, kPreviewWidth);
}

void TestingForm::offerEditing() {
  delete_->setPicBlue(true);
  clear_->setPicBlue(true);
}

void TestingForm::deletePressed() {
  delete_->setPicBlue(true);
  if (list_->count() == 0) return;
  const int k = std::min(lineToDelete_, list_->count() - 1);
  delete list_->takeItem(k);
  state_.list.removeAt(k);
  list_->setCurrentRow(list_->count() - 1);
}

void TestingForm::deleteReleased() {
  if (firstLineEmpty()) {
    delete_->setPicGray(true);
  } else {
    delete_->setPicBlue(true);
  }
}

void TestingForm::clearPressed() {
  state_.list.entries.clear();
  list_->clear();
  lineToDelete_ = 0;
  plot_->clear();
  state_.shownCommandPosition[0] = 0;
  state_.shownCommandPosition[1] = 0;
  lib_.ResetMotion();
}

void TestingForm::importPressed() {
  const QString path = chooseFile_ ? chooseFile_() : QString();
  if (!path.isEmpty()) importFile(path);
}

bool TestingForm::importFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    platform::msgbox::show(" Import: cannot open " + path.toStdString(), "Tervane");
    return false;
  }
  const QByteArray text = file.readAll();
  const tv::gcode::Result program =
      tv::gcode::read(std::string_view(text.constData(), text.size()));
  const Import imported =
      importMoves(program, CommandList::kMaxEntries - state_.list.count(), state_.motion.speed);
  if (!imported.error.empty()) {
    platform::msgbox::show(" Import refused, nothing added: " + imported.error, "Tervane");
    return false;
  }
  if (imported.entries.empty()) return false;
  // The imported path starts where the list's path ends.
  QPointF origin(0, 0);
  for (const CommandEntry& e : state_.list.entries)
    if (e.type != MoveType::Circle) origin += QPointF(e.destinationX, e.destinationY);
  for (const ImportedEntry& i : imported.entries) {
    const CommandEntry& e = i.entry;
    const EditorValues values{e.speed,      e.destinationX, e.destinationY,
                              e.referenceX, e.referenceY,   e.direction};
    addListLine(listLine(e.type, values));
    const QPointF from = origin + QPointF(i.fromX, i.fromY);
    const QPointF centre = origin + QPointF(i.centreX, i.centreY);
    switch (e.type) {
      case MoveType::Line:
        drawPreviewLine(from, origin + QPointF(i.toX, i.toY));
        break;
      case MoveType::Circle:
        drawPreviewCircle(centre, i.radius);
        break;
      case MoveType::Arc:
        drawPreviewArc(centre, i.radius, i.start, i.sweep);
        break;
    }
    state_.list.add(e);
  }
  offerEditing();
  frame_.setCommandVisible(Command::Run, true);
  frame_.setLook(Command::Run, Look::Available);
  frame_.setCommandVisible(Command::Stop, true);
  frame_.setLook(Command::Stop, Look::Unavailable);
  frame_.addStatus(
      QStringLiteral(" Imported %1 entries from %2%3")
          .arg(imported.entries.size())
          .arg(QFileInfo(path).fileName())
          .arg(program.warnings.empty()
                   ? QString()
                   : QStringLiteral(" (%1 words ignored)").arg(program.warnings.size())));
  return true;
}

}  // namespace tervane
