#include "window/CommandLine.h"
#include "window/Startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (const std::optional<int> status = orvalt::handleCommandLine(argc, argv))
        return *status;
    QApplication app(argc, argv);
    return orvalt::runProgram(app);
}
