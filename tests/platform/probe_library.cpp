// A library for the loader tests: tells which of its builds was loaded.
#ifdef _WIN32
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" PROBE_EXPORT int ProbeIdentity() { return PROBE_IDENTITY; }
