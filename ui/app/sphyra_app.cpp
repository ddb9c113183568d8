#include "ui/app/sphyra_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

#include "serial/port_settings_file.h"
#include "ui/app/latency_probe.h"
#include "ui/common/cjk_font.h"
#include "ui/window/sensor_monitor_dlg.h"

#ifdef Q_OS_UNIX
#include "ui/app/demo_session.h"
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
    parser.addOptions({help, version, settings, demo});

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

    // The program's path as it was given, so a relative start finds a relative file.
    const std::string argv0 = arguments.isEmpty() ? std::string() : arguments.first().toStdString();
    m_options.settingsPath = parser.isSet(settings)
                                 ? std::filesystem::path(parser.value(settings).toStdString())
                                 : PortSettingsFile::PathForProgram(argv0);
    m_options.demo = parser.isSet(demo);
    return std::nullopt;
}

int CSphyraApp::Run() {
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("sphyra"));
#ifdef Q_OS_WIN
    // The filter library is looked for on the library path only, never in the current folder.
    ::SetDllDirectoryW(L"");
#endif
    CjkFont::ApplyToApplication();
    if (m_options.demo) PrepareDemo(m_options);

    CSensorMonitorDlg window(m_options.settingsPath);
    LatencyProbe::InstallIfRequested(window);
    if (m_options.demo) StartDemo(window);
    window.exec();
    return 0;
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

}  // namespace sphyra
