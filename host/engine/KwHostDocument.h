// A host document (IKwDocument): ordered attributes and children. It also
// answers IKwChildren and IKwAttribute, as the nodes do.
#pragma once

#include "KwHostNodeImpl.h"

class KwHostDocument : public KwHostNodeImpl<IKwDocument, IKwChildren, IKwAttribute> {
public:
    static HRESULT Create(KwHostDocument** out, std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    // Loading and saving belong to the host application, not to this engine.
    HRESULT STDMETHODCALLTYPE LoadDocument(VARIANT* Source, IDispatch* Filters) noexcept override;
    HRESULT STDMETHODCALLTYPE SaveDocument(VARIANT* Target, IDispatch* Filters, IDispatch* Descriptor) noexcept override;
    HRESULT STDMETHODCALLTYPE Close() noexcept override;
    HRESULT STDMETHODCALLTYPE Open(VARIANT* Source, IDispatch* Filters) noexcept override;
    HRESULT STDMETHODCALLTYPE ReleaseDoc() noexcept override;

    // The "Contents" child, or null.
    KwHostNode* Contents() const { return FindNode("Contents"); }

protected:
    using KwHostNodeImpl::KwHostNodeImpl;
};
