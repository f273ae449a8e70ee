// The machine file of the virtual card (see machine.h), and the status line
// that says what the library runs on.
#pragma once

#include <QString>
#include <variant>

#include "machine/machine.h"

namespace tervane {

// The machine file's machine, or why it cannot be used.
std::variant<Machine, QString> readMachineFile(const QString& path);

// One status-list line saying what the library runs on.
QString describeVirtualMachine(const Machine& machine);

}  // namespace tervane
