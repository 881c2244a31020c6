#include "JpegErrorProbe.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

struct ProbeErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf resume;
};

void stopDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ProbeErrorManager *>(info->err)->resume, 1);
}

void ignoreMessage(j_common_ptr, int) {}

void printNothing(j_common_ptr) {}

// Only plain C state lives in this function: longjmp must skip no destructor.
int decodeOnce(jpeg_decompress_struct &info, ProbeErrorManager &errors, QByteArrayView data)
{
    if (setjmp(errors.resume))
        return errors.base.msg_code;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (qint64(info.image_width) * info.image_height > JpegErrorProbe::MaxPixels)
        return 0;
    jpeg_start_decompress(&info);
    const JDIMENSION rowSize = info.output_width * JDIMENSION(info.output_components);
    JSAMPARRAY row =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, rowSize, 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, row, 1);
    jpeg_finish_decompress(&info);
    return 0;
}

} // namespace

int JpegErrorProbe::errorCode(QByteArrayView data)
{
    jpeg_decompress_struct info{};
    ProbeErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = stopDecoding;
    errors.base.emit_message = ignoreMessage;
    errors.base.output_message = printNothing;
    const int code = decodeOnce(info, errors, data);
    jpeg_destroy_decompress(&info);
    return code;
}
