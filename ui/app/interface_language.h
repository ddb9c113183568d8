#pragma once

#include <QString>
#include <QTranslator>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace sphyra {

// The language of the interface. The program's texts are written in Chinese, which stays the
// default; English comes from the program's own translation. Qt's standard buttons and
// dialogs follow, through Qt's own Chinese translation.
class InterfaceLanguage {
public:
    enum class Language { Chinese, English };

    // Where the choice is remembered: a section of its own in the settings file.
    static constexpr char kSection[] = "Interface";
    static constexpr char kKey[] = "Language";

    // "zh_CN" (or "zh") and "en", as given to --lang; nothing for anything else.
    static std::optional<Language> Parse(const QString& name);
    static QString Name(Language language);

    // The language remembered in `settingsPath`; Chinese when none is.
    static Language Read(const std::filesystem::path& settingsPath);
    // Remembers `language` unless the file already says so; false when the write failed.
    static bool Remember(const std::filesystem::path& settingsPath, Language language);

    // Puts the translations for `language` into the running application, replacing any that
    // an earlier call installed. Returns false when one of them could not be loaded; the
    // interface then shows the untranslated texts for those.
    bool Install(Language language);

private:
    void Uninstall();

    std::vector<std::unique_ptr<QTranslator>> m_installed;
};

}  // namespace sphyra
