#pragma once

#include <QLibrary>
#include <QString>

#include "acquisition/frame_applier.h"

namespace sphyra {

// The optional outside sample filter. Loaded by its plain name, so each platform applies its
// own file naming and library search path ("QXFilter.dll", "libQXFilter.so"); the current
// folder is not searched. A missing library or entry point just leaves the filter unavailable.
class FilterLibrary {
public:
    static constexpr char kLibraryName[] = "QXFilter";
    static constexpr char kEntryPoint[] = "QXAPI_WaveFilter50";

    explicit FilterLibrary(QString name = QString::fromLatin1(kLibraryName))
        : m_name(std::move(name)) {}
    ~FilterLibrary() { Unload(); }

    FilterLibrary(const FilterLibrary&) = delete;
    FilterLibrary& operator=(const FilterLibrary&) = delete;

    // Loads the library and looks up the entry point once; returns it or nullptr.
    SampleFilterFn Load();
    // Releases the library; the entry point must no longer be called.
    void Unload();

    SampleFilterFn Entry() const { return m_entry; }

private:
    QString m_name;
    QLibrary m_library;
    SampleFilterFn m_entry = nullptr;
};

}  // namespace sphyra
