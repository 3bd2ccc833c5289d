#include "JpegStreamDestination.h"

#include <jerror.h>

namespace {

JpegStreamDestination* DestinationOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<JpegStreamDestination*>(cinfo->dest);
}

// Writes the first `count` bytes of the buffer; anything short of all of them
// (a failing write without a count, or no stream, included) is the codec's
// write error.
void WriteBuffer(j_compress_ptr cinfo, std::size_t count)
{
    JpegStreamDestination* dest = DestinationOf(cinfo);
    ULONG written = 0;
    if (dest->Stream) dest->Stream->Write(dest->OutputBuffer, static_cast<ULONG>(count), &written);
    if (written != count) ERREXIT(cinfo, JERR_FILE_WRITE);
}

} // namespace

extern "C" {

// Called by jpeg_start_compress: take the buffer for this image.
static void KwInitDestination(j_compress_ptr cinfo)
{
    JpegStreamDestination* dest = DestinationOf(cinfo);
    dest->OutputBuffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, JpegOutputBufferSize));
    dest->Public.next_output_byte = dest->OutputBuffer;
    dest->Public.free_in_buffer = JpegOutputBufferSize;
}

// Called whenever the buffer is full: pass all of it on. Never suspends.
static boolean KwEmptyOutputBuffer(j_compress_ptr cinfo)
{
    WriteBuffer(cinfo, JpegOutputBufferSize);
    JpegStreamDestination* dest = DestinationOf(cinfo);
    dest->Public.next_output_byte = dest->OutputBuffer;
    dest->Public.free_in_buffer = JpegOutputBufferSize;
    return TRUE;
}

// Called by jpeg_finish_compress: pass on what is still pending. A short final
// write is reported like any other, so a cut-off file never counts as saved.
static void KwTermDestination(j_compress_ptr cinfo)
{
    std::size_t pending = JpegOutputBufferSize - DestinationOf(cinfo)->Public.free_in_buffer;
    if (pending > 0) WriteBuffer(cinfo, pending);
}

} // extern "C"

void InstallStreamDestination(j_compress_ptr cinfo, IStream* stream)
{
    if (!cinfo->dest) {
        cinfo->dest = static_cast<jpeg_destination_mgr*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegStreamDestination)));
    }
    JpegStreamDestination* dest = DestinationOf(cinfo);
    dest->Public.init_destination = KwInitDestination;
    dest->Public.empty_output_buffer = KwEmptyOutputBuffer;
    dest->Public.term_destination = KwTermDestination;
    dest->Stream = stream;
    // The buffer is not taken until compression starts; until then nothing may be written.
    dest->OutputBuffer = nullptr;
    dest->Public.next_output_byte = nullptr;
    dest->Public.free_in_buffer = 0;
}
