// The interfaces of the type library KWFILTER_JPEGLib, with its enumerations,
// records and GUIDs, and the host node interfaces the load filter reaches
// through QueryInterface, as widl generates them all from KwFilter_JPEG.idl (the
// build's KwFilter_JPEG.h); here only what C++ adds: the IID of each interface
// named through its type.
#pragma once

#include "KwPlatform.h"

#include "interfaces/KwFilter_JPEG.h"

// The name the SDK has always given the event interface's IID (widl names it IID__IKwFilterEvents).
inline const IID& DIID__IKwFilterEvents = IID__IKwFilterEvents;

KW_DEFINE_UUIDOF(IKwFilter, IID_IKwFilter)
KW_DEFINE_UUIDOF(IKwFilterSave, IID_IKwFilterSave)
KW_DEFINE_UUIDOF(IKwSaveStructure, IID_IKwSaveStructure)
KW_DEFINE_UUIDOF(IKwSaveRasterData, IID_IKwSaveRasterData)
KW_DEFINE_UUIDOF(_IKwFilterEvents, IID__IKwFilterEvents)
KW_DEFINE_UUIDOF(IKwDataObject, IID_IKwDataObject)
KW_DEFINE_UUIDOF(IKwDocument, IID_IKwDocument)
KW_DEFINE_UUIDOF(IKwFilters, IID_IKwFilters)
KW_DEFINE_UUIDOF(IKwDescriptorNative, IID_IKwDescriptorNative)
KW_DEFINE_UUIDOF(IKwContents, IID_IKwContents)
KW_DEFINE_UUIDOF(IKwChildren, IID_IKwChildren)
KW_DEFINE_UUIDOF(IKwContainer, IID_IKwContainer)
KW_DEFINE_UUIDOF(IKwRasterBlock, IID_IKwRasterBlock)
KW_DEFINE_UUIDOF(IKwAttribute, IID_IKwAttribute)
