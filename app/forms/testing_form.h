// frmTesting: the command list and its plot. The list shows one line per
// entry of the shared command list; the plot shows the editor's preview in
// light magenta and, while the list runs, the executed path in yellow.
#pragma once

#include <QWidget>
#include <functional>

class QListWidget;

namespace glyphkey {
class picCommand;
}

namespace tervane {

class Frame;
class MotionLibrary;
class PlotView;
struct PublicVariant;

class TestingForm : public QWidget {
  Q_OBJECT

 public:
  TestingForm(PublicVariant& state, MotionLibrary& lib, Frame& frame, QWidget* parent = nullptr);

  // ---- the main window's side
  bool firstLineEmpty() const;
  // Selects a line when there is one at that position.
  void selectLine(int index);
  // A segment of the executed path, in pulses.
  void drawTrace(QPointF from, QPointF to);

  // ---- the editor's side
  // Appends a line to the list and selects it.
  void addListLine(const QString& text);
  void drawPreviewLine(QPointF from, QPointF to);
  void drawPreviewCircle(QPointF centre, double radius);
  void drawPreviewArc(QPointF centre, double radius, double start, double sweep);
  // Delete and Clear get the available look.
  void offerEditing();

  // ---- Import
  // Reads a G-code program and adds its X-Y moves to the list, all or none;
  // a refusal is shown through the message-box hook. False when nothing was
  // added.
  bool importFile(const QString& path);
  // What Import asks for the file (a file dialog unless replaced); an empty
  // answer imports nothing.
  void setFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }

  QListWidget* list() const { return list_; }
  PlotView* plot() const { return plot_; }
  int lineToDelete() const { return lineToDelete_; }

 private:
  void deletePressed();
  void deleteReleased();
  void clearPressed();
  void importPressed();

  PublicVariant& state_;
  MotionLibrary& lib_;
  Frame& frame_;
  QListWidget* list_ = nullptr;
  PlotView* plot_ = nullptr;
  glyphkey::picCommand* clear_ = nullptr;
  glyphkey::picCommand* delete_ = nullptr;
  glyphkey::picCommand* editor_ = nullptr;
  glyphkey::picCommand* import_ = nullptr;
  std::function<QString()> chooseFile_;
  int lineToDelete_ = 0;
};

}  // namespace tervane
