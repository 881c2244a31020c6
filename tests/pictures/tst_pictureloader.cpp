#include "EPictureError.h"
#include "EmfRenderer.h"
#include "Exception.h"
#include "PictureLoader.h"
#include "WmfRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cstdio>
#ifdef Q_OS_WIN
// The Windows build has no JPEG library of its own: only the message table
// (see JpegErrorProbeQt.cpp), numbered as libjpeg 6b numbers it.
#define JPEG_LIB_VERSION 62
#include <jerror.h>
#else
// jpeglib.h needs FILE declared first; jerror.h gives the library's message codes.
#include <jerror.h>
#include <jpeglib.h>
#endif
#include <sys/stat.h>

namespace {

// Little-endian record writer for the metafiles the tests need.
class Bytes
{
public:
    Bytes &u16(int v)
    {
        char b[2];
        qToLittleEndian<quint16>(quint16(v), b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes &u32(quint32 v)
    {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        m_data.append(b, 4);
        return *this;
    }
    Bytes &raw(const QByteArray &bytes)
    {
        m_data += bytes;
        return *this;
    }
    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
};

// A WMF of 200 x 100 units: white page, a red rectangle from (50, 25) to
// (150, 75), and optionally a line of text in black.
QByteArray windowsMetafile(bool placeable, bool withText = false)
{
    Bytes records;
    records.u32(5).u16(0x020B).u16(0).u16(0);     // SETWINDOWORG y, x
    records.u32(5).u16(0x020C).u16(100).u16(200); // SETWINDOWEXT y, x
    records.u32(7).u16(0x02FC).u16(0).raw(QByteArray("\xFF\x00\x00\x00", 4)).u16(0); // red brush
    records.u32(4).u16(0x012D).u16(0);                                               // SELECTOBJECT
    records.u32(7).u16(0x041B).u16(75).u16(150).u16(25).u16(50); // RECTANGLE b, r, t, l
    if (withText) {
        QByteArray face("Helvetica");
        face.resize(32, '\0');
        records.u32(3 + 9 + 16).u16(0x02FB).u16(-30).u16(0).u16(0).u16(0).u16(700);
        records.raw(QByteArray(8, '\0')).raw(face); // italic ... pitch, face name
        records.u32(4).u16(0x012D).u16(1);
        records.u32(3 + 1 + 2 + 2).u16(0x0521).u16(4).raw("MMMM").u16(2).u16(5); // TEXTOUT at (5,
                                                                                 // 2)
    }
    records.u32(3).u16(0x0000); // EOF
    const QByteArray body = records.data();
    Bytes file;
    if (placeable) {
        Bytes header;
        header.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(200).u16(100).u16(96).u32(0);
        quint16 checksum = 0;
        const QByteArray h = header.data();
        for (int i = 0; i < h.size(); i += 2)
            checksum ^= qFromLittleEndian<quint16>(h.constData() + i);
        file.raw(h).u16(checksum);
    }
    file.u16(1).u16(9).u16(0x0300).u32(quint32(9 + body.size() / 2)).u16(2).u32(28).u16(0);
    return file.raw(body).data();
}

// An EMF of 200 x 100 pixels with a green rectangle from (50, 25) to (150, 75).
QByteArray enhancedMetafile()
{
    Bytes records;
    records.u32(39).u32(24).u32(1).u32(0).u32(0x0000FF00).u32(0); // CREATEBRUSHINDIRECT green
    records.u32(37).u32(12).u32(1);                               // SELECTOBJECT
    records.u32(43).u32(24).u32(50).u32(25).u32(150).u32(75);     // RECTANGLE
    records.u32(14).u32(20).u32(0).u32(16).u32(20);               // EOF
    const QByteArray body = records.data();
    Bytes header;
    header.u32(1).u32(88);
    header.u32(0).u32(0).u32(199).u32(99);    // bounds in pixels
    header.u32(0).u32(0).u32(5291).u32(2619); // frame in 0.01 mm
    header.u32(0x464D4520).u32(0x10000);      // signature, version
    header.u32(quint32(88 + body.size())).u32(5).u16(2).u16(0);
    header.u32(0).u32(0).u32(0);                 // description, palette
    header.u32(1024).u32(768).u32(271).u32(203); // device in pixels and millimetres
    return header.raw(body).data();
}

// A WMF without placeable header is drawn over the area it draws on: libwmf
// counts the rectangle's pen in, GDI (Windows) the rectangle alone.
#ifdef Q_OS_WIN
const QSize kPlainWmfSize(133, 66);
#else
const QSize kPlainWmfSize(135, 68);
#endif

QByteArray savedImage(const char *format, QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot write a %s picture", format);
    return data;
}

QByteArray jpeg()
{
    return savedImage("jpeg", QSize(64, 32), QColor(0, 200, 0));
}

bool near(QRgb pixel, QColor expected, int tolerance = 40)
{
    return qAbs(qRed(pixel) - expected.red()) <= tolerance &&
           qAbs(qGreen(pixel) - expected.green()) <= tolerance &&
           qAbs(qBlue(pixel) - expected.blue()) <= tolerance && qAlpha(pixel) > 200;
}

QString jpegError(int code)
{
    return QStringLiteral("JPEG error #%1").arg(code);
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private:
    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;

private slots:
    void loads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QColor>("centre");
        const QColor red(255, 0, 0), green(0, 200, 0), brightGreen(0, 255, 0), blue(0, 0, 255);
        QTest::newRow("bmp") << "a.bmp" << savedImage("bmp", QSize(40, 20), red) << QSize(40, 20)
                             << red;
        QTest::newRow("BMP") << "b.BMP" << savedImage("bmp", QSize(3, 5), blue) << QSize(3, 5)
                             << blue;
        QTest::newRow("ico") << "c.ico" << savedImage("ico", QSize(32, 32), blue) << QSize(32, 32)
                             << blue;
        QTest::newRow("jpg") << "d.jpg" << jpeg() << QSize(64, 32) << green;
        QTest::newRow("jpeg") << "e.jpeg" << jpeg() << QSize(64, 32) << green;
        QTest::newRow("Jpeg") << "f.Jpeg" << jpeg() << QSize(64, 32) << green;
        // The JPEG library fills in a file that ends early and only warns.
        QTest::newRow("jpeg ending early")
            << "g.jpg" << jpeg().chopped(40) << QSize(64, 32) << QColor();
        QTest::newRow("wmf placeable")
            << "h.wmf" << windowsMetafile(true) << QSize(200, 100) << red;
        QTest::newRow("WMF") << "i.WMF" << windowsMetafile(true) << QSize(200, 100) << red;
        // Without the placeable header the drawing (101 x 51 units, border
        // included) is the frame, its units taken as points.
        QTest::newRow("wmf plain") << "j.wmf" << windowsMetafile(false) << kPlainWmfSize << red;
        QTest::newRow("emf") << "k.emf" << enhancedMetafile() << QSize(199, 99) << brightGreen;
        QTest::newRow("EMF") << "l.EMF" << enhancedMetafile() << QSize(199, 99) << brightGreen;
    }
    void loads()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QSize, size);
        QFETCH(QColor, centre);
        const QImage image = PictureLoader::load(write(name, content));
        QCOMPARE(image.size(), size);
        if (centre.isValid()) {
            const QRgb pixel = image.pixel(size.width() / 2, size.height() / 2);
            QVERIFY2(near(pixel, centre), qPrintable(QString::number(pixel, 16)));
        }
    }

