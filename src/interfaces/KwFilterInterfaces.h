// The interfaces, enumerations and records of the type library KWFILTER_JPEGLib,
// and the host interfaces the load filter reaches through QueryInterface.
// Slot order is the vtable order: keep it identical to KwFilter_JPEG.idl
// (tests/interfaces checks the slots; the Windows build checks the type library).
#pragma once

#include "KwPlatform.h"

// ---------------------------------------------------------------- enumerations
// Each is a 32-bit int underneath, as in the type library: a caller may pass
// any 32-bit value, and a value outside the list is well defined (and refused).

typedef enum KW_STORAGE_TYPE : int {
    KW_STORAGE_NONE = 0,
    KW_STORAGE_STREAM = 1,
    KW_STORAGE_STRUCTURED = 2,
} KW_STORAGE_TYPE;

typedef enum KW_STORAGE_SCHEME : int {
    KW_STORAGE_SCHEME_UNKNOWN = 0,
    KW_STORAGE_SCHEME_FILE = 1,
    KW_STORAGE_SCHEME_FTP = 2,
    KW_STORAGE_SCHEME_GOPHER = 3,
    KW_STORAGE_SCHEME_HTTP = 4,
} KW_STORAGE_SCHEME;

typedef enum KW_REGISTRY_KEY : int {
    KW_REGKEY_CURRENT_USER = 0,
    KW_REGKEY_DEFAULT_USER = 1,
    KW_REGKEY_LOCAL_MACHINE = 2,
} KW_REGISTRY_KEY;

typedef enum KW_MATRIX_TYPE : int { KW_MATRIX_NORMAL = 0, KW_MATRIX_INVERSE = 1 } KW_MATRIX_TYPE;
typedef enum KW_MATRIX_OPERATION : int { KW_POST_MULTIPLY = 0, KW_PRE_MULTIPLY = 1 } KW_MATRIX_OPERATION;
typedef enum KW_RECT_TYPE : int { KW_RECT_DEST = 0, KW_RECT_SOURCE = 1 } KW_RECT_TYPE;
typedef enum KW_CUBE_TYPE : int { KW_CUBE_DEST = 0, KW_CUBE_SOURCE = 1 } KW_CUBE_TYPE;

typedef enum KW_RASTER_TYPE : int {
    KW_RASTER_BW = 0,
    KW_RASTER_RGB = 1,
    KW_RASTER_RGBA = 2,
    KW_RASTER_INDEX_2 = 3,
    KW_RASTER_INDEX_4 = 4,
    KW_RASTER_INDEX_8 = 5,
    KW_RASTER_RLE_8 = 6,
    KW_RASTER_RLC_16 = 7,
    KW_RASTER_RLC_32 = 8,
    KW_RASTER_WB = 9,
} KW_RASTER_TYPE;

typedef enum KW_OBJECT_TYPE : int {
    KW_VAPI = 1000,
    KW_DOCUMENT = 1100,
    KW_CONTENTS = 1101,
    KW_CONTAINER = 1102,
    KW_TEXT_BLOCK = 1200,
    KW_META_BLOCK = 1201,
    KW_RASTER_BLOCK = 1202,
    KW_VECTOR_BLOCK = 1203,
    KW_VECTOR_BLOCK_3D = 1204,
    KW_TABLE_BLOCK = 1205,
    KW_ATTRIBUTE = 2000,
    KW_COLLECTION = 2001,
    KW_BLOCK_REFS = 3000,
    KW_DATA_OBJECT = 3001,
    KW_DESCRIPTOR = 3002,
    KW_FILTERS = 3003,
    KW_LAYERS = 3004,
    KW_PALETTE = 3005,
    KW_PEN_TABLE = 3006,
} KW_OBJECT_TYPE;

static_assert(sizeof(KW_RASTER_TYPE) == 4 && sizeof(KW_OBJECT_TYPE) == 4, "enumerations are 32-bit");

// ---------------------------------------------------------------- records

// tagRECT is the Windows RECT; declared here only where the SDK does not.
#if !defined(_WIN32)
typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT;
#endif

typedef struct RECTD {
    double left;
    double top;
    double right;
    double bottom;
} RECTD;

