#include "ApplicationTitle.h"
#include "ShutdownOnSignal.h"
#include "TForm1.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    TForm1 form;
    // SIGTERM and SIGINT close the window as its close button would.
    ShutdownOnSignal shutdown(form);
    if (!shutdown.isActive())
        std::fprintf(stderr, "%s: SIGTERM and SIGINT will not save the state: %s\n",
                     qPrintable(ApplicationTitle), qPrintable(shutdown.errorString()));
    form.show();
    return application.exec();
}
