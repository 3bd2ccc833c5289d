// The codec's error manager on the save side: the codec's standard record with
// its fatal-error exit replaced by one that shows the message in a "JPEG Error"
// box and jumps back to the small function that made the failing codec call.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct KwSaveErrorManager {
    jpeg_error_mgr Public; // first, so the codec's err pointer is the whole record
    // Armed by setjmp in the function around each codec call; the record lives in
    // the frame that owns the compressor, so it outlives every one of those calls.
    std::jmp_buf Jump;
};

// Fills the record with the codec's standard routines and the save-side exit;
// the result goes into the compressor's err field.
jpeg_error_mgr* KwInitSaveErrorManager(KwSaveErrorManager* manager) noexcept;