typedef struct CUBE {
    double minX;
    double maxX;
    double minY;
    double maxY;
    double minZ;
    double maxZ;
} CUBE;

// ---------------------------------------------------------------- identifiers

extern "C" {
extern const GUID LIBID_KWFILTER_JPEGLib;
extern const CLSID CLSID_KwFilterJPEG;
extern const CLSID CLSID_KwSaveStructure;
extern const CLSID CLSID_KwSaveRasterData;
extern const CLSID CLSID_KwFilterSaveJPEG;
extern const IID IID_IKwFilter;
extern const IID IID_IKwFilterSave;
extern const IID IID_IKwSaveStructure;
extern const IID IID_IKwSaveRasterData;
extern const IID DIID__IKwFilterEvents;
extern const IID IID_IKwDataObject;
extern const IID IID_IKwDocument;
extern const IID IID_IKwFilters;
extern const IID IID_IKwDescriptorNative;
extern const IID IID_IKwContents;
extern const IID IID_IKwChildren;
extern const IID IID_IKwContainer;
extern const IID IID_IKwRasterBlock;
extern const IID IID_IKwAttribute;
}

struct IKwDataObject;
struct IKwDocument;
struct IKwFilters;
struct IKwDescriptorNative;

// ---------------------------------------------------------------- the filter's own interfaces

// Slot 3 OpenDocument, slot 4 GetNode.
struct IKwFilter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OpenDocument(IKwDataObject* DataObject, IKwDocument* Document,
                                                   IKwFilters* Filters) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNode(VARIANT NodeSpec, VARIANT_BOOL Load, IDispatch** NodeObject) = 0;
};

struct IKwFilterSave : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateDocument(IKwDataObject* DataObject, IKwDescriptorNative* Descriptor,
                                                     IUnknown** SaveObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseDocument() = 0;
};

struct IKwSaveStructure : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObject(KW_OBJECT_TYPE ObjectType, VARIANT ObjectIndex,
                                                   IKwDescriptorNative* Descriptor, IUnknown** SaveObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndObject() = 0;
};

struct IKwSaveRasterData : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndObject() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX,
                                                          LONG DpiY, BSTR Compression, LONG NoColors,
                                                          LONG* ColorTable) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                   LONG BytesPerLine, unsigned char* Scanlines) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                   LONG* BytesPerLine, LONG BufferSize, unsigned char* Scanlines) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartPolyClipRegion(LONG NoPoints, LONG* Region, LONG lPolys, LONG* pPolys,
                                                          LONG lEvenOdd) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendPolyClipRegion(LONG NoPoints, LONG* Region, LONG lPolys, LONG* pPolys,
                                                           LONG lEvenOdd) = 0;
};

// The outgoing interface of KwFilterJPEG; implemented by the host's sink.
struct _IKwFilterEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Progress(LONG Progress, VARIANT_BOOL* Abort) = 0;
    virtual HRESULT STDMETHODCALLTYPE FontPath(BSTR* FontPath, LONG* Action) = 0;
    virtual HRESULT STDMETHODCALLTYPE XrefPath(BSTR* XrefPath, LONG* Action) = 0;
    virtual HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR* XrefPath, BSTR XrefOriginalPath, LONG* Action) = 0;
    virtual HRESULT STDMETHODCALLTYPE Password(BSTR* Password) = 0;
};

// ---------------------------------------------------------------- host interfaces of the type library

