#include "ApplicationTitle.h"
#include "CommandLine.h"
#include "DesktopIdentity.h"
#include "ShutdownOnSignal.h"
#include "TForm1.h"
#include "WorkingFolder.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    DesktopIdentity::useParentConsole();
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
    form.setFilesToOpen(commandLine.files());
    // SIGTERM and SIGINT close the window as its close button would.
    ShutdownOnSignal shutdown(form);
    if (!shutdown.isActive())
        std::fprintf(stderr, "%s: SIGTERM and SIGINT will not save the state: %s\n",
                     qPrintable(ApplicationTitle), qPrintable(shutdown.errorString()));
    form.show();
    return application.exec();
}
