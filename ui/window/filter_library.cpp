#include "ui/window/filter_library.h"

namespace sphyra {

SampleFilterFn FilterLibrary::Load() {
    if (m_library.isLoaded()) return m_entry;
    m_library.setFileName(m_name);
    if (!m_library.load()) return nullptr;
    m_entry = reinterpret_cast<SampleFilterFn>(m_library.resolve(kEntryPoint));
    if (m_entry == nullptr) m_library.unload();
    return m_entry;
}

void FilterLibrary::Unload() {
    m_entry = nullptr;
    if (m_library.isLoaded()) m_library.unload();
}

}  // namespace sphyra
