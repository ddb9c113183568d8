#include "ui/app/sphyra_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "serial/port_settings_file.h"
#include "ui/app/latency_probe.h"
#include "ui/app/startup_probe.h"
#include "ui/common/cjk_font.h"
#include "ui/common/png_image.h"
#include "ui/window/sensor_monitor_dlg.h"

#ifdef Q_OS_UNIX
#include "ui/app/demo_session.h"
#include "ui/app/replay_session.h"
#include "ui/app/termination_signals.h"
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace sphyra {

namespace {

void Print(std::FILE* stream, const QString& text) {
#ifdef Q_OS_WIN
    // A GUI program has no console of its own: unless its output was redirected, answer in the
    // console it was started from.
    static const bool attached = [] {
        const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (out != nullptr && out != INVALID_HANDLE_VALUE) return false;
        return ::AttachConsole(ATTACH_PARENT_PROCESS) &&
               std::freopen("CONOUT$", "w", stdout) != nullptr &&
               std::freopen("CONOUT$", "w", stderr) != nullptr;
    }();
    (void)attached;
#endif
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

CSphyraApp::CSphyraApp() = default;
CSphyraApp::~CSphyraApp() = default;

QString CSphyraApp::VersionText(const QString& programName) {
    return QStringLiteral("%1 %2 (file version %3)\n")
        .arg(programName, QString::fromLatin1(kProductVersion), QString::fromLatin1(kFileVersion));
}

std::optional<int> CSphyraApp::ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Monitor for wireless infrared pulse sensors on a serial port."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the product and file versions."));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Read and write the port settings in FILE instead of the default file."),
        QStringLiteral("FILE"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run against the built-in sensor simulator."));
    const QCommandLineOption replay(
        QStringLiteral("replay"),
        QStringLiteral("Play the capture FILE on COM1 with its recorded timing, from when the "
                       "port is opened."),
        QStringLiteral("FILE"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("With --replay: play X times as fast."),
                                   QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Record everything received into capture files in DIR, from the moment "
                       "the port opens."),
        QStringLiteral("DIR"));
    const QCommandLineOption open(
        QStringLiteral("open"),
        QStringLiteral("Open the saved port as soon as the window shows, as \"打开\" does."));
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("Interface language: zh_CN (the default) or en. Remembered in the "
                       "settings file."),
        QStringLiteral("LANG"));
    parser.addOptions({help, version, settings, demo, replay, speed, record, open, lang});

    const QString program =
        QFileInfo(arguments.isEmpty() ? QStringLiteral("sphyra") : arguments.first()).fileName();
    // Before the QApplication exists the parser cannot know the program's name.
    QString helpText = parser.helpText();
    helpText.replace(QStringLiteral("<executable_name>"), program);

    if (!parser.parse(arguments)) {
        Print(stderr, parser.errorText() + QStringLiteral("\n") + helpText);
        return 2;
    }
    if (parser.isSet(help)) {
        Print(stdout, helpText);
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, VersionText(QFileInfo(program).baseName()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        Print(
            stderr,
            QStringLiteral("Unexpected argument: %1\n").arg(parser.positionalArguments().first()));
        return 2;
    }

    if (parser.isSet(demo) && parser.isSet(settings)) {
        // The demo maps COM1 to its own simulated sensors in a file of its own; using the
        // operator's file would either lose that mapping or write the demo's port into it.
        Print(stderr, QStringLiteral("%1: --demo and --settings cannot be used together: the demo "
                                     "uses a settings file of its own and never reads or changes "
                                     "yours.\n")
                          .arg(program));
        return 2;
    }
    if (parser.isSet(replay) && parser.isSet(settings)) {
        // The same holds for a replay, which maps COM1 to the capture's pseudo-terminal.
        Print(stderr, QStringLiteral("%1: --replay and --settings cannot be used together: a "
                                     "replay uses a settings file of its own and never reads or "
                                     "changes yours.\n")
                          .arg(program));
        return 2;
    }

    // The program's path as it was given, so a relative start finds a relative file.
    const std::string argv0 = arguments.isEmpty() ? std::string() : arguments.first().toStdString();
    m_options.settingsPath = parser.isSet(settings)
                                 ? std::filesystem::path(parser.value(settings).toStdString())
                                 : PortSettingsFile::PathForProgram(argv0);
    m_options.demo = parser.isSet(demo);
    if (parser.isSet(replay)) {
        if (m_options.demo) {
            Print(stderr, QStringLiteral("--replay and --demo both use COM1; choose one.\n"));
            return 2;
        }
        m_options.replayPath = std::filesystem::path(parser.value(replay).toStdString());
    }
    if (parser.isSet(speed)) {
        bool ok = false;
        m_options.replaySpeed = parser.value(speed).toDouble(&ok);
        if (!ok || !(m_options.replaySpeed >= 0.01 && m_options.replaySpeed <= 1000) ||
            !parser.isSet(replay)) {
            Print(stderr, QStringLiteral("--speed takes a number from 0.01 to 1000 and goes "
                                         "with --replay.\n"));
            return 2;
        }
    }
    if (parser.isSet(record)) m_options.recordFolder = parser.value(record).toStdString();
    m_options.open = parser.isSet(open);
    m_options.language.reset();
    if (parser.isSet(lang)) {
        m_options.language = InterfaceLanguage::Parse(parser.value(lang));
        if (!m_options.language) {
            Print(stderr,
                  QStringLiteral("Unknown language: %1 (zh_CN or en)\n").arg(parser.value(lang)));
            return 2;
        }
    }
    return std::nullopt;
}

std::optional<int> CSphyraApp::ParseCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const auto exitCode = ParseCommandLine(arguments)) return exitCode;
    // The parser has checked the options; the names come from the raw bytes, since the decoding
    // above replaces bytes that are not valid in the system's encoding.
    std::optional<std::string> settings;
    std::optional<std::string> record;
    std::optional<std::string> replay;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--settings" && i + 1 < argc) {
            settings = argv[++i];
        } else if (arg.starts_with("--settings=")) {
            settings = std::string(arg.substr(std::string_view("--settings=").size()));
        } else if (arg == "--record" && i + 1 < argc) {
            record = argv[++i];
        } else if (arg.starts_with("--record=")) {
            record = std::string(arg.substr(std::string_view("--record=").size()));
        } else if (arg == "--replay" && i + 1 < argc) {
            replay = argv[++i];
        } else if (arg.starts_with("--replay=")) {
            replay = std::string(arg.substr(std::string_view("--replay=").size()));
        }
    }
    if (record) m_options.recordFolder = std::filesystem::path(*record);
    if (replay) m_options.replayPath = std::filesystem::path(*replay);
    if (settings) {
        m_options.settingsPath = std::filesystem::path(*settings);
    } else if (argc > 0) {
        m_options.settingsPath = PortSettingsFile::PathForProgram(argv[0]);
    }
    return std::nullopt;
}

