#include "app/Assets.h"

#include <QString>

// Not in a namespace: the macro declares the initialiser in the enclosing one.
static void InitAssetsResource() { Q_INIT_RESOURCE(assets); }

void InitAssets() { InitAssetsResource(); }

QIcon ProgramIcon() {
  InitAssets();
  return QIcon(QStringLiteral(":/assets/corvane.png"));
}
