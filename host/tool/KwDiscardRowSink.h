// A row sink that keeps nothing: `kwjpeg info` loads the whole image, as a
// host does, to report what the load found, without holding its pixels.
#pragma once

#include "engine/KwHostRowSink.h"

class KwDiscardRowSink final : public KwHostRowSink {
public:
    HRESULT Begin(LONG, LONG, LONG, const std::vector<LONG>&) override { return S_OK; }
    HRESULT Rows(LONG, LONG, const unsigned char*, LONG) override { return S_OK; }
};
