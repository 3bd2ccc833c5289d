// A library without DllGetClassObject: the runtime must refuse it as a server.
extern "C" __attribute__((visibility("default"))) int KwTestNoEntryMarker(void) { return 7; }
