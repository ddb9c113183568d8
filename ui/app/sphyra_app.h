#pragma once

#include <QStringList>
#include <filesystem>
#include <memory>
#include <optional>

#include "ui/app/interface_language.h"

namespace sphyra {

class CSensorMonitorDlg;
class DemoSession;
class ReplaySession;

// The program: reads the command line, prepares the font, runs the main window modally and
// ends when that window closes.
class CSphyraApp {
public:
    static constexpr char kProductVersion[] = "1.0.0.1";
    static constexpr char kFileVersion[] = "2009.2.16.1";

    struct Options {
        std::filesystem::path settingsPath;  // the port settings file
        bool demo = false;
        std::filesystem::path replayPath;  // --replay: play this capture on COM1
        double replaySpeed = 1.0;
        std::filesystem::path recordFolder;  // --record: record from the port's opening
        bool open = false;                   // open the saved port once the window shows
        // --lang; when not given, the language remembered in the settings file.
        std::optional<InterfaceLanguage::Language> language;
    };

    CSphyraApp();
    virtual ~CSphyraApp();

    // Fills GetOptions() from `arguments` (argv, program first). Returns an exit code when the
    // program has nothing more to do (--help, --version, a bad option), otherwise nothing.
    // Needs no QApplication, so informational options work without a display.
    std::optional<int> ParseCommandLine(const QStringList& arguments);
    // The same from the program's own arguments. File names are taken as the bytes given, so a
    // name in another encoding than the system's (GBK folders copied from Windows) still works.
    std::optional<int> ParseCommandLine(int argc, char* argv[]);

    // Runs the main window modally once the command line is parsed and the QApplication
    // exists; returns the exit code.
    int Run();

    const Options& GetOptions() const { return m_options; }

    // The text --version prints for the program called `programName`.
    static QString VersionText(const QString& programName);

protected:
    // --demo: where the simulator gets wired in. PrepareDemo runs before the window exists, so
    // it may point the options at a settings file that maps a COM number to the simulator's
    // port; StartDemo runs once the window stands, before it is shown.
    virtual void PrepareDemo(Options& options);
    virtual void StartDemo(CSensorMonitorDlg& window);

private:
    // The interface language for this run; a language named on the command line is
    // remembered for the next runs.
    InterfaceLanguage::Language ChooseLanguage() const;
    // False when the capture cannot be played: the program then stops rather than
    // open the operator's real port instead.
    bool PrepareReplay(Options& options);
    void StartReplay(CSensorMonitorDlg& window);

    Options m_options;
    InterfaceLanguage m_language;
    std::unique_ptr<DemoSession> m_demo;
    std::unique_ptr<ReplaySession> m_replay;
};

}  // namespace sphyra
