#include "DesktopIdentity.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The icon lives in a static library: its resources must be registered by hand.
static void registerResources()
{
    Q_INIT_RESOURCE(pantrix);
}

namespace {

QtMessageHandler previousHandler = nullptr;

void noDisplayHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
#ifdef Q_OS_WIN
    // On Windows this is a platform plugin that is missing or fails to load.
    const QByteArray text =
        QStringLiteral("pantrix: cannot show the window: %1\n"
                       "Keep the folder platforms (qwindows.dll) beside pantrix.exe; "
                       "pantrix --help works without it.\n")
            .arg(message)
            .toLocal8Bit();
#else
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray text =
        QStringLiteral("pantrix: cannot show the window: no display could be opened (DISPLAY=%1, "
                       "WAYLAND_DISPLAY=%2).\n"
                       "Start pantrix in a desktop session; pantrix --help works without one.\n")
            .arg(display.isEmpty() ? QStringLiteral("unset") : QString::fromLocal8Bit(display),
                 wayland.isEmpty() ? QStringLiteral("unset") : QString::fromLocal8Bit(wayland))
            .toLocal8Bit();
#endif
    std::fputs(text.constData(), stderr);
    std::fflush(stderr);
    // The application object is half built: leave without running destructors.
    ::_exit(DesktopIdentity::NoDisplayStatus);
}

#ifdef Q_OS_WIN
// The icon resource 1 of the running executable in the sizes a window and
// the task bar use; a null icon when there is none.
QIcon executableIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 256}) {
        const auto handle = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0));
        if (!handle)
            continue;
        icon.addPixmap(QPixmap::fromImage(QImage::fromHICON(handle)));
        DestroyIcon(handle);
    }
    return icon;
}
#endif

} // namespace

namespace DesktopIdentity {

QString applicationId()
{
    return QStringLiteral(PANTRIX_APP_ID);
}

void apply()
{
    // The application name is the window class the desktop sees; the title
    // "PANTRIX_V20" stays on every box the program shows.
    QApplication::setApplicationName(QStringLiteral("pantrix"));
    QApplication::setApplicationVersion(QStringLiteral(PANTRIX_VERSION));
    QGuiApplication::setDesktopFileName(applicationId());
#ifdef Q_OS_WIN
    // The Windows build reads no SVG: the window shows the program's own icon
    // (data/windows/pantrix.rc), when the executable has one.
    if (const QIcon icon = executableIcon(); !icon.isNull())
        QApplication::setWindowIcon(icon);
#else
    QApplication::setWindowIcon(windowIcon());
#endif
}

QIcon windowIcon()
{
    registerResources();
    return QIcon(QStringLiteral(":/icons/pantrix.svg"));
}

void useParentConsole()
{
#ifdef Q_OS_WIN
    // A program of the Windows subsystem gets no console; started from one,
    // its help and its messages still belong there. Redirected output (a pipe,
    // a file) is left as it is.
    if (GetStdHandle(STD_ERROR_HANDLE) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
#endif
}

void beginDisplayGuard()
{
    previousHandler = qInstallMessageHandler(noDisplayHandler);
}

void endDisplayGuard()
{
    qInstallMessageHandler(previousHandler);
}

} // namespace DesktopIdentity
