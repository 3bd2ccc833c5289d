// A node of a host document: the "Contents" node (KW_CONTENTS, answering
// IKwContents) or a container node (KW_CONTAINER, answering IKwContainer). Both
// answer IKwChildren and IKwAttribute.
#pragma once

#include "KwHostNodeImpl.h"

class KwHostNode : public KwHostNodeImpl<IKwContents, IKwContainer, IKwChildren, IKwAttribute> {
public:
    // objectType: KW_CONTENTS or KW_CONTAINER.
    static HRESULT Create(LONG objectType, KwHostNode** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    // A "Contents" node is no container, and a container no "Contents" node.
    bool Refuses(REFIID riid) const noexcept override;
    bool IsContents() const noexcept { return ObjectType() == KW_CONTENTS; }

protected:
    using KwHostNodeImpl::KwHostNodeImpl;
};
