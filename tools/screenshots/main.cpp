// Takes a picture of every page of the main window, as a user sees it.
//
//   pantrix-screenshots OUTPUT_DIR [LANGUAGE_FILE [LANGUAGE_INDEX]]
//       offline working ticked, so that every page opens
//   pantrix-screenshots --connect OUTPUT_DIR
//       "COM 1" chosen, "COM-Port verbinden" clicked, the settings sent; the
//       caller maps COM 1 to a display (PANTRIX_COM1=...). It also prints
//       where the button is in the window ("connect button at X,Y"), for a
//       script that clicks it in the program itself.
//   pantrix-screenshots --readme OUTPUT_DIR
//       the pictures of the README: a failed open on COM 2 with its reason in
//       the detail line and the serial devices present, then the line
//       monitor while the settings go to the display on COM 1; the caller
//       maps COM 1 to a display and COM 2 to a port nobody serves.
//
// The window runs in a temporary working directory, with the language file
// copied in when one is given.
#include "LineMonitorWindow.h"
#include "TForm1.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

bool writeStateFile(const QString &path, int port, bool offline, const QString &language)
{
    QFile state(path);
    if (!state.open(QIODevice::WriteOnly))
        return false;
    state.write(QStringLiteral("%1\r\nFALSE\r\nTRUE\r\n%2\r\n%3\r\n")
                    .arg(port)
                    .arg(offline ? "TRUE" : "FALSE", language)
                    .toLatin1());
    return true;
}

bool savePage(TForm1 &form, QWidget *page, const QDir &output, int number)
{
    form.ui().PageControl1->setActivePage(page);
    QTest::qWait(150);
    const QString file =
        output.filePath(QStringLiteral("page%1-%2.png").arg(number).arg(page->objectName()));
    if (!form.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// Connects to the display on COM 1 and sends the settings, as a user would.
bool connectAndSend(TForm1 &form)
{
    auto &ui = form.ui();
    const QPoint button = ui.Button9->mapTo(&form, ui.Button9->rect().center());
    std::printf("connect button at %d,%d\n", button.x(), button.y());
    std::fflush(stdout);
    QTest::mouseClick(ui.Button9, Qt::LeftButton);
    std::printf("status after connect: %s\n", qPrintable(form.statusText().trimmed()));
    if (!form.connected())
        return false;
    ui.PageControl1->setActivePage(ui.TabSheet2);
    ui.RadioGroup2->setItemIndex(3);
    ui.MaskEdit1->setText("042");
    QTest::mouseClick(ui.Button6, Qt::LeftButton);
    return true;
}

bool saveWidget(QWidget *widget, const QDir &output, const QString &name)
{
    QTest::qWait(150);
    const QString file = output.filePath(name);
    if (!widget->grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

bool readmePictures(TForm1 &form, const QDir &output)
{
    auto &ui = form.ui();
    ui.ComboBox2->chooseAsUser(1);
    QTest::mouseClick(ui.Button9, Qt::LeftButton);
    if (!saveWidget(&form, output, QStringLiteral("window-open-failed.png")))
        return false;
    form.openLineMonitor();
    LineMonitorWindow *monitor = form.lineMonitorWindow();
    monitor->resize(1180, 300);
    ui.ComboBox2->chooseAsUser(0);
    if (!connectAndSend(form)) {
        std::fprintf(stderr, "no connection on COM 1: %s\n", qPrintable(form.detailText()));
        return false;
    }
    return saveWidget(monitor, output, QStringLiteral("line-monitor.png")) &&
           saveWidget(&form, output, QStringLiteral("window-sent.png"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QStringList args = application.arguments().mid(1);
    const bool connect = !args.isEmpty() && args.first() == QLatin1String("--connect");
    const bool readme = !args.isEmpty() && args.first() == QLatin1String("--readme");
    if (connect || readme)
        args.removeFirst();
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: %s [--connect|--readme] OUTPUT_DIR [LANGUAGE_FILE [LANGUAGE_INDEX]]\n",
                     argv[0]);
        return 2;
    }
    const QDir output(QDir(args[0]).absolutePath());
    QDir().mkpath(output.path());
    QTemporaryDir work;
    if (args.size() > 1 && !QFile::copy(args[1], work.filePath("Language.mlf"))) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    if (!writeStateFile(work.filePath("PANTRIX.sav"), connect || readme ? 0 : 2,
                        !connect && !readme,
                        args.size() > 2 ? args[2] : QStringLiteral("0")))
        return 1;
    QDir::setCurrent(work.path());

    TForm1 form;
    form.show();
    QTest::qWait(300);
    auto &ui = form.ui();
    if (readme)
        return readmePictures(form, output) ? 0 : 1;
    if (connect) {
        const bool ok = connectAndSend(form);
        const bool saved =
            savePage(form, ui.TabSheet2, output, 3) && savePage(form, ui.TabSheet1, output, 2);
        return ok && saved ? 0 : 1;
    }
    // The brightness page is hidden in the program; show it here to picture it too.
    ui.PageControl1->setPageTabVisible(ui.TabSheet3, true);
    ui.TabSheet3->setEnabled(true);
    const QList<QWidget *> pages = {ui.TabSheet5, ui.TabSheet1, ui.TabSheet2,
                                    ui.TabSheet3, ui.TabSheet6, ui.TabSheet4};
    for (int i = 0; i < pages.size(); ++i) {
        if (!savePage(form, pages[i], output, i + 1))
            return 1;
    }
    return 0;
}
