#pragma once
// Everything the program does once its QApplication exists: refuse to run without an input
// device, create the main window, the About box and the settings dialog, and run the message
// loop. Returns the program's exit code.
int RunCorvane();
