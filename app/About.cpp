#include "app/About.h"

TFormAbout::TFormAbout(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("About Corvane"));
  FormAbout = this;
}

TFormAbout::~TFormAbout() {
  if (FormAbout == this) FormAbout = nullptr;
}
