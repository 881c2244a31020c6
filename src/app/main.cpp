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
    QObject::connect(&terminationSignals, &TerminationSignals::received, &form, [&form] {
        // A box left open must not keep the program alive: it closes first.
        while (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
            if (QApplication::activeModalWidget() == modal)
                break;
        }
        form.close();
    });
    form.show();
    return application.exec();
}