int CSphyraApp::Run() {
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("sphyra"));
#ifdef Q_OS_WIN
    // The filter library is looked for on the library path only, never in the current folder.
    ::SetDllDirectoryW(L"");
#endif
    StartupProbe::InstallIfAsked();
    CjkFont::ApplyToApplication();
    // The group boxes' frame in the Fusion style.
    CachePngForStyle(
        QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"));
    // Before the demo points the options at a settings file of its own.
    if (!m_language.Install(ChooseLanguage()))
        Print(stderr, QStringLiteral("sphyra: some translations are missing; those texts stay as "
                                     "written.\n"));
    if (m_options.demo) PrepareDemo(m_options);
    const bool replay = !m_options.replayPath.empty();
    if (replay && !PrepareReplay(m_options)) return 1;

    // A write cut short by a crash or a power cut left its temporary file beside the settings.
    PortSettingsFile(m_options.settingsPath).RemoveStaleTemporaries();

    CSensorMonitorDlg window(m_options.settingsPath);
    LatencyProbe::InstallIfRequested(window);
    if (m_options.demo) StartDemo(window);
    if (replay) StartReplay(window);
    if (!m_options.recordFolder.empty()) window.Recording().RecordFromOpen(m_options.recordFolder);
#ifdef Q_OS_UNIX
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, &window, [&window] {
        // As the Exit button: the port closes (and its lock file goes), then every modal loop,
        // the window's and any box's over it, ends.
        window.OnExit();
        QCoreApplication::exit(0);
    });
#endif
    if (m_options.open) QTimer::singleShot(0, &window, [&window] { window.OnOpenClose(); });
    window.exec();
    return 0;
}

InterfaceLanguage::Language CSphyraApp::ChooseLanguage() const {
    if (!m_options.language) return InterfaceLanguage::Read(m_options.settingsPath);
    InterfaceLanguage::Remember(m_options.settingsPath, *m_options.language);
    return *m_options.language;
}

void CSphyraApp::PrepareDemo(Options& options) {
#ifdef Q_OS_UNIX
    auto demo = std::make_unique<DemoSession>();
    if (!demo->Prepare()) {
        Print(stderr, QStringLiteral("sphyra: cannot start the demo sensors (%1); starting without "
                                     "them.\n")
                          .arg(QString::fromStdString(demo->ErrorText())));
        return;
    }
    options.settingsPath = demo->SettingsPath();
    Print(stdout, QStringLiteral("sphyra: demo sensors on %1, mapped to COM1; press \"打开\" to "
                                 "open the port.\n")
                      .arg(QString::fromStdString(demo->DevicePath())));
    m_demo = std::move(demo);
#else
    (void)options;
    Print(stderr, QStringLiteral("sphyra: the demo sensors need pseudo-terminals, which this "
                                 "system lacks; starting without them.\n"));
#endif
}

void CSphyraApp::StartDemo(CSensorMonitorDlg& window) {
#ifdef Q_OS_UNIX
    if (m_demo) m_demo->Start([&window] { return window.Comm().GetPortOpen(); });
#else
    (void)window;
#endif
}

bool CSphyraApp::PrepareReplay(Options& options) {
#ifdef Q_OS_UNIX
    auto replay = std::make_unique<ReplaySession>(options.replayPath, options.replaySpeed);
    if (!replay->Prepare()) {
        Print(stderr, QStringLiteral("sphyra: cannot replay %1: %2\n")
                          .arg(QString::fromStdString(options.replayPath.string()),
                               QString::fromStdString(replay->ErrorText())));
        return false;
    }
    options.settingsPath = replay->SettingsPath();
    Print(stdout, QStringLiteral("sphyra: replaying %1 on %2, mapped to COM1; press \"打开\" to "
                                 "start.\n")
                      .arg(QString::fromStdString(options.replayPath.string()),
                           QString::fromStdString(replay->DevicePath())));
    m_replay = std::move(replay);
    return true;
#else
    (void)options;
    Print(stderr, QStringLiteral("sphyra: replay needs pseudo-terminals, which this system "
                                 "lacks.\n"));
    return false;
#endif
}

void CSphyraApp::StartReplay(CSensorMonitorDlg& window) {
#ifdef Q_OS_UNIX
    if (m_replay) m_replay->Start([&window] { return window.Comm().GetPortOpen(); });
#else
    (void)window;
#endif
}

}  // namespace sphyra
