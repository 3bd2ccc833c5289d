// The reliability tests' host: one engine per test, a fresh load or save for
// every case of a sweep, and the proof after every case that the filter
// released every host object and every filter object it made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"
#include "common/TestJpeg.h"

using Bytes = std::vector<unsigned char>;

// One load as a host runs it: OpenDocument, then GetNode with Load true. The
// objects stay for inspection until the run is destroyed.
struct LoadRun {
    HRESULT open = E_FAIL;
    HRESULT node = E_FAIL;
    bool nodeHandedOut = false;
    KwComPtr<IKwFilter> filter;
    KwComPtr<KwHostDocument> document;
    KwComPtr<KwHostMemoryStream> stream;
    KwComPtr<KwHostDataObject> dataObject;
    KwComPtr<KwHostEventSink> sink;

    KwHostNode* Node() const;
    KwHostRasterBlock* Raster() const; // the last raster block of node 1
    bool Loaded() const;               // node 1's "Loaded" attribute is true
};

class ReliabilityTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The objects of a load, a sink connected; switches may be set before FinishLoad.
    std::unique_ptr<LoadRun> StartLoad(const Bytes& file, const std::string& name = "image.jpg");
    void FinishLoad(LoadRun& run, bool getNode = true);
    std::unique_ptr<LoadRun> RunLoad(const Bytes& file, const std::string& name = "image.jpg");

    // Fails the test when host objects or module locks outlive the case.
    void ExpectNothingLeft(const std::string& what);

    // A complete load must have handed every row over, with the rows libjpeg
    // gives for the file; checks the raster against `reference` when given.
    void ExpectCompleteLoad(const LoadRun& run, const TestJpeg::Decoded* reference, const std::string& what);
    // A failed load publishes none of the completion attributes.
    void ExpectFailedLoad(const LoadRun& run, const std::string& what);

    std::unique_ptr<KwHostEngine> engine;
};

// A small RGB file with a JFIF density (the common case of the sweeps).
Bytes SmallRgbFile(int width = 24, int height = 16);
// A small real photograph: the first camera photo found in the folder of
// mate-backgrounds (SystemProbe::PhotoFolder), scaled down by the codec and cut to at most
// width x height, re-encoded (baseline, or progressive). Empty when none is installed.
Bytes SmallPhoto(int width, int height, bool progressive);
