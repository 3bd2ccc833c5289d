// The interfaces of the type library as the contract fixes them, as lists for
// X macros: tests/interfaces/ContractTest.cpp checks the generated header
// against them at compile time (both builds), and the Windows test checks the
// compiled type library against them.
#pragma once

// A member without a DISPID of its own: the library compiler gives it one.
constexpr LONG CompilerDispid = 0x7FFFFFFF;

// X(Interface, Base, LastSlot, HelpString)
#define KW_CONTRACT_INTERFACES(X)                                                                                    \
    X(IKwFilter, IUnknown, 4, "IKwFilter Interface")                                                                \
    X(IKwDataObject, IDispatch, 19, "IKwDataObject Interface")                                                      \
    X(IKwDocument, IDispatch, 31, "IKwDocument Interface")                                                          \
    X(IKwFilters, IDispatch, 38, "IKwFilters Interface")                                                            \
    X(_IKwFilterEvents, IUnknown, 7, "_IKwFilterEvents Interface")                                                  \
    X(IKwSaveStructure, IUnknown, 5, "IKwBuildStructure Interface")                                                 \
    X(IKwDescriptorNative, IUnknown, 45, "IKwDescriptorNative Interface")                                           \
    X(IKwSaveRasterData, IUnknown, 9, "IKwBuildRasterData Interface")                                               \
    X(IKwFilterSave, IUnknown, 4, "IKwFilterSave Interface")

// X(Interface, Member, Slot, Dispid, Directions, (ParameterTypes)): property
// accessors are named get_/put_ as in C++; one letter per parameter: i [in],
// o [out], b [in, out], r [out, retval], p [in, optional, defaultvalue],
// q [out, optional], - no attribute.
#define KW_CONTRACT_ATTRIBUTE_GROUP(X, I, S)                                                                         \
    X(I, get_Attributes, S, 20, "r", (IDispatch**))                                                                  \
    X(I, get_AttributeCount, S + 1, 21, "r", (LONG*))                                                                \
    X(I, get_ProtectAttributes, S + 2, 22, "r", (VARIANT_BOOL*))                                                     \
    X(I, put_ProtectAttributes, S + 3, 22, "i", (VARIANT_BOOL))                                                      \
    X(I, GetAttribute, S + 4, 23, "iqr", (BSTR, VARIANT*, VARIANT*))                                                 \
    X(I, PutAttribute, S + 5, 24, "iip", (BSTR, VARIANT, LONG))                                                      \
    X(I, RemoveAttribute, S + 6, 25, "i", (BSTR))                                                                    \
    X(I, RemoveAllAttributes, S + 7, 26, "", ())

#define KW_CONTRACT_CHILD_GROUP(X, I)                                                                                \
    X(I, get__EnumChildren, 15, -4, "r", (IUnknown**))                                                               \
    X(I, GetChild, 16, 0, "iqqr", (VARIANT, VARIANT*, VARIANT*, IDispatch**))                                        \
    X(I, AddChild, 17, 1, "iipq", (VARIANT, IDispatch*, VARIANT_BOOL, VARIANT*))                                     \
    X(I, CreateChild, 18, 2, "iipqr", (VARIANT, VARIANT, VARIANT_BOOL, VARIANT*, IDispatch**))                       \
    X(I, RemoveChild, 19, 3, "i", (VARIANT))                                                                         \
    X(I, RemoveAllChildren, 20, 4, "", ())                                                                           \
    X(I, get_ChildCount, 21, 8, "r", (LONG*))                                                                        \
    X(I, get_ProtectChildren, 22, 9, "r", (VARIANT_BOOL*))                                                           \
    X(I, put_ProtectChildren, 23, 9, "i", (VARIANT_BOOL))

