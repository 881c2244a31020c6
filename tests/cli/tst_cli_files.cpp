#include "CliProcess.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

using CliProcess::Run;
const QByteArray Settings = CliProcess::ExampleSettings;
const QByteArray Brightness = QByteArray::fromHex("1B4854 0106080C1016273246 5A6EA0BEC8D2F0 0D0A");

Run runCli(const QStringList &arguments, const QString &folder)
{
    return CliProcess::run(arguments, folder);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCliFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commands_data();
    void commands();
    void jsonIsOneObjectPerResult();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCliFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeFile(m_dir->filePath("a.esv"), Settings);
    writeFile(m_dir->filePath("b.hsv"), Brightness);
    QByteArray bad = Settings;
    bad[19] = '/';
    writeFile(m_dir->filePath("bad.esv"), bad);
}

void TestCliFiles::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // in standard output, or in standard error when failing
    QTest::addColumn<QString>("file");     // a file whose bytes are then checked
    QTest::addColumn<QByteArray>("bytes");

    QByteArray edited = Settings;
    edited[6] = '4';
    edited.replace(12, 3, "007");
    QTest::newRow("show settings")
        << QStringList{"show", "a.esv"} << 0 << "data-format          8-bit none"
        << "a.esv" << Settings;
    QTest::newRow("show brightness")
        << QStringList{"show", "b.hsv"} << 0 << "level 16             240"
        << "b.hsv" << Brightness;
    QTest::newRow("edit to another file")
        << QStringList{"edit",  "a.esv",     "--set", "baud-rate=19200",
                       "--set", "address=7", "--out", "c.esv"}
        << 0 << "address              007"
        << "c.esv" << edited;
    QTest::newRow("edit refuses an address out of range")
        << QStringList{"edit", "a.esv", "--set", "baud-rate=19200", "--set", "address=1000"} << 2
        << "address takes 1 to 3 digits"
        << "a.esv" << Settings;
    QTest::newRow("edit refuses an unknown field")
        << QStringList{"edit", "a.esv", "--set", "speed=9600"} << 2 << "unknown field \"speed\""
        << "a.esv" << Settings;
    QTest::newRow("edit refuses a brightness file")
        << QStringList{"edit", "b.hsv", "--set", "timeout=5"} << 2 << "only settings files"
        << "b.hsv" << Brightness;
    QTest::newRow("show a record the window refuses")
        << QStringList{"show", "bad.esv"} << 1 << "is not a valid integer value" << QString()
        << QByteArray();
    QTest::newRow("show a missing file") << QStringList{"show", "none.esv"} << 1
                                         << "none.esv: File not found" << QString() << QByteArray();
    QTest::newRow("show an unknown kind")
        << QStringList{"show", "a.txt"} << 2 << ".esv" << QString() << QByteArray();
    QTest::newRow("unknown command")
        << QStringList{"frobnicate"} << 2 << "unknown command \"frobnicate\"" << QString()
        << QByteArray();
    QTest::newRow("unknown option") << QStringList{"show", "--colour", "a.esv"} << 2
                                    << "Unknown option 'colour'" << QString() << QByteArray();
    QTest::newRow("version") << QStringList{"--version"} << 0 << "pantrix-cli 3.0" << QString()
                             << QByteArray();
    QTest::newRow("help of a command")
        << QStringList{"edit", "--help"} << 0 << "Usage: pantrix-cli edit [options] FILE"
        << QString() << QByteArray();
}

void TestCliFiles::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, expected);
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    const Run run = runCli(arguments, m_dir->path());
    QCOMPARE(run.status, status);
    const QString &text = status == 0 ? run.out : run.err;
    QVERIFY2(text.contains(expected), qPrintable(run.out + run.err));
    if (!file.isEmpty())
        QCOMPARE(readFile(m_dir->filePath(file)), bytes);
}

void TestCliFiles::jsonIsOneObjectPerResult()
{
    const Run run = runCli({"show", "--json", "a.esv"}, m_dir->path());
    QCOMPARE(run.status, 0);
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(object["outcome"].toString(), QStringLiteral("done"));
    const QJsonObject fields = object["settings"].toObject()["fields"].toObject();
    QCOMPARE(fields["protocol"].toString(), QStringLiteral("Data <CR>"));
    QCOMPARE(fields["blank-after-timeout"].toBool(), true);
    QCOMPARE(object["settings"].toObject()["hex"].toString(),
             QString::fromLatin1(Settings.toHex(' ').toUpper()));
}

QTEST_GUILESS_MAIN(TestCliFiles)
#include "tst_cli_files.moc"
