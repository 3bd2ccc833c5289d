// The check groups of the Windows test program, by phase (see KwWindowsTestMain.cpp).
#pragma once

// After regsvr32: the registry entries and the type-library registration.
void KwCheckRegistrationEntries();
void KwCheckTypeLibRegistration();
// The library file: exports and resources.
void KwCheckLibraryFile();
// The registered type library read back through ITypeLib / ITypeInfo.
void KwCheckTypeLibrary();
// Both filters created by ProgID through COM: loads, a save, the lock count.
void KwCheckFilters();
// After regsvr32 /u.
void KwCheckRemoval();
// Registration and removal beside another filter of the catalogue.
void KwCheckRemovalBesideAnotherFilter();
// Registration and COM creation from a folder named outside the ANSI code page.
void KwCheckRegistrationFromWideFolder();
