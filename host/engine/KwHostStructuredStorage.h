// A storage that is not a byte stream: it answers IUnknown and nothing else,
// as a compound-file storage does for a filter that asks for IStream.
#pragma once

#include "KwHostObject.h"

class KwHostStructuredStorage : public KwHostImplements<KwHostObject, IUnknown> {
public:
    static HRESULT Create(IUnknown** out, std::shared_ptr<KwHostContext> context = nullptr) noexcept;

protected:
    using KwHostImplements::KwHostImplements;
};
