#pragma once

class QApplication;

namespace orvalt {

// The program's entry: refuses a second copy, creates and shows the main window, runs the loop.
int runProgram(QApplication& app);

} // namespace orvalt
