#include "shell/Startup.h"

#include <QApplication>

namespace orvalt {

int runProgram(QApplication& app)
{
    return app.exec();
}

} // namespace orvalt
