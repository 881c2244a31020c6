#include "JpegErrorProbe.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>
#include <QStringList>
#include <iterator>
#include <vector>

// Qt's JPEG plugin carries its own copy of the JPEG library and does not
// export it, so the library cannot be asked directly here. The plugin logs
// the library's message text when decoding stops; that text is matched
// against the library's message table (jerror.h, numbered as the library of
// the Linux build numbers it) to recover the code. Without the table the
// probe finds nothing and the caller shows Qt's reason.
#ifdef PANTRIX_HAVE_JPEG_MESSAGES
namespace {

struct JpegMessage
{
    const char *name;
    const char *format;
};

// The table as libjpeg 6b's interface numbers it, which is what Debian's
// libjpeg-turbo (the Linux build) reports.
// Two messages name the library's version strings, which no error uses.
#define JPEG_LIB_VERSION 62
#define JVERSION ""
#define JCOPYRIGHT_SHORT ""
#define JMESSAGE(code, string) {#code, string},
const JpegMessage kMessages[] = {
#include <jerror.h>
};
#undef JMESSAGE

// A printf format as a pattern that matches every text it can produce.
QRegularExpression patternOf(const char *format)
{
    static const QRegularExpression conversion(QStringLiteral("%[-+ #0-9.]*l?[dusxXc]"));
    const QString text = QString::fromLatin1(format);
    QString pattern = QStringLiteral("^");
    qsizetype at = 0;
    for (auto it = conversion.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        pattern += QRegularExpression::escape(text.mid(at, match.capturedStart() - at));
        pattern += QStringLiteral(".*");
        at = match.capturedEnd();
    }
    pattern += QRegularExpression::escape(text.mid(at)) + QStringLiteral("$");
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption);
}

// The code of an error message; 0 for warnings, traces and unknown texts.
int errorCodeOf(const QString &message)
{
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> all;
        for (const JpegMessage &entry : kMessages)
            all.push_back(patternOf(entry.format));
        return all;
    }();
    for (size_t code = 0; code < patterns.size(); ++code) {
        if (QByteArrayView(kMessages[code].name).startsWith("JERR_") &&
            patterns[code].match(message).hasMatch())
            return int(code);
    }
    return 0;
}

int codeNamed(QByteArrayView name)
{
    for (size_t code = 0; code < std::size(kMessages); ++code) {
        if (name == kMessages[code].name)
            return int(code);
    }
    return 0;
}

QStringList *g_captured = nullptr;
QtMessageHandler g_previous = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The plugin logs the library's messages in a category of its own; any
    // other message goes on to where it would have gone.
    if (g_captured && type == QtWarningMsg && context.category &&
        QByteArrayView(context.category) == "qt.gui.imageio.jpeg")
        g_captured->append(message.trimmed());
    else if (g_previous)
        g_previous(type, context, message);
}

} // namespace

int JpegErrorProbe::errorCode(QByteArrayView data)
{
    // Qt hands the data to the library only when it starts with the start of
    // image marker; the library's first steps are taken here instead.
    if (data.isEmpty())
        return codeNamed("JERR_INPUT_EMPTY");
    if (!data.startsWith("\xFF\xD8"))
        return codeNamed("JERR_NO_SOI");
    QBuffer buffer;
    buffer.setData(data.toByteArray());
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setDecideFormatFromContent(false);
    // Qt refuses to decode more than MaxPixels at four bytes a pixel.
    reader.setAllocationLimit(int(MaxPixels * 4 / (1024 * 1024)));
    QStringList captured;
    g_captured = &captured;
    g_previous = qInstallMessageHandler(captureMessage);
    const QImage image = reader.read();
    qInstallMessageHandler(g_previous);
    g_captured = nullptr;
    // The message that stopped the decoder comes last; warnings come before.
    for (auto it = captured.crbegin(); it != captured.crend(); ++it) {
        if (const int code = errorCodeOf(*it))
            return code;
    }
    return 0;
}

#else

int JpegErrorProbe::errorCode(QByteArrayView)
{
    return 0;
}

#endif
