#include "ui/app/interface_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>

#include "serial/private_profile.h"

// The translations are compiled into the program; this refers to them so the linker keeps
// them. It must live outside any namespace.
static void InitTranslationResources() {
    Q_INIT_RESOURCE(sphyra_translations);
}

namespace sphyra {

namespace {

constexpr char kChineseName[] = "zh_CN";
constexpr char kEnglishName[] = "en";

// Qt's own catalogues, for the standard buttons and dialogs and for the serial port's errors.
constexpr const char* kQtCatalogues[] = {"qtbase", "qtserialport"};

}  // namespace

std::optional<InterfaceLanguage::Language> InterfaceLanguage::Parse(const QString& name) {
    const QString key = name.trimmed().toLower().replace(QLatin1Char('-'), QLatin1Char('_'));
    if (key == QLatin1String("zh_cn") || key == QLatin1String("zh")) return Language::Chinese;
    if (key == QLatin1String("en")) return Language::English;
    return std::nullopt;
}

QString InterfaceLanguage::Name(Language language) {
    return QString::fromLatin1(language == Language::English ? kEnglishName : kChineseName);
}

InterfaceLanguage::Language InterfaceLanguage::Read(const std::filesystem::path& settingsPath) {
    const std::string stored = PrivateProfile(settingsPath).GetProfileString(kSection, kKey, "");
    return Parse(QString::fromStdString(stored)).value_or(Language::Chinese);
}

bool InterfaceLanguage::Remember(const std::filesystem::path& settingsPath, Language language) {
    PrivateProfile profile(settingsPath);
    const std::string name = Name(language).toStdString();
    if (profile.GetProfileString(kSection, kKey, "") == name) return true;
    return profile.WriteProfileString(kSection, kKey, name);
}

bool InterfaceLanguage::Install(Language language) {
    InitTranslationResources();
    Uninstall();
    bool complete = true;
    const auto install = [&](const QString& file, const QString& folder) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(file, folder) ||
            !QCoreApplication::installTranslator(translator.get())) {
            complete = false;
            return;
        }
        m_installed.push_back(std::move(translator));
    };
    if (language == Language::English) {
        install(QStringLiteral("sphyra_en"), QStringLiteral(":/i18n"));
    } else {
        // The program's own texts are Chinese already; only Qt's need translating.
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        for (const char* catalogue : kQtCatalogues)
            install(
                QStringLiteral("%1_%2").arg(QLatin1String(catalogue), QLatin1String(kChineseName)),
                folder);
    }
    return complete;
}

void InterfaceLanguage::Uninstall() {
    for (const auto& translator : m_installed) QCoreApplication::removeTranslator(translator.get());
    m_installed.clear();
}

}  // namespace sphyra