struct IKwDataObject : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown* Storage) = 0;                         // 7
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(BSTR DisplayName, VARIANT_BOOL AllowTempFile) = 0; // 8
    virtual HRESULT STDMETHODCALLTYPE ResetStorage() = 0;                                             // 9
    virtual HRESULT STDMETHODCALLTYPE get_Storage(IUnknown** Storage) = 0;                            // 10
    virtual HRESULT STDMETHODCALLTYPE get_StorageName(BSTR* StorageName) = 0;                         // 11
    virtual HRESULT STDMETHODCALLTYPE get_TemporaryName(BSTR* TemporaryName) = 0;                     // 12
    virtual HRESULT STDMETHODCALLTYPE get_StorageType(KW_STORAGE_TYPE* StorageType) = 0;              // 13
    virtual HRESULT STDMETHODCALLTYPE get_StorageScheme(KW_STORAGE_SCHEME* StorageScheme) = 0;        // 14
    virtual HRESULT STDMETHODCALLTYPE get_FileSize(VARIANT_BOOL HighVal, LONG* Value) = 0;            // 15
    virtual HRESULT STDMETHODCALLTYPE get_CreationTime(VARIANT_BOOL HighVal, LONG* Value) = 0;        // 16
    virtual HRESULT STDMETHODCALLTYPE get_LastAccessTime(VARIANT_BOOL HighVal, LONG* Value) = 0;      // 17
    virtual HRESULT STDMETHODCALLTYPE get_LastWriteTime(VARIANT_BOOL HighVal, LONG* Value) = 0;       // 18
    virtual HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR DisplayName, KW_STORAGE_TYPE eStorageType) = 0; // 19
};

// Slots 7 to 14: the attribute group shared by documents, nodes, filter
// collections and descriptors. "no Type" and "no Descriptor" are null pointers.
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

// Slots 15 to 23: the children group, shared by documents, nodes and filter collections.
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

// Slots 24 to 26: the parent group of document nodes.
struct IKwNodeGroup : public IKwChildGroup {
    virtual HRESULT STDMETHODCALLTYPE get_Parents(IDispatch** Parents) = 0;                            // 24
    virtual HRESULT STDMETHODCALLTYPE get_ParentCount(LONG* Count) = 0;                                // 25
    virtual HRESULT STDMETHODCALLTYPE GetParent(LONG Index, VARIANT* Descriptor, VARIANT* ChildIndex,
                                                IDispatch** Parent) = 0;                               // 26
};

struct IKwDocument : public IKwNodeGroup {
    virtual HRESULT STDMETHODCALLTYPE LoadDocument(VARIANT* Source, IDispatch* Filters) = 0;           // 27
    virtual HRESULT STDMETHODCALLTYPE SaveDocument(VARIANT* Target, IDispatch* Filters,
                                                   IDispatch* Descriptor) = 0;                         // 28
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                                     // 29
    virtual HRESULT STDMETHODCALLTYPE Open(VARIANT* Source, IDispatch* Filters) = 0;                   // 30
    virtual HRESULT STDMETHODCALLTYPE ReleaseDoc() = 0;                                                // 31
};

struct IKwFilters : public IKwChildGroup {
    virtual HRESULT STDMETHODCALLTYPE LocateFilter(IKwDataObject* DataObject, IKwDocument* Document,
                                                   IUnknown** Filter) = 0;                             // 24
    virtual HRESULT STDMETHODCALLTYPE ShowFilterSetup(LONG ParentWindow, LONG PosX, LONG PosY, BSTR Caption) = 0; // 25
    virtual HRESULT STDMETHODCALLTYPE Update() = 0;                                                    // 26
    virtual HRESULT STDMETHODCALLTYPE RegisterFilterExtensions(IDispatch* FilterInfo) = 0;             // 27
    virtual HRESULT STDMETHODCALLTYPE LoadFilterSettings() = 0;                                        // 28
    virtual HRESULT STDMETHODCALLTYPE SaveFilterSettings() = 0;                                        // 29
    virtual HRESULT STDMETHODCALLTYPE get_FilterMainKey(KW_REGISTRY_KEY* FilterMainKey) = 0;           // 30
    virtual HRESULT STDMETHODCALLTYPE put_FilterMainKey(KW_REGISTRY_KEY FilterMainKey) = 0;            // 31
    virtual HRESULT STDMETHODCALLTYPE get_FilterBaseKey(BSTR* FilterBaseKey) = 0;                      // 32
    virtual HRESULT STDMETHODCALLTYPE put_FilterBaseKey(BSTR FilterBaseKey) = 0;                       // 33
    virtual HRESULT STDMETHODCALLTYPE LocateSaveFilter(BSTR SaveFormat, KW_STORAGE_TYPE* peStorageType,
                                                       IUnknown** Filter) = 0;                         // 34
    virtual HRESULT STDMETHODCALLTYPE ShowFilterSetup2(LONG ParentWindow, LONG PosX, LONG PosY, BSTR Caption,
                                                       LONG FilterType) = 0;                           // 35
    virtual HRESULT STDMETHODCALLTYPE ShowFilterSetup3(LONG ParentWindow, LONG PosX, LONG PosY, BSTR Caption,
                                                       BSTR FilterName) = 0;                           // 36
    virtual HRESULT STDMETHODCALLTYPE GetFilterSet(LONG FilterType, IDispatch** FilterSet) = 0;        // 37
    virtual HRESULT STDMETHODCALLTYPE GetSaveFilters(IDispatch* Document, LONG IgnoreBlocks,
                                                     IDispatch** FilterSet) = 0;                       // 38
};

