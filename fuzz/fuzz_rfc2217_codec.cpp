// Any byte stream from a COM port server, cut into pieces at the first byte's
// choice: the parser never crashes and keeps its state across pieces.
#include "Rfc2217Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Rfc2217Codec codec;
    const size_t piece = 1 + data[0] % 16;
    for (size_t pos = 1; pos < size; pos += piece) {
        const size_t n = std::min(piece, size - pos);
        codec.feed(QByteArrayView(reinterpret_cast<const char *>(data + pos), qsizetype(n)));
    }
    return 0;
}
