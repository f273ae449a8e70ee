#include "run/list_text.h"

#include <vector>

#include "run/text_entry.h"

namespace tervane {

QString listNumber(double value) {
  const QString digits = plainNumber(value);
  return value < 0 ? digits : QStringLiteral(" ") + digits;
}

QString listLine(MoveType type, const EditorValues& v) {
  QString name;
  std::vector<double> numbers;
  switch (type) {
    case MoveType::Line:
      name = QStringLiteral("Line");
      numbers = {double(v.speed), v.destinationX, v.destinationY};
      break;
    case MoveType::Circle:
      name = QStringLiteral("Circle");
      numbers = {double(v.speed), v.referenceX,   v.referenceY,
                 v.destinationX,  v.destinationY, double(v.direction)};
      break;
    case MoveType::Arc:
      name = QStringLiteral("Arc");
      numbers = {double(v.speed), v.referenceX, v.referenceY, v.destinationX, v.destinationY};
      break;
  }
  for (double n : numbers)
    name += QStringLiteral(",") + listNumber(n);
  return name;
}

}  // namespace tervane
