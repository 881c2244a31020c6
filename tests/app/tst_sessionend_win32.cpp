#include "FormFixture.h"
#include "ShutdownOnSignal.h"

#include <QTest>
#include <private/qguiapplication_p.h>

// Logoff and shutdown on Windows: Qt's Windows platform answers
// WM_QUERYENDSESSION by asking the application to commit its data
// (QGuiApplicationPrivate::commitData, called here as the plugin calls it).
// Windows may end the process right after, so by the time that call returns
// the window is closed as its close button would close it and the state file
// is on disk, without any box and without ending the process itself.
class TestSessionEnd : public QObject
{
    Q_OBJECT

private slots:
    void logoffWritesTheStateFile_data()
    {
        QTest::addColumn<QByteArray>("stateFile"); // before the start
        QTest::addColumn<QByteArray>("written");
        const QByteArray defaults("-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n");
        QTest::newRow("no files") << QByteArray() << defaults;
        QTest::newRow("port chosen before") << QByteArray("3\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n")
                                            << QByteArray("3\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n");
    }
    void logoffWritesTheStateFile()
    {
        QFETCH(QByteArray, stateFile);
        QFETCH(QByteArray, written);
        FormFixture f;
        if (!stateFile.isEmpty())
            f.writeFile("PANTRIX.sav", stateFile);
        TForm1 &form = f.show();
        QFile::remove(f.path("PANTRIX.sav"));
        bool processEnded = false;
        ShutdownOnSignal shutdown(form, [&] { processEnded = true; });
        auto *application = static_cast<QGuiApplicationPrivate *>(
            QObjectPrivate::get(static_cast<QGuiApplication *>(QCoreApplication::instance())));
        application->commitData();
        QVERIFY(form.isClosed());
        QCOMPARE(f.readFile("PANTRIX.sav"), written);
        QVERIFY(f.dialogs.errors.isEmpty());
        QVERIFY(f.dialogs.warnings.isEmpty());
        QVERIFY(!processEnded);
    }
};

QTEST_MAIN(TestSessionEnd)
#include "tst_sessionend_win32.moc"
