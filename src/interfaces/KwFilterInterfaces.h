// The interfaces of the type library KWFILTER_JPEGLib, with its enumerations,
// records and GUIDs, as widl generates them from KwFilter_JPEG.idl (the build's
// KwFilter_JPEG.h); and the host node interfaces the load filter reaches through
// QueryInterface, which the type library does not declare.
#pragma once

#include "KwPlatform.h"

#include "KwFilter_JPEG.h"

// Slots 7 to 14: the attribute group of the host's nodes, the same members as
// those of IKwDocument. "no Type" and "no Descriptor" are null pointers.
struct IKwAttributeGroup : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch** Attributes) = 0;                      // 7
    virtual HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* Count) = 0;                             // 8
    virtual HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL* Protected) = 0;              // 9
    virtual HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL Protected) = 0;               // 10
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) = 0;      // 11
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value, LONG Type) = 0;           // 12
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR Name) = 0;                                  // 13
    virtual HRESULT STDMETHODCALLTYPE RemoveAllAttributes() = 0;                                       // 14
};

// Slots 15 to 23: the children group.
struct IKwChildGroup : public IKwAttributeGroup {
    virtual HRESULT STDMETHODCALLTYPE get__EnumChildren(IUnknown** Enumerator) = 0;                    // 15
    virtual HRESULT STDMETHODCALLTYPE GetChild(VARIANT Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                               IDispatch** Child) = 0;                                 // 16
    virtual HRESULT STDMETHODCALLTYPE AddChild(VARIANT Index, IDispatch* Child, VARIANT_BOOL Protected,
                                               VARIANT* Descriptor) = 0;                               // 17
    virtual HRESULT STDMETHODCALLTYPE CreateChild(VARIANT Index, VARIANT Type, VARIANT_BOOL Protected,
                                                  VARIANT* Descriptor, IDispatch** Child) = 0;         // 18
    virtual HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT Index) = 0;                                  // 19
    virtual HRESULT STDMETHODCALLTYPE RemoveAllChildren() = 0;                                         // 20
    virtual HRESULT STDMETHODCALLTYPE get_ChildCount(LONG* Count) = 0;                                 // 21
    virtual HRESULT STDMETHODCALLTYPE get_ProtectChildren(VARIANT_BOOL* Protected) = 0;                // 22
    virtual HRESULT STDMETHODCALLTYPE put_ProtectChildren(VARIANT_BOOL Protected) = 0;                 // 23
};

// Slots 24 to 26: the parent group.
struct IKwNodeGroup : public IKwChildGroup {
    virtual HRESULT STDMETHODCALLTYPE get_Parents(IDispatch** Parents) = 0;                            // 24
    virtual HRESULT STDMETHODCALLTYPE get_ParentCount(LONG* Count) = 0;                                // 25
    virtual HRESULT STDMETHODCALLTYPE GetParent(LONG Index, VARIANT* Descriptor, VARIANT* ChildIndex,
                                                IDispatch** Parent) = 0;                               // 26
};

// The document's "Contents" node and node containers: attributes, children, parents.
struct IKwContents : public IKwNodeGroup {};
struct IKwContainer : public IKwNodeGroup {};

// The children group on its own, slots 7 to 18 (GetChild 8, CreateChild 10).
struct IKwChildren : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__EnumChildren(IUnknown** Enumerator) = 0;                    // 7
    virtual HRESULT STDMETHODCALLTYPE GetChild(VARIANT Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                               IDispatch** Child) = 0;                                 // 8
    virtual HRESULT STDMETHODCALLTYPE AddChild(VARIANT Index, IDispatch* Child, VARIANT_BOOL Protected,
                                               VARIANT* Descriptor) = 0;                               // 9
    virtual HRESULT STDMETHODCALLTYPE CreateChild(VARIANT Index, VARIANT Type, VARIANT_BOOL Protected,
                                                  VARIANT* Descriptor, IDispatch** Child) = 0;         // 10
    virtual HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT Index) = 0;                                  // 11
    virtual HRESULT STDMETHODCALLTYPE RemoveAllChildren() = 0;                                         // 12
    virtual HRESULT STDMETHODCALLTYPE get_ChildCount(LONG* Count) = 0;                                 // 13
    virtual HRESULT STDMETHODCALLTYPE GetChildIndex(LONG Position, VARIANT* Index) = 0;                // 14
};

// A raster block: attributes (7-14), then the raster-data members (EndObject 16,
// CreateRasterStorage 17, AddScanline1 18) with the parameters of IKwSaveRasterData.
struct IKwRasterBlock : public IKwAttributeGroup {
    virtual HRESULT STDMETHODCALLTYPE get_BlockType(LONG* Type) = 0;                                   // 15
    virtual HRESULT STDMETHODCALLTYPE EndObject() = 0;                                                 // 16
    virtual HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX,
                                                          LONG DpiY, BSTR Compression, LONG NoColors,
                                                          LONG* ColorTable) = 0;                       // 17
    virtual HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                   LONG BytesPerLine, unsigned char* Scanlines) = 0;   // 18
    virtual HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                   LONG* BytesPerLine, LONG BufferSize,
                                                   unsigned char* Scanlines) = 0;                      // 19
    virtual HRESULT STDMETHODCALLTYPE GetRasterInfo(LONG* Width, LONG* Height, LONG* BitsPerPixel,
                                                    LONG* RowsDelivered) = 0;                          // 20
    virtual HRESULT STDMETHODCALLTYPE GetScanline(LONG Line, LONG BufferSize, unsigned char* Buffer) = 0; // 21
    virtual HRESULT STDMETHODCALLTYPE GetColorTable(LONG MaxColors, LONG* ColorTable, LONG* NoColors) = 0; // 22
};

// An attribute collection ("VelEngine.KwAttribute"); nodes answer it too.
struct IKwAttribute : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* Count) = 0;                             // 7
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) = 0;      // 8
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value, LONG Type) = 0;           // 9
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR Name) = 0;                                  // 10
    virtual HRESULT STDMETHODCALLTYPE GetAttributeName(LONG Position, BSTR* Name) = 0;                 // 11
};

DEFINE_GUID(IID_IKwContents, 0x6C02BB10, 0xBF5B, 0x401B, 0xAA, 0x15, 0x98, 0xD1, 0xFA, 0x76, 0x8E, 0x6B);
DEFINE_GUID(IID_IKwChildren, 0x0F4A8229, 0x774B, 0x4B9E, 0x9B, 0x94, 0xB9, 0x1C, 0x76, 0xB4, 0x17, 0x25);
DEFINE_GUID(IID_IKwContainer, 0xB5A608CF, 0xCA19, 0x44E7, 0xAC, 0x0D, 0x91, 0xCD, 0x29, 0xEE, 0xAB, 0x39);
DEFINE_GUID(IID_IKwRasterBlock, 0xF6FFE626, 0x0C80, 0x4A59, 0xAC, 0x79, 0x07, 0x99, 0x20, 0xBD, 0x34, 0x10);
DEFINE_GUID(IID_IKwAttribute, 0x6692C95F, 0xA83E, 0x4BA4, 0xA1, 0x71, 0x37, 0x32, 0x9C, 0x30, 0x00, 0xC5);

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