#define KW_CONTRACT_MEMBERS(X)                                                                                       \
    X(IKwFilter, OpenDocument, 3, CompilerDispid, "iii", (IKwDataObject*, IKwDocument*, IKwFilters*))              \
    X(IKwFilter, GetNode, 4, CompilerDispid, "i-r", (VARIANT, VARIANT_BOOL, IDispatch**))                           \
                                                                                                                     \
    X(IKwFilterSave, CreateDocument, 3, CompilerDispid, "iir", (IKwDataObject*, IKwDescriptorNative*, IUnknown**)) \
    X(IKwFilterSave, CloseDocument, 4, CompilerDispid, "", ())                                                      \
                                                                                                                     \
    X(IKwSaveStructure, PutAttribute, 3, CompilerDispid, "ii", (BSTR, VARIANT))                                     \
    X(IKwSaveStructure, CreateObject, 4, CompilerDispid, "iii-",                                                    \
      (KW_OBJECT_TYPE, VARIANT, IKwDescriptorNative*, IUnknown**))                                                   \
    X(IKwSaveStructure, EndObject, 5, CompilerDispid, "", ())                                                       \
                                                                                                                     \
    X(IKwSaveRasterData, PutAttribute, 3, CompilerDispid, "ii", (BSTR, VARIANT))                                    \
    X(IKwSaveRasterData, EndObject, 4, CompilerDispid, "", ())                                                      \
    X(IKwSaveRasterData, CreateRasterStorage, 5, CompilerDispid, "iiiiiiii",                                        \
      (LONG, LONG, LONG, LONG, LONG, BSTR, LONG, LONG*))                                                             \
    X(IKwSaveRasterData, AddScanline1, 6, CompilerDispid, "iiiii", (KW_RASTER_TYPE, LONG, LONG, LONG, unsigned char*)) \
    X(IKwSaveRasterData, AddScanline2, 7, CompilerDispid, "iiiiii",                                                 \
      (KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*))                                                     \
    X(IKwSaveRasterData, StartPolyClipRegion, 8, CompilerDispid, "ii-i-", (LONG, LONG*, LONG, LONG*, LONG))         \
    X(IKwSaveRasterData, AppendPolyClipRegion, 9, CompilerDispid, "ii-i-", (LONG, LONG*, LONG, LONG*, LONG))        \
                                                                                                                     \
    X(_IKwFilterEvents, Progress, 3, CompilerDispid, "io", (LONG, VARIANT_BOOL*))                                   \
    X(_IKwFilterEvents, FontPath, 4, CompilerDispid, "bb", (BSTR*, LONG*))                                          \
    X(_IKwFilterEvents, XrefPath, 5, CompilerDispid, "bb", (BSTR*, LONG*))                                          \
    X(_IKwFilterEvents, XrefPathEx, 6, CompilerDispid, "bib", (BSTR*, BSTR, LONG*))                                 \
    X(_IKwFilterEvents, Password, 7, CompilerDispid, "b", (BSTR*))                                                  \
                                                                                                                     \
    X(IKwDataObject, AttachToStorage, 7, 1, "i", (IUnknown*))                                                       \
    X(IKwDataObject, BindToStorage, 8, 2, "ii", (BSTR, VARIANT_BOOL))                                               \
    X(IKwDataObject, ResetStorage, 9, 4, "", ())                                                                    \
    X(IKwDataObject, get_Storage, 10, 10, "r", (IUnknown**))                                                        \
    X(IKwDataObject, get_StorageName, 11, 11, "r", (BSTR*))                                                         \
    X(IKwDataObject, get_TemporaryName, 12, 12, "r", (BSTR*))                                                       \
    X(IKwDataObject, get_StorageType, 13, 13, "r", (KW_STORAGE_TYPE*))                                              \
    X(IKwDataObject, get_StorageScheme, 14, 14, "r", (KW_STORAGE_SCHEME*))                                          \
    X(IKwDataObject, get_FileSize, 15, 15, "ir", (VARIANT_BOOL, LONG*))                                             \
    X(IKwDataObject, get_CreationTime, 16, 16, "ir", (VARIANT_BOOL, LONG*))                                         \
    X(IKwDataObject, get_LastAccessTime, 17, 17, "ir", (VARIANT_BOOL, LONG*))                                       \
    X(IKwDataObject, get_LastWriteTime, 18, 18, "ir", (VARIANT_BOOL, LONG*))                                        \
    X(IKwDataObject, BindToStorageWrite, 19, 3, "ii", (BSTR, KW_STORAGE_TYPE))                                      \
                                                                                                                     \
    KW_CONTRACT_ATTRIBUTE_GROUP(X, IKwDocument, 7)                                                                  \
    KW_CONTRACT_CHILD_GROUP(X, IKwDocument)                                                                         \
    X(IKwDocument, get_Parents, 24, 10, "r", (IDispatch**))                                                         \
    X(IKwDocument, get_ParentCount, 25, 11, "r", (LONG*))                                                           \
    X(IKwDocument, GetParent, 26, 12, "iqqr", (LONG, VARIANT*, VARIANT*, IDispatch**))                              \
    X(IKwDocument, LoadDocument, 27, 100, "ii", (VARIANT*, IDispatch*))                                             \
    X(IKwDocument, SaveDocument, 28, 101, "iii", (VARIANT*, IDispatch*, IDispatch*))                                \
    X(IKwDocument, Close, 29, 110, "", ())                                                                          \
    X(IKwDocument, Open, 30, 111, "ii", (VARIANT*, IDispatch*))                                                     \
    X(IKwDocument, ReleaseDoc, 31, 112, "", ())                                                                     \
                                                                                                                     \
    KW_CONTRACT_ATTRIBUTE_GROUP(X, IKwFilters, 7)                                                                   \
    KW_CONTRACT_CHILD_GROUP(X, IKwFilters)                                                                          \
    X(IKwFilters, LocateFilter, 24, 100, "iir", (IKwDataObject*, IKwDocument*, IUnknown**))                         \
    X(IKwFilters, ShowFilterSetup, 25, 101, "iiii", (LONG, LONG, LONG, BSTR))                                       \
    X(IKwFilters, Update, 26, 200, "", ())                                                                          \
    X(IKwFilters, RegisterFilterExtensions, 27, 300, "i", (IDispatch*))                                             \
    X(IKwFilters, LoadFilterSettings, 28, 350, "", ())                                                              \
    X(IKwFilters, SaveFilterSettings, 29, 351, "", ())                                                              \
    X(IKwFilters, get_FilterMainKey, 30, 500, "r", (KW_REGISTRY_KEY*))                                              \
    X(IKwFilters, put_FilterMainKey, 31, 500, "i", (KW_REGISTRY_KEY))                                               \
    X(IKwFilters, get_FilterBaseKey, 32, 501, "r", (BSTR*))                                                         \
    X(IKwFilters, put_FilterBaseKey, 33, 501, "i", (BSTR))                                                          \
    X(IKwFilters, LocateSaveFilter, 34, 102, "ior", (BSTR, KW_STORAGE_TYPE*, IUnknown**))                           \
    X(IKwFilters, ShowFilterSetup2, 35, 103, "iiiii", (LONG, LONG, LONG, BSTR, LONG))                               \
    X(IKwFilters, ShowFilterSetup3, 36, 104, "iiiii", (LONG, LONG, LONG, BSTR, BSTR))                               \
    X(IKwFilters, GetFilterSet, 37, 105, "ir", (LONG, IDispatch**))                                                 \
    X(IKwFilters, GetSaveFilters, 38, 106, "ipr", (IDispatch*, LONG, IDispatch**))                                  \
                                                                                                                     \
    KW_CONTRACT_ATTRIBUTE_GROUP(X, IKwDescriptorNative, 3)                                                          \
    X(IKwDescriptorNative, Init, 11, CompilerDispid, "ip", (IDispatch*, LONG))                                      \
    X(IKwDescriptorNative, Merge, 12, CompilerDispid, "i", (IDispatch*))                                            \
    X(IKwDescriptorNative, Pop, 13, CompilerDispid, "p", (LONG))                                                    \
    X(IKwDescriptorNative, Push, 14, CompilerDispid, "p", (LONG))                                                   \
    X(IKwDescriptorNative, Reset, 15, CompilerDispid, "p", (LONG))                                                  \
    X(IKwDescriptorNative, LoadIdentity, 16, CompilerDispid, "", ())                                                \
    X(IKwDescriptorNative, IsIdentity, 17, CompilerDispid, "o", (VARIANT_BOOL*))                                    \
    X(IKwDescriptorNative, IsRotated, 18, CompilerDispid, "o", (VARIANT_BOOL*))                                     \
    X(IKwDescriptorNative, GetScaling, 19, CompilerDispid, "ooo", (double*, double*, double*))                      \
    X(IKwDescriptorNative, GetTranslation, 20, CompilerDispid, "ooo", (double*, double*, double*))                  \
    X(IKwDescriptorNative, GetMatrix, 21, CompilerDispid, "io", (KW_MATRIX_TYPE, double[16]))                        \
    X(IKwDescriptorNative, SetMatrix, 22, CompilerDispid, "ii", (KW_MATRIX_TYPE, double[16]))                        \
    X(IKwDescriptorNative, MultMatrix, 23, CompilerDispid, "ii", (KW_MATRIX_OPERATION, double[16]))                    \
    X(IKwDescriptorNative, Rotate, 24, CompilerDispid, "iiiii", (KW_MATRIX_OPERATION, double, double, double, double)) \
    X(IKwDescriptorNative, Scale, 25, CompilerDispid, "iiii", (KW_MATRIX_OPERATION, double, double, double))        \
    X(IKwDescriptorNative, Translate, 26, CompilerDispid, "iiii", (KW_MATRIX_OPERATION, double, double, double))    \
    X(IKwDescriptorNative, TransformPoint2D, 27, CompilerDispid, "ibb", (KW_MATRIX_TYPE, LONG*, LONG*))             \
    X(IKwDescriptorNative, TransformPoints2D, 28, CompilerDispid, "iib", (KW_MATRIX_TYPE, LONG, LONG*))             \
    X(IKwDescriptorNative, TransformPoint3D, 29, CompilerDispid, "ibbb", (KW_MATRIX_TYPE, double*, double*, double*)) \
    X(IKwDescriptorNative, TransformPoints3D, 30, CompilerDispid, "iib", (KW_MATRIX_TYPE, LONG, double*))           \
    X(IKwDescriptorNative, TransformRect, 31, CompilerDispid, "ib", (KW_MATRIX_TYPE, RECT*))                        \
    X(IKwDescriptorNative, TransformRectD, 32, CompilerDispid, "ib", (KW_MATRIX_TYPE, RECTD*))                      \
    X(IKwDescriptorNative, TransformCube, 33, CompilerDispid, "ib", (KW_MATRIX_TYPE, CUBE*))                        \
    X(IKwDescriptorNative, GetTransformedLength, 34, CompilerDispid, "iiiio",                                       \
      (KW_MATRIX_TYPE, double, double, double, double*))                                                             \
    X(IKwDescriptorNative, GetClipRect, 35, CompilerDispid, "io", (KW_RECT_TYPE, RECT*))                            \
    X(IKwDescriptorNative, SetClipRect, 36, CompilerDispid, "ii", (KW_RECT_TYPE, RECT*))                            \
    X(IKwDescriptorNative, GetClipRectD, 37, CompilerDispid, "io", (KW_RECT_TYPE, RECTD*))                          \
    X(IKwDescriptorNative, SetClipRectD, 38, CompilerDispid, "ii", (KW_RECT_TYPE, RECTD*))                          \
    X(IKwDescriptorNative, GetClipCube, 39, CompilerDispid, "io", (KW_CUBE_TYPE, CUBE*))                            \
    X(IKwDescriptorNative, SetClipCube, 40, CompilerDispid, "ii", (KW_CUBE_TYPE, CUBE*))                            \
    X(IKwDescriptorNative, ReconcileClipRects, 41, CompilerDispid, "i", (IDispatch*))                               \
    X(IKwDescriptorNative, ReconcileClipCubes, 42, CompilerDispid, "i", (IDispatch*))                               \
    X(IKwDescriptorNative, IsProjected, 43, CompilerDispid, "o", (VARIANT_BOOL*))                                   \
    X(IKwDescriptorNative, Project, 44, CompilerDispid, "iiii", (KW_MATRIX_OPERATION, double, double, double))      \
    X(IKwDescriptorNative, TransformPoints3F, 45, CompilerDispid, "iib", (KW_MATRIX_TYPE, LONG, float*))