// Derives from IUnknown: its attribute members occupy slots 3 to 10.
struct IKwDescriptorNative : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch** Attributes) = 0;                      // 3
    virtual HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* Count) = 0;                             // 4
    virtual HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL* Protected) = 0;              // 5
    virtual HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL Protected) = 0;               // 6
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) = 0;      // 7
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value, LONG Type) = 0;           // 8
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR Name) = 0;                                  // 9
    virtual HRESULT STDMETHODCALLTYPE RemoveAllAttributes() = 0;                                       // 10
    virtual HRESULT STDMETHODCALLTYPE Init(IDispatch* Descriptor, LONG Target) = 0;                    // 11
    virtual HRESULT STDMETHODCALLTYPE Merge(IDispatch* pIDescriptor) = 0;                              // 12
    virtual HRESULT STDMETHODCALLTYPE Pop(LONG Target) = 0;                                            // 13
    virtual HRESULT STDMETHODCALLTYPE Push(LONG Target) = 0;                                           // 14
    virtual HRESULT STDMETHODCALLTYPE Reset(LONG Target) = 0;                                          // 15
    virtual HRESULT STDMETHODCALLTYPE LoadIdentity() = 0;                                              // 16
    virtual HRESULT STDMETHODCALLTYPE IsIdentity(VARIANT_BOOL* Status) = 0;                            // 17
    virtual HRESULT STDMETHODCALLTYPE IsRotated(VARIANT_BOOL* Status) = 0;                             // 18
    virtual HRESULT STDMETHODCALLTYPE GetScaling(double* ScalingX, double* ScalingY, double* ScalingZ) = 0; // 19
    virtual HRESULT STDMETHODCALLTYPE GetTranslation(double* TranslationX, double* TranslationY,
                                                     double* TranslationZ) = 0;                        // 20
    virtual HRESULT STDMETHODCALLTYPE GetMatrix(KW_MATRIX_TYPE MatrixType, double Matrix[16]) = 0;     // 21
    virtual HRESULT STDMETHODCALLTYPE SetMatrix(KW_MATRIX_TYPE MatrixType, double Matrix[16]) = 0;     // 22
    virtual HRESULT STDMETHODCALLTYPE MultMatrix(KW_MATRIX_OPERATION MatrixOperation, double Matrix[16]) = 0; // 23
    virtual HRESULT STDMETHODCALLTYPE Rotate(KW_MATRIX_OPERATION MatrixOperation, double dRotation, double VectorX,
                                             double VectorY, double VectorZ) = 0;                      // 24
    virtual HRESULT STDMETHODCALLTYPE Scale(KW_MATRIX_OPERATION MatrixOperation, double ScaleX, double ScaleY,
                                            double ScaleZ) = 0;                                        // 25
    virtual HRESULT STDMETHODCALLTYPE Translate(KW_MATRIX_OPERATION MatrixOperation, double TranslateX,
                                                double TranslateY, double TranslateZ) = 0;             // 26
    virtual HRESULT STDMETHODCALLTYPE TransformPoint2D(KW_MATRIX_TYPE MatrixType, LONG* X, LONG* Y) = 0; // 27
    virtual HRESULT STDMETHODCALLTYPE TransformPoints2D(KW_MATRIX_TYPE MatrixType, LONG NoPoints, LONG* Points) = 0; // 28
    virtual HRESULT STDMETHODCALLTYPE TransformPoint3D(KW_MATRIX_TYPE MatrixType, double* X, double* Y,
                                                       double* Z) = 0;                                 // 29
    virtual HRESULT STDMETHODCALLTYPE TransformPoints3D(KW_MATRIX_TYPE MatrixType, LONG NoPoints,
                                                        double* Points) = 0;                           // 30
    virtual HRESULT STDMETHODCALLTYPE TransformRect(KW_MATRIX_TYPE MatrixType, RECT* Rectangle) = 0;   // 31
    virtual HRESULT STDMETHODCALLTYPE TransformRectD(KW_MATRIX_TYPE MatrixType, RECTD* Rectangle) = 0; // 32
    virtual HRESULT STDMETHODCALLTYPE TransformCube(KW_MATRIX_TYPE MatrixType, CUBE* Cube) = 0;        // 33
    virtual HRESULT STDMETHODCALLTYPE GetTransformedLength(KW_MATRIX_TYPE MatrixType, double VectorX, double VectorY,
                                                           double VectorZ, double* Length) = 0;        // 34
    virtual HRESULT STDMETHODCALLTYPE GetClipRect(KW_RECT_TYPE RectType, RECT* ClipRect) = 0;          // 35
    virtual HRESULT STDMETHODCALLTYPE SetClipRect(KW_RECT_TYPE RectType, RECT* ClipRect) = 0;          // 36
    virtual HRESULT STDMETHODCALLTYPE GetClipRectD(KW_RECT_TYPE RectType, RECTD* ClipRect) = 0;        // 37
    virtual HRESULT STDMETHODCALLTYPE SetClipRectD(KW_RECT_TYPE RectType, RECTD* ClipRect) = 0;        // 38
    virtual HRESULT STDMETHODCALLTYPE GetClipCube(KW_CUBE_TYPE CubeType, CUBE* ClipCube) = 0;          // 39
    virtual HRESULT STDMETHODCALLTYPE SetClipCube(KW_CUBE_TYPE CubeType, CUBE* ClipCube) = 0;          // 40
    virtual HRESULT STDMETHODCALLTYPE ReconcileClipRects(IDispatch* TargetObject) = 0;                 // 41
    virtual HRESULT STDMETHODCALLTYPE ReconcileClipCubes(IDispatch* TargetObject) = 0;                 // 42
    virtual HRESULT STDMETHODCALLTYPE IsProjected(VARIANT_BOOL* Status) = 0;                           // 43
    virtual HRESULT STDMETHODCALLTYPE Project(KW_MATRIX_OPERATION MatrixOperation, double EyeX, double EyeY,
                                              double EyeZ) = 0;                                        // 44
    virtual HRESULT STDMETHODCALLTYPE TransformPoints3F(KW_MATRIX_TYPE MatrixType, LONG NoPoints, float* Points) = 0; // 45
};