    void metafileBackground()
    {
        const QImage wmf = PictureLoader::decode(windowsMetafile(true), QStringLiteral("wmf"));
        // The page keeps its margins around the rectangle.
        QVERIFY(near(wmf.pixel(10, 10), Qt::white, 0));
        QVERIFY(near(wmf.pixel(190, 90), Qt::white, 0));
        QVERIFY(near(wmf.pixel(60, 35), Qt::red, 0));
        QVERIFY(near(wmf.pixel(140, 65), Qt::red, 0));
        const QImage emf = PictureLoader::decode(enhancedMetafile(), QStringLiteral("emf"));
        QCOMPARE(qAlpha(emf.pixel(10, 10)), 0);
    }

    // Text needs the fonts that libwmf looks for (gsfonts).
    void wmfDrawsText()
    {
        const QImage image =
            PictureLoader::decode(windowsMetafile(true, true), QStringLiteral("wmf"));
        int dark = 0;
        for (int y = 0; y < 25; ++y) {
            for (int x = 0; x < 50; ++x)
                dark += qGray(image.pixel(x, y)) < 100;
        }
        QVERIFY2(dark > 20, qPrintable(QStringLiteral("%1 dark pixels").arg(dark)));
    }

    // A frame of 200 x 100 inches, or of 100000 x 50000 pixels, is drawn at
    // most 4096 pixels wide rather than with gigabytes of raster.
    void hugeFramesAreScaledDown_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("extension");
        QByteArray wmf = windowsMetafile(true);
        qToLittleEndian<quint16>(1, wmf.data() + 14); // units per inch
        quint16 checksum = 0;
        for (int i = 0; i < 20; i += 2)
            checksum ^= qFromLittleEndian<quint16>(wmf.constData() + i);
        qToLittleEndian<quint16>(checksum, wmf.data() + 20);
        QTest::newRow("wmf") << wmf << QStringLiteral("wmf");
        QByteArray emf = enhancedMetafile();
        qToLittleEndian<quint32>(99999, emf.data() + 16); // bounds right
        qToLittleEndian<quint32>(49999, emf.data() + 20); // bounds bottom
        QTest::newRow("emf") << emf << QStringLiteral("emf");
    }
    void hugeFramesAreScaledDown()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, extension);
        const QImage image = PictureLoader::decode(content, extension);
        QCOMPARE(image.size(), QSize(4096, 2048));
    }

    void errors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray wmf = windowsMetafile(true);
        const QByteArray emf = enhancedMetafile();
        QTest::newRow("png") << "a.png" << jpeg()
                             << QStringLiteral("Unknown picture file extension (.png)");
        QTest::newRow("GIF as written") << "b.GIF" << QByteArray("GIF89a")
                                        << QStringLiteral("Unknown picture file extension (.GIF)");
        QTest::newRow("no extension")
            << "picture" << jpeg() << QStringLiteral("Unknown picture file extension (.)");
        QTest::newRow("last extension counts")
            << "c.bmp.txt" << QByteArray("BM")
            << QStringLiteral("Unknown picture file extension (.txt)");
        QTest::newRow("garbage after SOI")
            << "d.jpg" << QByteArray("\xFF\xD8 garbage, no markers") << jpegError(JERR_NO_IMAGE);
        QTest::newRow("no SOI") << "e.jpeg" << QByteArray("hello") << jpegError(JERR_NO_SOI);
        QTest::newRow("empty jpeg") << "f.jpg" << QByteArray() << jpegError(JERR_INPUT_EMPTY);
        QTest::newRow("bmp garbage") << "g.bmp" << QByteArray("BMxxxxxxxxxxxxxxxxxxxxxxxxxx")
                                     << QStringLiteral("Bitmap image is not valid");
        QTest::newRow("jpeg named bmp")
            << "h.bmp" << jpeg() << QStringLiteral("Bitmap image is not valid");
        QTest::newRow("ico garbage")
            << "i.ico" << QByteArray(40, '\x01') << QStringLiteral("Icon image is not valid");
        QTest::newRow("wmf garbage")
            << "j.wmf" << QByteArray(64, 'w') << QStringLiteral("Metafile is not valid");
        QTest::newRow("wmf without EOF")
            << "k.wmf" << wmf.chopped(6) << QStringLiteral("Metafile is not valid");
        QTest::newRow("emf garbage")
            << "l.emf" << QByteArray(128, 'e') << QStringLiteral("Metafile is not valid");
        QByteArray badSignature = emf;
        badSignature[40] = 'X';
        QTest::newRow("emf signature")
            << "m.emf" << badSignature << QStringLiteral("Metafile is not valid");
    }
    void errors()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        try {
            PictureLoader::load(write(name, content));
            QFAIL("no error raised");
        } catch (const EPictureError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    void jpegCutInTheHeaderGivesALibraryNumber()
    {
        try {
            PictureLoader::decode(jpeg().left(30), QStringLiteral("jpg"));
            QFAIL("no error raised");
        } catch (const EPictureError &e) {
            const QString text = e.message();
            QVERIFY2(text.startsWith(QLatin1String("JPEG error #")), qPrintable(text));
            bool ok = false;
            const int code = text.mid(12).toInt(&ok);
            QVERIFY(ok && code > 0 && code < JMSG_LASTMSGCODE);
        }
    }

    void unknownExtensionBeforeTheFileIsRead()
    {
        try {
            PictureLoader::load(m_dir.filePath(QStringLiteral("missing.tif")));
            QFAIL("no error raised");
        } catch (const EPictureError &e) {
            QCOMPARE(e.message(), QStringLiteral("Unknown picture file extension (.tif)"));
        }
    }

    void fileErrors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing.bmp" << QStringLiteral("File not found");
#ifndef Q_OS_WIN
        QTest::newRow("FIFO, refused without blocking")
            << "fifo.jpg" << QStringLiteral("File access denied");
#endif
        QTest::newRow("folder") << "folder.wmf" << QStringLiteral("File access denied");
    }
    void fileErrors()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(name);
