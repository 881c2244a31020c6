// Any bytes as a picture file of each format the language file may name: the
// decoders fail with an error or give a picture, and never crash.
#include "Exception.h"
#include "PictureLoader.h"

#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char *const extensions[] = {"bmp", "ico", "jpg", "wmf", "emf"};
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    try {
        PictureLoader::decode(bytes, QString::fromLatin1(extensions[data[0] % 5]));
    } catch (const Exception &) {
    }
    return 0;
}
