#pragma once
// The pictures built into the program (assets/assets.qrc): the window icons and the banner.

#include <QIcon>

// Registers the pictures' resource. A static library's resources are registered only when
// something calls their initialiser; every user of a picture calls this first.
void InitAssets();

// The program's window icon.
QIcon ProgramIcon();
