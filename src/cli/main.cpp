#include "CliApplication.h"
#include "DescriptorBudget.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Many displays at once hold many descriptors; take what the system allows.
    DescriptorBudget::raiseOpenFilesLimit();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pantrix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PANTRIX_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CliApplication::run(application.arguments(), out, err);
}
