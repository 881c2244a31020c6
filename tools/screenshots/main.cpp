// Takes a picture of every page of the main window, as a user sees it.
// Usage: pantrix-screenshots OUTPUT_DIR [LANGUAGE_FILE [LANGUAGE_INDEX]]
// The window runs in a temporary working directory (with the language file
// copied in when one is given) and offline working ticked, so every page opens.
#include "TForm1.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [LANGUAGE_FILE [LANGUAGE_INDEX]]\n", argv[0]);
        return 2;
    }
    const QDir output(QDir(args[1]).absolutePath());
    QDir().mkpath(output.path());
    QTemporaryDir work;
    if (args.size() > 2 && !QFile::copy(args[2], work.filePath("Language.mlf"))) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[2]));
        return 1;
    }
    const QString language = args.size() > 3 ? args[3] : QStringLiteral("0");
    QFile state(work.filePath("PANTRIX.sav"));
    if (state.open(QIODevice::WriteOnly))
        state.write(QStringLiteral("2\r\nFALSE\r\nTRUE\r\nTRUE\r\n%1\r\n").arg(language).toLatin1());
    state.close();
    QDir::setCurrent(work.path());

    TForm1 form;
    form.show();
    QTest::qWait(300);
    auto &ui = form.ui();
    // The brightness page is hidden in the program; show it here to picture it too.
    ui.PageControl1->setPageTabVisible(ui.TabSheet3, true);
    ui.TabSheet3->setEnabled(true);
    const QList<QWidget *> pages = {ui.TabSheet5, ui.TabSheet1, ui.TabSheet2,
                                    ui.TabSheet3, ui.TabSheet6, ui.TabSheet4};
    for (int i = 0; i < pages.size(); ++i) {
        ui.PageControl1->setActivePage(pages[i]);
        QTest::qWait(150);
        const QString file = output.filePath(QStringLiteral("page%1-%2.png").arg(i + 1).arg(pages[i]->objectName()));
        if (!form.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
