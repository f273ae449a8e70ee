// Tervane: the operator program of the motion-control stack.
//
//   Tervane [--card virtual|linux] [--simulation] [--machine FILE]
//           [--parameter-file FILE] [--library FILE]
//
// By default the motion library drives the virtual card in real time, with
// the machine of machine/machine.h behind it (or the one a machine file
// describes); --card linux drives a real card through the driver service's
// Linux backend; --simulation runs the library in its simulation mode.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "binding/motion_library.h"
#include "glyphkey/accessible.h"
#include "machine/card_choice.h"
#include "machine/machine_file.h"
#include "platform/msgbox/msgbox.h"
#include "state/parameter_file.h"
#include "window/main_window.h"
#include "window/message_boxes.h"
#include "window/theme.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tervane"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("The operator program of the Tervane motion-control stack."));
  parser.addHelpOption();
  const QCommandLineOption simulation(
      QStringLiteral("simulation"),
      QStringLiteral("Run the motion library in its simulation mode, without a card."));
  const QCommandLineOption machine(
      QStringLiteral("machine"),
      QStringLiteral("Sensor positions and levels of the virtual card's axes (an INI file)."),
      QStringLiteral("FILE"));
  const QCommandLineOption parameterFile(
      QStringLiteral("parameter-file"),
      QStringLiteral("The parameter file (default: %1).").arg(tervane::defaultParameterFile()),
      QStringLiteral("FILE"));
  const QCommandLineOption card(
      QStringLiteral("card"),
      QStringLiteral("The card to drive: virtual (the default) or linux (a real card)."),
      QStringLiteral("KIND"), QStringLiteral("virtual"));
  const QCommandLineOption library(QStringLiteral("library"),
                                   QStringLiteral("The motion library to bind (default: %1).")
                                       .arg(QLatin1String(tervane::MotionLibrary::kDefaultFile)),
                                   QStringLiteral("FILE"));
  parser.addOptions({card, simulation, machine, parameterFile, library});
  parser.process(app);

  tervane::ProgramOptions options;
  options.simulation = parser.isSet(simulation);
  options.parameterFile =
      parser.isSet(parameterFile) ? parser.value(parameterFile) : tervane::defaultParameterFile();
  const auto choice = tervane::chooseCard(parser.value(card).toStdString());
  if (!choice) {
    std::fprintf(stderr, "Tervane: --card takes virtual or linux, not %s\n",
                 qPrintable(parser.value(card)));
    return 2;
  }
  if (options.simulation) {
    options.machineDescription = QStringLiteral(" Simulation mode: no card is driven");
  } else if (choice->real) {
    if (!choice->problem.empty()) {
      // Never the virtual card instead: the operator would take it for the machine.
      const std::string text = "Tervane cannot drive a card: " + choice->problem;
      std::fprintf(stderr, "Tervane: %s\n", choice->problem.c_str());
      tervane::installMessageBoxes(nullptr);
      platform::msgbox::show(text, "Error");
      return 1;
    }
    options.cardType = choice->cardType;
    options.machineDescription =
        QStringLiteral(" Driver service: %1, card at %2")
            .arg(QString::fromStdString(choice->backend), QString::fromStdString(choice->card));
  } else {
    tervane::Machine sensors{};
    if (parser.isSet(machine)) {
      auto read = tervane::readMachineFile(parser.value(machine));
      if (const QString* error = std::get_if<QString>(&read)) {
        std::fprintf(stderr, "Tervane: %s\n", qPrintable(*error));
        return 2;
      }
      sensors = std::get<tervane::Machine>(read);
    }
    tervane::installVirtualMachine(sensors);
    options.machineDescription = tervane::describeVirtualMachine(sensors);
  }

  tervane::applyTheme(app);
  glyphkey::installAccessibility();
  tervane::MotionLibrary lib(parser.isSet(library) ? parser.value(library).toStdString()
                                                   : tervane::MotionLibrary::kDefaultFile);
  tervane::MainWindow window(lib, options);
  tervane::installMessageBoxes(&window);
  QObject::connect(&window, &tervane::MainWindow::finished, &app,
                   [&app](int status) { app.exit(status); });
  window.show();
  return app.exec();
}
