#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/comm_control.h"
#include "tests/ui/modal_catcher.h"
#include "tools/sim/frame_encoder.h"
#include "ui/app/interface_language.h"
#include "ui/app/sphyra_app.h"
#include "ui/common/cjk_font.h"
#include "ui/common/group_box_paint_cache.h"
#include "ui/common/png_image.h"
#include "ui/common/readout_edit_paint_cache.h"
#include "ui/window/about_dlg.h"
#include "ui/window/app_icon.h"
#include "ui/window/dialog_units.h"
#include "ui/window/filter_library.h"
#include "ui/window/handler_dispatch.h"
#include "ui/window/message_boxes.h"
#include "ui/window/port_combo.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra {
namespace {

using test::ModalCatcher;

// A read-out over a group box, as in the window's device box. Only one of two such windows can
// be active, so the read-out never takes the focus.
struct ReadoutPanel {
    struct Edit : QLineEdit {
        using QLineEdit::QLineEdit;
        int paints = 0;  // paints that reached the edit itself
        void paintEvent(QPaintEvent* event) override {
            ++paints;
            QLineEdit::paintEvent(event);
        }
    };
    QWidget window;
    QGroupBox* box = new QGroupBox(QStringLiteral("设备信息"), &window);
    Edit* edit = new Edit(&window);
    ReadoutPanel() {
        window.setFont(CjkFont::Font(CjkFont::kDialogPointSize));
        window.resize(240, 140);
        box->setGeometry(10, 10, 200, 100);
        edit->setGeometry(40, 50, 80, 24);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        window.show();
    }
    // What is on screen, and what a grab of the window gives.
    std::pair<QImage, QImage> Look() {
        return {window.screen()->grabWindow(window.winId()).toImage(), window.grab().toImage()};
    }
};

// Sets `text` in both read-outs and lets them repaint.
void ShowInBoth(ReadoutPanel& cached, ReadoutPanel& plain, const QString& text) {
    cached.edit->setText(text);
    plain.edit->setText(text);
    QApplication::processEvents();
    QApplication::processEvents();
}

// A read-out over a group box changes many times a second. The box is painted once, and its
// copy must look exactly like the box painted afresh, before and after its title changes.
TEST(GroupBoxPaintCacheTest, ReadOutChangesDoNotRepaintTheBoxAndItLooksTheSame) {
    ReadoutPanel cached;
    ReadoutPanel plain;
    const auto* cache = new GroupBoxPaintCache(cached.box, {cached.edit});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cached.window));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain.window));
    for (int interval = 15; interval < 25; ++interval)
        ShowInBoth(cached, plain, QString::number(interval));
    EXPECT_EQ(cache->Renders(), 1);
    EXPECT_EQ(cached.Look(), plain.Look());

    cached.box->setTitle(QStringLiteral("采样波形[传感器_14]"));
    plain.box->setTitle(QStringLiteral("采样波形[传感器_14]"));
    cached.box->setEnabled(false);
    plain.box->setEnabled(false);
    QApplication::processEvents();
    ShowInBoth(cached, plain, QStringLiteral("25"));
    EXPECT_EQ(cache->Renders(), 2);
    EXPECT_EQ(cached.Look(), plain.Look());
}

// The interval read-out jitters between a few values. Once each has been shown, a change costs
// the edit no paint of its own, and the window must look exactly as without the copies.
TEST(ReadoutEditPaintCacheTest, RepeatedTextsAreCopiesThatLookTheSame) {
    ReadoutPanel cached;
    ReadoutPanel plain;
    new GroupBoxPaintCache(cached.box, {cached.edit});
    new ReadoutEditPaintCache(cached.edit);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cached.window));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain.window));
    const std::vector<int> texts{20, 19, 21, 20, 21, 19, 20};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i == 3) cached.edit->paints = 0;  // each value has been shown once
        ShowInBoth(cached, plain, QString::number(texts[i]));
        EXPECT_EQ(cached.Look(), plain.Look()) << texts[i];
    }
    EXPECT_EQ(cached.edit->paints, 0);
}

// The window's read-outs skip text shaping. Every text they show must look as it does shaped.
TEST(ReadoutEditPaintCacheTest, ReadoutTextsLookTheSameUnshaped) {
    ReadoutPanel unshaped;
    ReadoutPanel shaped;
    QFont font;
    font.setStyleStrategy(QFont::PreferNoShaping);
    unshaped.edit->setFont(font);
    QStringList texts{QStringLiteral("--"), QStringLiteral("4294967295")};
    for (int value = 0; value < 256; ++value) texts << QString::number(value);
    for (int level = 0; level <= 100; ++level) texts << QStringLiteral("%1%").arg(level);
    for (const QString& text : texts) {
        unshaped.edit->setText(text);
        shaped.edit->setText(text);
        ASSERT_EQ(unshaped.edit->grab().toImage(), shaped.edit->grab().toImage())
            << text.toStdString();
    }
}

