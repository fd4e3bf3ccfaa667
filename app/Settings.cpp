#include "app/Settings.h"

#include <QComboBox>

TFormSettings::TFormSettings(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Settings"));
  CmbBoxInDev = new QComboBox(this);
  CmbBoxInDev->setGeometry(28, 38, 171, 21);
  FormSettings = this;
}

TFormSettings::~TFormSettings() {
  if (FormSettings == this) FormSettings = nullptr;
}
