// A library that loads but lacks the filter's entry point.
#if defined(_WIN32)
#define QX_EXPORT extern "C" __declspec(dllexport)
#else
#define QX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QX_EXPORT int SomethingElse() {
    return 1;
}
