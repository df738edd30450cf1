// A library for the loader tests: tells which of its builds was loaded.
extern "C" __attribute__((visibility("default"))) int ProbeIdentity() { return PROBE_IDENTITY; }
