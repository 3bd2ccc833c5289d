#include "JpegStreamSource.h"

#include <type_traits>

#include <jerror.h>

static_assert(std::is_standard_layout<JpegStreamSource>::value, "the codec's record must start the source");

namespace {

JpegStreamSource* SourceOf(j_decompress_ptr cinfo) noexcept
{
    return reinterpret_cast<JpegStreamSource*>(cinfo->src);
}

} // namespace

extern "C" {

static void KwSourceInit(j_decompress_ptr cinfo)
{
    SourceOf(cinfo)->StartOfFile = true;
}

// Refills the buffer with the next stream bytes, every one of them up to the
// stream's end: the last byte of a file cut off in its scan data is image data.
// Once the data is used up the buffer holds an inserted end-of-image marker, so
// the codec always gets at least one byte.
static boolean KwSourceFill(j_decompress_ptr cinfo)
{
    JpegStreamSource* source = SourceOf(cinfo);
    const int64_t size = source->Size;
    std::size_t held = 0;
    if (source->BytesRead < size) {
        const int64_t left = size - source->BytesRead;
        const ULONG count = left > static_cast<int64_t>(JpegStreamSource::BufferSize)
                                ? static_cast<ULONG>(JpegStreamSource::BufferSize)
                                : static_cast<ULONG>(left);
        // A failing read counts only by what it delivered.
        ULONG read = 0;
        if (source->Stream) source->Stream->Read(source->InputBuffer, count, &read);
        // A stream that claims more than it was asked for does not get the codec past the buffer.
        if (read > count) read = count;
        source->BytesRead += static_cast<int32_t>(read);
        held = read;
    }
    if (held == 0) {
        if (source->StartOfFile) {
            cinfo->err->msg_code = JERR_INPUT_EMPTY;
            cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
        }
        // Every byte went over and the codec wants more: the file is cut short.
        // Said once, as a warning; the decode goes on with what there was.
        if (!source->EndInserted) WARNMS(cinfo, JWRN_JPEG_EOF);
        source->EndInserted = true;
        source->InputBuffer[0] = 0xFF;
        source->InputBuffer[1] = JPEG_EOI;
        held = 2;
    }
    source->Public.next_input_byte = source->InputBuffer;
    source->Public.bytes_in_buffer = held;
    source->StartOfFile = false;
    return TRUE;
}

// Skips num_bytes, refilling as often as needed; past the end of the data it
// consumes inserted markers.
static void KwSourceSkip(j_decompress_ptr cinfo, long num_bytes)
{
    if (num_bytes <= 0) return;
    JpegStreamSource* source = SourceOf(cinfo);
    std::size_t count = static_cast<std::size_t>(num_bytes);
    while (count > source->Public.bytes_in_buffer) {
        count -= source->Public.bytes_in_buffer;
        KwSourceFill(cinfo);
    }
    source->Public.next_input_byte += count;
    source->Public.bytes_in_buffer -= count;
}

// The stream belongs to the caller: nothing to close or rewind.
static void KwSourceTerm(j_decompress_ptr) {}

} // extern "C"

void InstallStreamSource(j_decompress_ptr cinfo, IStream* stream, int32_t size)
{
    if (!cinfo->src) {
        void* record = (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT,
                                                  sizeof(JpegStreamSource));
        JpegStreamSource* source = static_cast<JpegStreamSource*>(record);
        source->InputBuffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, JpegStreamSource::BufferSize));
        cinfo->src = &source->Public;
    }
    JpegStreamSource* source = SourceOf(cinfo);
    source->Public.init_source = KwSourceInit;
    source->Public.fill_input_buffer = KwSourceFill;
    source->Public.skip_input_data = KwSourceSkip;
    source->Public.resync_to_restart = jpeg_resync_to_restart;
    source->Public.term_source = KwSourceTerm;
    source->Stream = stream;
    source->Size = size;
    source->BytesRead = 0;
    source->StartOfFile = false;
    source->EndInserted = false;
    source->Public.bytes_in_buffer = 0;
    source->Public.next_input_byte = nullptr;
}