TEST(FilterLibraryTest, LoadsTheEntryPointByThePlainName) {
    FilterLibrary library;
    const SampleFilterFn filter = library.Load();
    ASSERT_NE(filter, nullptr) << "the suite puts a stand-in QXFilter on the library path";
    EXPECT_EQ(filter(5), 1005);
    EXPECT_EQ(library.Load(), filter);  // resolved once
    library.Unload();
    EXPECT_EQ(library.Entry(), nullptr);
}

TEST(FilterLibraryTest, MissingLibraryOrEntryPointLeavesNoFilter) {
    FilterLibrary missing(QStringLiteral("QXFilterThatIsNotThere"));
    EXPECT_EQ(missing.Load(), nullptr);
    FilterLibrary noEntry(QStringLiteral("QXFilterNoEntry"));
    EXPECT_EQ(noEntry.Load(), nullptr);
    EXPECT_EQ(noEntry.Entry(), nullptr);
}

TEST(FilterLibraryTest, TheCurrentFolderIsNotSearched) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows searches the current folder unless the program opts out at start";
#endif
    // A copy of the stand-in under a name found nowhere but in the current folder.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString original = QStringLiteral(SPHYRA_TEST_FILTER_FILE);
    const QString copy = dir.filePath(QFileInfo(original).fileName().replace(
        QStringLiteral("QXFilter"), QStringLiteral("QXFilterHere")));
    ASSERT_TRUE(QFile::copy(original, copy));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    FilterLibrary library(QStringLiteral("QXFilterHere"));
    const SampleFilterFn filter = library.Load();
    QDir::setCurrent(previous);
    EXPECT_EQ(filter, nullptr);
    // Not for want of a usable file: named by its path, it loads.
    QLibrary byPath(copy);
    EXPECT_TRUE(byPath.load());
    byPath.unload();
}

TEST(HandlerDispatchTest, AnEscapingErrorIsShownWithAStopIconAndEndsTheHandler) {
    QWidget owner;
    HandlerDispatch dispatch(&owner);
    ModalCatcher catcher;
    bool rest = false;
    EXPECT_FALSE(dispatch.Run([&] {
        throw CommError("设备不存在");
        rest = true;
    }));
    EXPECT_FALSE(rest);
    EXPECT_FALSE(dispatch.Run([] { throw std::runtime_error("other failure"); }));
    EXPECT_TRUE(dispatch.Run([&] { rest = true; }));
    EXPECT_TRUE(rest);

    ASSERT_EQ(catcher.Boxes().size(), 2U);
    EXPECT_EQ(catcher.Boxes()[0].text, QStringLiteral("设备不存在"));
    EXPECT_EQ(catcher.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(catcher.Boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(catcher.Boxes()[1].text, QStringLiteral("other failure"));
}

TEST(PortComboTest, RelabelsWhenTheListOpensAndKeepsTheSelection) {
    PortCombo combo;
    ASSERT_EQ(combo.count(), 16);
    EXPECT_EQ(combo.itemText(15), QStringLiteral("COM16"));
    QString device = QStringLiteral("ttyUSB0");
    int asked = 0;
    combo.SetLabelSource([&] {
        ++asked;
        return QStringList{QStringLiteral("COM1 (%1)").arg(device)};
    });
    combo.setCurrentIndex(0);
    // Listing the devices is slow: not before the list opens.
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(combo.itemText(0), QStringLiteral("COM1"));

    combo.RefreshLabels();
    EXPECT_EQ(combo.itemText(0), QStringLiteral("COM1 (ttyUSB0)"));
    EXPECT_EQ(combo.itemText(1), QStringLiteral("COM2"));

    device = QStringLiteral("ttyUSB1");
    combo.show();
    combo.showPopup();
    combo.hidePopup();
    EXPECT_EQ(combo.itemText(0), QStringLiteral("COM1 (ttyUSB1)"));
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST(AppIconTest, TheWindowIconGivesAnOrdinaryIconsPixmapsButKeepsNoneOfThem) {
    const QIcon icon = AppIcon::Window();
    const QIcon ordinary(QPixmap::fromImage(ReadPng(QStringLiteral(":/sphyra/icon_128.png"))));
    ASSERT_FALSE(ordinary.isNull());
    EXPECT_EQ(icon.availableSizes(), ordinary.availableSizes());
    for (const QSize size : {QSize(256, 256), QSize(32, 32), QSize(48, 24)}) {
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
            const QPixmap pixmap = icon.pixmap(size, 1.0, mode);
            EXPECT_EQ(pixmap.toImage(), ordinary.pixmap(size, 1.0, mode).toImage())
                << size.width() << "x" << size.height() << " mode " << mode;
        }
    }
    // The window's icon is held as long as the window lives; its pixels need not be.
    EXPECT_TRUE(icon.pixmap(QSize(256, 256), 1.0).isDetached());
}

TEST(AboutDlgTest, LaysOutTheProductLineIconAndOkButton) {
    CAboutDlg about;
    const DialogUnits units(CjkFont::Font(CjkFont::kAboutPointSize));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Sphyra"));
    EXPECT_EQ(about.size(), units.Size(224, 96));
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), units.Rect(167, 7, 50, 14));
    auto* icon = about.findChild<QLabel*>(QStringLiteral("icon128"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry().topLeft(), units.Rect(11, 17, 20, 20).topLeft());
    EXPECT_FALSE(icon->pixmap().isNull());

    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>())
        if (!label->text().isEmpty()) texts << label->text();
    EXPECT_EQ(texts, CAboutDlg::Lines());
    ASSERT_EQ(texts.size(), 5);
    EXPECT_EQ(texts[0], QStringLiteral("Sphyra 1.0 版"));
    EXPECT_TRUE(texts[1].contains(QLatin1String(CSphyraApp::kProductVersion)));
    EXPECT_TRUE(texts[4].contains(QLatin1String(qVersion())));
    for (const QLabel* label : about.findChildren<QLabel*>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

TEST(AboutDlgTest, OkAndEscapeCloseIt) {
    CAboutDlg about;
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);
    about.show();
    about.findChild<QPushButton*>(QStringLiteral("1"))->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(InterfaceLanguageTest, QtsButtonsReadChineseAndEnglishTranslatesTheWindow) {
    InterfaceLanguage language;
    ASSERT_TRUE(language.Install(InterfaceLanguage::Language::Chinese));
    QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

    ASSERT_TRUE(language.Install(InterfaceLanguage::Language::English));
    QTemporaryDir dir;
    CSensorMonitorDlg window(dir.filePath(QStringLiteral("sphyra.ini")).toStdString());
    EXPECT_EQ(window.Controls().openClose->text(), QStringLiteral("Open"));
    const std::vector<std::uint8_t> frame = EncodeFrame(5, 3, 90, std::vector<std::uint8_t>{1, 2});
    window.Acquisition().Receive(frame.data(), frame.size());
    EXPECT_EQ(window.Controls().list->item(0)->text(), QStringLiteral("Sensor 5\n[90%] --"));
    EXPECT_EQ(window.Controls().waveGroup->title(), QStringLiteral("Waveform [sensor 5]"));
    // The port layer's fixed notices are translated line by line; the rest stays as it came.
    EXPECT_EQ(MessageBoxes::Translate("/dev/ttyS9: 拒绝访问\n通信端口打开失败!"),
              QStringLiteral("/dev/ttyS9: 拒绝访问\nThe port could not be opened!"));
}

TEST(InterfaceLanguageTest, TheLanguageOptionIsCheckedAndTheChoiceRemembered) {
    CSphyraApp app;
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "--lang", "fr"}), 2);
    EXPECT_FALSE(app.ParseCommandLine({"sphyra", "--lang", "en"}).has_value());
    EXPECT_EQ(app.GetOptions().language, InterfaceLanguage::Language::English);

    QTemporaryDir dir;
    const std::filesystem::path settings = dir.filePath(QStringLiteral("a.ini")).toStdString();
    EXPECT_EQ(InterfaceLanguage::Read(settings), InterfaceLanguage::Language::Chinese);
    ASSERT_TRUE(InterfaceLanguage::Remember(settings, InterfaceLanguage::Language::English));
    EXPECT_EQ(InterfaceLanguage::Read(settings), InterfaceLanguage::Language::English);
}