#ifndef Q_OS_WIN
        if (name.startsWith(QLatin1String("fifo")))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        if (name.startsWith(QLatin1String("folder")))
            QVERIFY(QDir(m_dir.path()).mkdir(name));
        try {
            PictureLoader::load(path);
            QFAIL("no error raised");
        } catch (const EInOutError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    // Every cut of a valid metafile is refused before the library reads it.
    void truncatedMetafiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enhanced");
        QTest::newRow("wmf placeable") << windowsMetafile(true) << false;
        QTest::newRow("wmf plain") << windowsMetafile(false) << false;
        QTest::newRow("emf") << enhancedMetafile() << true;
    }
    void truncatedMetafiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, enhanced);
        auto framed = [&](const QByteArray &data) {
            return enhanced ? EmfRenderer::hasValidFraming(data)
                            : WmfRenderer::hasValidFraming(data);
        };
        QVERIFY(framed(content));
        for (qsizetype length = 0; length < content.size(); ++length) {
            QVERIFY2(!framed(content.left(length)), qPrintable(QString::number(length)));
            QVERIFY_THROWS_EXCEPTION(
                EPictureError,
                PictureLoader::decode(content.left(length),
                                      enhanced ? QStringLiteral("emf") : QStringLiteral("wmf")));
        }
    }

    // The header's sizes are held against the file before libwmf sees it,
    // which would otherwise allocate what they declare. The plain test file
    // is 40 words long; its largest record has 7 words, and 5 records come
    // before the end-of-file record.
    void wmfHeaderSizes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("valid");
        const auto patched = [](int offset, quint32 value, int bytes) {
            QByteArray wmf = windowsMetafile(false);
            if (bytes == 2)
                qToLittleEndian<quint16>(quint16(value), wmf.data() + offset);
            else
                qToLittleEndian<quint32>(value, wmf.data() + offset);
            return wmf;
        };
        constexpr int fileSize = 6, objects = 10, largestRecord = 12;
        QTest::newRow("as written") << windowsMetafile(false) << true;
        QTest::newRow("largest record exact") << patched(largestRecord, 7, 4) << true;
        QTest::newRow("largest record the whole file") << patched(largestRecord, 40, 4) << true;
        QTest::newRow("one object per record") << patched(objects, 5, 2) << true;
        QTest::newRow("16 objects reserved") << patched(objects, 16, 2) << true;
        QTest::newRow("bytes after the end record")
            << windowsMetafile(false) + QByteArray(16, '\x7F') << true;
        // Found by the fuzzer: it declares a largest record of about 2 GB.
        QTest::newRow("24 bytes, largest record 2 GB")
            << QByteArray::fromHex("020009000003004749463839615840406000030000000000") << false;
        QTest::newRow("file size past the end") << patched(fileSize, 41, 4) << false;
        QTest::newRow("file size below the header") << patched(fileSize, 8, 4) << false;
        QTest::newRow("largest record past the file") << patched(largestRecord, 41, 4) << false;
        QTest::newRow("largest record 0xFFFFFFFF")
            << patched(largestRecord, 0xFFFFFFFFu, 4) << false;
        QTest::newRow("largest record below a real one") << patched(largestRecord, 6, 4) << false;
        QTest::newRow("17 objects for 5 records") << patched(objects, 17, 2) << false;
        QTest::newRow("65535 objects") << patched(objects, 0xFFFF, 2) << false;
        QByteArray placeable = windowsMetafile(true);
        qToLittleEndian<quint32>(0x10000000u, placeable.data() + 22 + largestRecord);
        QTest::newRow("placeable, largest record 512 MB") << placeable << false;
    }
    void wmfHeaderSizes()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, valid);
        QCOMPARE(WmfRenderer::hasValidFraming(content), valid);
        try {
            const QImage image = PictureLoader::decode(content, QStringLiteral("wmf"));
            QVERIFY2(valid, "no error raised");
            QCOMPARE(image.size(), kPlainWmfSize);
        } catch (const EPictureError &e) {
            QVERIFY2(!valid, qPrintable(e.message()));
            QCOMPARE(e.message(), QStringLiteral("Metafile is not valid"));
        }
    }

    void corruptRecordSizes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enhanced");
        QByteArray wmf = windowsMetafile(false);
        qToLittleEndian<quint32>(0xFFFFFFF0u, wmf.data() + 18); // first record's size
        QTest::newRow("wmf record past the end") << wmf << false;
        wmf = windowsMetafile(false);
        qToLittleEndian<quint32>(2u, wmf.data() + 18);
        QTest::newRow("wmf record below minimum") << wmf << false;
        QByteArray emf = enhancedMetafile();
        qToLittleEndian<quint32>(0x7FFFFFF0u, emf.data() + 88 + 4);
        QTest::newRow("emf record past the end") << emf << true;
        emf = enhancedMetafile();
        qToLittleEndian<quint32>(22u, emf.data() + 88 + 4);
        QTest::newRow("emf record size not a multiple of 4") << emf << true;
        emf = enhancedMetafile();
        qToLittleEndian<quint32>(40u, emf.data() + 4);
        QTest::newRow("emf header too short") << emf << true;
    }
    void corruptRecordSizes()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, enhanced);
        QVERIFY(enhanced ? !EmfRenderer::hasValidFraming(content)
                         : !WmfRenderer::hasValidFraming(content));
    }
};

QTEST_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
