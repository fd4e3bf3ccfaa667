#include "app/Assets.h"

#include <QString>

// Not in a namespace: the macro declares the initialiser in the enclosing one.
void InitAssets() { Q_INIT_RESOURCE(assets); }

QIcon ProgramIcon() {
  InitAssets();
  return QIcon(QStringLiteral(":/assets/corvane.png"));
}