TEST(SphyraAppTest, SettingsFileComesFromTheOptionOrTheProgramPath) {
    CSphyraApp app;
    EXPECT_FALSE(app.ParseCommandLine({"C:/tools/sphyra.exe"}).has_value());
    EXPECT_EQ(app.GetOptions().settingsPath, std::filesystem::path("C:/tools/sphyra.ini"));
    EXPECT_FALSE(app.GetOptions().demo);

    EXPECT_FALSE(app.ParseCommandLine({"sphyra", "--demo"}));
    EXPECT_TRUE(app.GetOptions().demo);

    // The name's bytes as given: "中文" in GBK is not UTF-8 and must not be decoded on the way.
    const std::string gbk = "/tmp/\xD6\xD0\xCE\xC4.ini";
    std::vector<std::string> words = {"sphyra", "--open", "--settings", gbk};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    EXPECT_FALSE(app.ParseCommandLine(static_cast<int>(argv.size()), argv.data()));
    EXPECT_EQ(app.GetOptions().settingsPath.native(), gbk);
    EXPECT_TRUE(app.GetOptions().open);

    // The demo keeps its own file; asking for another is refused rather than ignored.
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "--settings", "/tmp/a.ini", "--demo"}), 2);
}

TEST(SphyraAppTest, InformationalAndBadOptionsEndTheProgram) {
    CSphyraApp app;
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "--version"}), 0);
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "--help"}), 0);
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "--bogus"}), 2);
    EXPECT_EQ(app.ParseCommandLine({"sphyra", "stray"}), 2);
    const QString version = CSphyraApp::VersionText(QStringLiteral("sphyra"));
    EXPECT_TRUE(version.contains(QStringLiteral("1.0.0.1")));
    EXPECT_TRUE(version.contains(QStringLiteral("2009.2.16.1")));
}

}  // namespace
}  // namespace sphyra
