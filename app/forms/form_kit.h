// Small helpers the forms share to build their controls: named combo boxes,
// captions, and the child-form size property.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include "window/child_size.h"

namespace tervane {

inline QComboBox* namedCombo(const QString& objectName, const QStringList& items,
                             const QString& accessibleName, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(objectName);
  box->addItems(items);
  box->setAccessibleName(accessibleName);
  return box;
}

inline QLabel* caption(const QString& text, QWidget* parent, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

// Every child form has the same size, placed at the top left of the main
// window; the main window reads it from this property.
inline void setChildFormSize(QWidget* form) {
  form->setProperty("childSize", childFormSize(form->logicalDpiX()));
}

}  // namespace tervane