// X(Enumeration, Constant, Value), in declaration order.
#define KW_CONTRACT_CONSTANTS(X)                                                                                     \
    X(KW_STORAGE_TYPE, KW_STORAGE_NONE, 0)                                                                           \
    X(KW_STORAGE_TYPE, KW_STORAGE_STREAM, 1)                                                                         \
    X(KW_STORAGE_TYPE, KW_STORAGE_STRUCTURED, 2)                                                                     \
    X(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_UNKNOWN, 0)                                                               \
    X(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_FILE, 1)                                                                  \
    X(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_FTP, 2)                                                                   \
    X(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_GOPHER, 3)                                                                \
    X(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_HTTP, 4)                                                                  \
    X(KW_REGISTRY_KEY, KW_REGKEY_CURRENT_USER, 0)                                                                    \
    X(KW_REGISTRY_KEY, KW_REGKEY_DEFAULT_USER, 1)                                                                    \
    X(KW_REGISTRY_KEY, KW_REGKEY_LOCAL_MACHINE, 2)                                                                   \
    X(KW_MATRIX_TYPE, KW_MATRIX_NORMAL, 0)                                                                           \
    X(KW_MATRIX_TYPE, KW_MATRIX_INVERSE, 1)                                                                          \
    X(KW_MATRIX_OPERATION, KW_POST_MULTIPLY, 0)                                                                      \
    X(KW_MATRIX_OPERATION, KW_PRE_MULTIPLY, 1)                                                                       \
    X(KW_RECT_TYPE, KW_RECT_DEST, 0)                                                                                 \
    X(KW_RECT_TYPE, KW_RECT_SOURCE, 1)                                                                               \
    X(KW_CUBE_TYPE, KW_CUBE_DEST, 0)                                                                                 \
    X(KW_CUBE_TYPE, KW_CUBE_SOURCE, 1)                                                                               \
    X(KW_RASTER_TYPE, KW_RASTER_BW, 0)                                                                               \
    X(KW_RASTER_TYPE, KW_RASTER_RGB, 1)                                                                              \
    X(KW_RASTER_TYPE, KW_RASTER_RGBA, 2)                                                                             \
    X(KW_RASTER_TYPE, KW_RASTER_INDEX_2, 3)                                                                          \
    X(KW_RASTER_TYPE, KW_RASTER_INDEX_4, 4)                                                                          \
    X(KW_RASTER_TYPE, KW_RASTER_INDEX_8, 5)                                                                          \
    X(KW_RASTER_TYPE, KW_RASTER_RLE_8, 6)                                                                            \
    X(KW_RASTER_TYPE, KW_RASTER_RLC_16, 7)                                                                           \
    X(KW_RASTER_TYPE, KW_RASTER_RLC_32, 8)                                                                           \
    X(KW_RASTER_TYPE, KW_RASTER_WB, 9)                                                                               \
    X(KW_OBJECT_TYPE, KW_VAPI, 1000)                                                                                 \
    X(KW_OBJECT_TYPE, KW_DOCUMENT, 1100)                                                                             \
    X(KW_OBJECT_TYPE, KW_CONTENTS, 1101)                                                                             \
    X(KW_OBJECT_TYPE, KW_CONTAINER, 1102)                                                                            \
    X(KW_OBJECT_TYPE, KW_TEXT_BLOCK, 1200)                                                                           \
    X(KW_OBJECT_TYPE, KW_META_BLOCK, 1201)                                                                           \
    X(KW_OBJECT_TYPE, KW_RASTER_BLOCK, 1202)                                                                         \
    X(KW_OBJECT_TYPE, KW_VECTOR_BLOCK, 1203)                                                                         \
    X(KW_OBJECT_TYPE, KW_VECTOR_BLOCK_3D, 1204)                                                                      \
    X(KW_OBJECT_TYPE, KW_TABLE_BLOCK, 1205)                                                                          \
    X(KW_OBJECT_TYPE, KW_ATTRIBUTE, 2000)                                                                            \
    X(KW_OBJECT_TYPE, KW_COLLECTION, 2001)                                                                           \
    X(KW_OBJECT_TYPE, KW_BLOCK_REFS, 3000)                                                                           \
    X(KW_OBJECT_TYPE, KW_DATA_OBJECT, 3001)                                                                          \
    X(KW_OBJECT_TYPE, KW_DESCRIPTOR, 3002)                                                                           \
    X(KW_OBJECT_TYPE, KW_FILTERS, 3003)                                                                              \
    X(KW_OBJECT_TYPE, KW_LAYERS, 3004)                                                                               \
    X(KW_OBJECT_TYPE, KW_PALETTE, 3005)                                                                              \
    X(KW_OBJECT_TYPE, KW_PEN_TABLE, 3006)
