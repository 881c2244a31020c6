#include "ApplicationTitle.h"
#include "ShutdownOnSignal.h"
#include "TForm1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    TForm1 form;
    // SIGTERM and SIGINT close the window as its close button would.
    ShutdownOnSignal shutdown(form);
    form.show();
    return application.exec();
}
