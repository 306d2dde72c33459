#include "cli/CliCommands.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return orvalt::cli::runCli(QCoreApplication::arguments().mid(1), QCoreApplication::applicationDirPath());
}