// ---------------------------------------------------------------- host node interfaces (not in the type library)

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

KW_DEFINE_UUIDOF(IKwFilter, IID_IKwFilter)
KW_DEFINE_UUIDOF(IKwFilterSave, IID_IKwFilterSave)
KW_DEFINE_UUIDOF(IKwSaveStructure, IID_IKwSaveStructure)
KW_DEFINE_UUIDOF(IKwSaveRasterData, IID_IKwSaveRasterData)
KW_DEFINE_UUIDOF(_IKwFilterEvents, DIID__IKwFilterEvents)
KW_DEFINE_UUIDOF(IKwDataObject, IID_IKwDataObject)
KW_DEFINE_UUIDOF(IKwDocument, IID_IKwDocument)
KW_DEFINE_UUIDOF(IKwFilters, IID_IKwFilters)
KW_DEFINE_UUIDOF(IKwDescriptorNative, IID_IKwDescriptorNative)
KW_DEFINE_UUIDOF(IKwContents, IID_IKwContents)
KW_DEFINE_UUIDOF(IKwChildren, IID_IKwChildren)
KW_DEFINE_UUIDOF(IKwContainer, IID_IKwContainer)
KW_DEFINE_UUIDOF(IKwRasterBlock, IID_IKwRasterBlock)
KW_DEFINE_UUIDOF(IKwAttribute, IID_IKwAttribute)
