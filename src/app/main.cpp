#include "CommandLine.h"
#include "DesktopIdentity.h"
#include "TForm1.h"
#include "TerminationSignals.h"
#include "WorkingFolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const CommandLine commandLine = CommandLine::parse(CommandLine::arguments(argc, argv));
    if (commandLine.action() != CommandLine::Action::Run)
        return commandLine.finish();
    DesktopIdentity::beginDisplayGuard();
    QApplication application(argc, argv);
    DesktopIdentity::endDisplayGuard();
    DesktopIdentity::apply();
    if (commandLine.desktopStart() && !WorkingFolder::enterForDesktopStart())
        return 1;
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
