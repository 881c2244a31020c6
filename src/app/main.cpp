#include "ApplicationTitle.h"
#include "TForm1.h"
#include "TerminationSignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    TForm1 form;
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &form, &TForm1::close);
    form.show();
    return application.exec();
}
