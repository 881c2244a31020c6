// Any user string: the expansion never reads past the text and never grows it.
#include "UserString.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QByteArray> bytes = UserString::expand(text);
    if (bytes && bytes->size() > text.size())
        std::abort();
    return 0;
}
