// The load tests' host: a document, a memory stream bound through a data object,
// and a load filter made as the class object makes it. After every test the
// host objects and the module locks must all be gone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "load/CKwFilterJPEG.h"
#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "engine/KwHostContext.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"
#include "common/TestJpeg.h"

using Bytes = std::vector<unsigned char>;

class LoadFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A load filter as a class object's CreateInstance makes it (no outer object).
    static KwComPtr<IKwFilter> NewFilter();
    // A document of the fixture's host engine.
    KwComPtr<KwHostDocument> NewDocument();
    // A memory stream holding `file`, bound through a data object named `name`.
    KwComPtr<KwHostDataObject> Bind(const Bytes& file, const std::string& name,
                                     KwComPtr<KwHostMemoryStream>* streamOut = nullptr);

    // Binds `file` (to `stream` and `dataObject`) and opens it on `filter` into `document`.
    HRESULT Open(const Bytes& file, const std::string& name = "image.jpg");
    // GetNode with the default selector and Load true.
    HRESULT Load(IDispatch** node = nullptr) { return GetNode(Empty(), VARIANT_TRUE, node); }
    HRESULT GetNode(const VARIANT& selector, VARIANT_BOOL load, IDispatch** node = nullptr);
    // Opens and loads in one go; fails the test when either step fails.
    void OpenAndLoad(const Bytes& file, HRESULT expected = S_OK);

    static VARIANT Empty();

    KwHostNode* Contents() const { return document ? document->Contents() : nullptr; }
    KwHostNode* Node() const { return Contents() ? Contents()->FindNode(1) : nullptr; }
    // The last raster block under node 1, or null.
    KwHostRasterBlock* Raster() const;
    size_t RasterCount() const;
    // A node attribute, or null.
    const KwHostAttributeEntry* NodeAttribute(const std::string& name) const;
    const KwHostAttributeEntry* DocumentAttribute(const std::string& name) const;
    // The Read calls made after the stream's last Seek (the stream source's):
    // bytes asked for, or bytes delivered.
    std::vector<ULONG> SourceReads(bool delivered = false) const;
    // The names of the PutAttribute calls on node 1, in order.
    std::vector<std::string> NodePuts() const;

    // Checks that the raster block holds exactly the rows libjpeg's own decode gives.
    void ExpectRowsOfReference(const Bytes& file);

    // Started: "VelEngine.KwAttribute" is reachable for the EXIF collection.
    std::unique_ptr<KwHostEngine> engine;
    std::shared_ptr<KwHostContext> context;
    KwComPtr<IKwFilter> filter;
    KwComPtr<KwHostDocument> document;
    KwComPtr<KwHostMemoryStream> stream;
    KwComPtr<KwHostDataObject> dataObject;
};

// A test run once per case of a table, each case on a fresh host and filter.
template <typename Case> class LoadCaseTest : public LoadFixture, public ::testing::WithParamInterface<Case> {};
