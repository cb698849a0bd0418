// What `make install` and `make package` put down, read the way the desktop's tools
// read it: validators on the installed files, the icon sizes, the package's contents.
#include "app/StatusItem.h"
#include "platform/linux/LinuxServiceModule.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QString appId = QStringLiteral("com.halcyra.Halcyra");
const QList<int> pngSizes{16, 22, 24, 32, 48, 64, 128, 256};

struct ToolRun {
    int status = -1;
    QString output;
};

// A make that started this test must not hand its job server (or its DESTDIR) down.
ToolRun run(const QString& program, const QStringList& args, const QString& destDir = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"MAKEFLAGS", "MFLAGS", "MAKELEVEL", "DESTDIR", "PREFIX"})
        env.remove(QLatin1String(name));
    if (!destDir.isEmpty()) env.insert(QStringLiteral("DESTDIR"), destDir);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("%1 did not finish").arg(program)};
    }
    const int status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return {status, QString::fromUtf8(p.readAll())};
}

// The project's own make targets, as a user runs them.
ToolRun make(const QStringList& args) {
    return run(QStringLiteral("make"), QStringList{QStringLiteral("-s"), QStringLiteral("-C"),
                                                   QStringLiteral(HALCYRA_SOURCE_DIR)} +
                                           args);
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The files the install is expected to hold, relative to the prefix.
QStringList expectedFiles() {
    QStringList files{QStringLiteral("bin/halcyra"),
                      QStringLiteral("share/applications/%1.desktop").arg(appId),
                      QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId),
                      QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(appId),
                      QStringLiteral("share/halcyra/welcome-bg.jpg"),
                      QStringLiteral("share/halcyra/halcyra-logo.png")};
    for (int size : pngSizes)
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId);
    // The services opened on first use, where the binary looks for them.
    for (const char* part : {"sound", "capture", "gnome", "location", "network"})
        files << QStringLiteral("lib/halcyra/libhalcyra-%1.so").arg(QLatin1String(part));
    return files;
}

struct InstalledTree : ::testing::Test {
    QTemporaryDir root;
    QString prefix;
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        prefix = root.path() + QStringLiteral("/usr");
        const ToolRun install = run(QStringLiteral("cmake"),
                                    {QStringLiteral("--install"), QStringLiteral(HALCYRA_BUILD_DIR),
                                     QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                    root.path());
        ASSERT_EQ(install.status, 0) << install.output.toStdString();
    }
};

TEST_F(InstalledTree, EveryFileLandsUnderTheDestDirAndPassesTheDesktopValidators) {
    for (const QString& file : expectedFiles())
        EXPECT_TRUE(QFileInfo(prefix + QLatin1Char('/') + file).isFile()) << file.toStdString();
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/bin/halcyra")).isExecutable());
    // The installed binary finds its service modules, and each makes its own backend.
    using Part = ServiceModule::Part;
    const QString bin = prefix + QStringLiteral("/bin");
    ServiceModule* sound = LinuxServiceModule::open(Part::sound, bin);
    ASSERT_TRUE(sound);
    EXPECT_TRUE(sound->makeOutputMuteProbe());
    EXPECT_FALSE(sound->makeScreenCaptureProbe()) << "another module's service";
    ServiceModule* capture = LinuxServiceModule::open(Part::capture, bin);
    ASSERT_TRUE(capture);
    EXPECT_TRUE(capture->makeScreenCaptureProbe());
    ServiceModule* gnome = LinuxServiceModule::open(Part::gnome, bin);
    ASSERT_TRUE(gnome);
    EXPECT_TRUE(gnome->makeGnomeNightLightSetting());
    EXPECT_TRUE(LinuxServiceModule::open(Part::location, bin));
    ServiceModule* network = LinuxServiceModule::open(Part::network, bin);
    ASSERT_TRUE(network);
    EXPECT_TRUE(network->makeHttpClient());
    EXPECT_FALSE(LinuxServiceModule::open(Part::sound, root.path())) << "nothing there";
    // Nothing outside the prefix: DESTDIR holds exactly the tree under /usr.
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("usr")});

    const QString desktop = prefix + QStringLiteral("/share/applications/%1.desktop").arg(appId);
    const ToolRun desktopCheck = run(QStringLiteral("desktop-file-validate"), {desktop});
    EXPECT_EQ(desktopCheck.status, 0) << desktopCheck.output.toStdString();
    EXPECT_FALSE(desktopCheck.output.contains(QStringLiteral("error")))
        << desktopCheck.output.toStdString();
    const QString entry = readText(desktop);
    for (const char* line :
         {"Exec=halcyra\n", "Icon=com.halcyra.Halcyra\n", "Categories=Utility;\n",
          "StartupNotify=false\n", "Type=Application\n", "Name=Halcyra\n"})
        EXPECT_TRUE(entry.contains(QLatin1String(line))) << line;
    const QRegularExpressionMatch keywords =
        QRegularExpression(QStringLiteral("^Keywords=(.*)$"), QRegularExpression::MultilineOption)
            .match(entry);
    ASSERT_TRUE(keywords.hasMatch());
    const QStringList words = keywords.captured(1).split(QLatin1Char(';'));
    for (const char* word : {"warmth", "night", "blue light"})
        EXPECT_TRUE(words.contains(QLatin1String(word))) << word;

    const QString metainfo = prefix + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(appId);
    const ToolRun appstream =
        run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                             QStringLiteral("--no-color"), metainfo});
    EXPECT_EQ(appstream.status, 0) << appstream.output.toStdString();
    const QString info = readText(metainfo);
    EXPECT_TRUE(info.contains(QStringLiteral("<release version=\"%1\"").arg(HALCYRA_VERSION)))
        << "the release entry names the version being installed";
    EXPECT_TRUE(info.contains(
        QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>").arg(appId)));
    EXPECT_TRUE(info.contains(QStringLiteral("<content_rating type=\"oars-1.1\"")));
    // What a software store shows beside the name.
    for (const char* tag : {"<project_license>", "<url type=\"homepage\">", "<developer_name>"})
        EXPECT_TRUE(info.contains(QLatin1String(tag))) << tag;
    const ToolRun explained =
        run(QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--explain"), QStringLiteral("--no-net"),
             QStringLiteral("--no-color"), QStringLiteral("--pedantic"), metainfo});
    for (const char* hint : {"license", "url", "developer"})
        EXPECT_FALSE(explained.output.contains(QLatin1String(hint)))
            << explained.output.toStdString();
}

TEST_F(InstalledTree, IconsAreTheStatusSymbolAtEverySize) {
    const QColor sun = StatusItem::enabledColor();
    for (int size : pngSizes) {
        SCOPED_TRACE(size);
        const QImage png(
            prefix + QStringLiteral("/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId));
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.size(), QSize(size, size));
        EXPECT_TRUE(png.hasAlphaChannel());
        // The disc in the middle in the sun's colour, the corners clear.
        EXPECT_EQ(png.pixelColor(size / 2, size / 2).rgb(), sun.rgb());
        EXPECT_EQ(png.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(png.pixelColor(size - 1, size - 1).alpha(), 0);
        // A ray to the right of the disc (it straddles the middle two rows), a gap
        // between disc and ray.
        const int rayX = int(size * 0.885);
        EXPECT_GE(png.pixelColor(rayX, size / 2 - 1).alpha() +
                      png.pixelColor(rayX, size / 2).alpha(),
                  200);
        EXPECT_LT(png.pixelColor(int(size * 0.76), size / 2).alpha(), 128);
    }

    // The scalable icon is the same drawing: rendered at 64 px it covers the same
    // pixels as the painted PNG, up to the two renderers' edge smoothing.
    const QString svg =
        prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/%1.svg").arg(appId);
    const QString rendered = root.filePath(QStringLiteral("scalable-64.png"));
    const ToolRun convert =
        run(QStringLiteral("convert"),
            {QStringLiteral("-background"), QStringLiteral("none"), QStringLiteral("-density"),
             QStringLiteral("384"), svg, QStringLiteral("-resize"), QStringLiteral("64x64"),
             QStringLiteral("PNG32:") + rendered});
    ASSERT_EQ(convert.status, 0) << convert.output.toStdString();
    const QImage fromSvg = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
    const QImage painted =
        QImage(prefix + QStringLiteral("/share/icons/hicolor/64x64/apps/%1.png").arg(appId))
            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(fromSvg.size(), painted.size());
    // Edge smoothing differs by less than 40 % of coverage; a moved edge by more.
    int coverageMismatches = 0;
    int colourMismatches = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QColor a = fromSvg.pixelColor(x, y);
            const QColor b = painted.pixelColor(x, y);
            if (std::abs(a.alpha() - b.alpha()) > 102) ++coverageMismatches;
            if (a.alpha() == 255 && b.alpha() == 255 && a.rgb() != b.rgb()) ++colourMismatches;
        }
    EXPECT_LE(coverageMismatches, 2);
    EXPECT_EQ(colourMismatches, 0);
}

TEST(MakeInstall, UninstallRemovesWhatTheStagedInstallPutDown) {
    QTemporaryDir root;
    QTemporaryDir lists;
    const QString manifest = lists.filePath(QStringLiteral("installed-files.txt"));
    const QStringList vars{
        QStringLiteral("BUILD_DIR=" HALCYRA_BUILD_DIR), QStringLiteral("PREFIX=/opt/halcyra"),
        QStringLiteral("DESTDIR=") + root.path(), QStringLiteral("INSTALL_MANIFEST=") + manifest};
    const ToolRun install = make(QStringList{QStringLiteral("install")} + vars);
    ASSERT_EQ(install.status, 0) << install.output.toStdString();
    for (const QString& file : expectedFiles())
        EXPECT_TRUE(QFileInfo(root.path() + QStringLiteral("/opt/halcyra/") + file).isFile())
            << file.toStdString();
    // Installed as distributions install it: without the build's debug information.
    const ToolRun kind =
        run(QStringLiteral("file"), {root.path() + QStringLiteral("/opt/halcyra/bin/halcyra")});
    EXPECT_TRUE(kind.output.contains(QStringLiteral(", stripped"))) << kind.output.toStdString();

    // The list names the staged files, not the same paths on this machine.
    const QStringList listed = readText(manifest).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(listed.size(), expectedFiles().size()) << readText(manifest).toStdString();
    for (const QString& file : listed)
        ASSERT_TRUE(file.startsWith(root.path() + QStringLiteral("/opt/halcyra/")))
            << file.toStdString();

    const ToolRun uninstall = make(QStringList{QStringLiteral("uninstall")} + vars);
    EXPECT_EQ(uninstall.status, 0) << uninstall.output.toStdString();
    QStringList left;
    QDirIterator it(root.path(), QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << it.next();
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFile::exists(manifest)) << "the list goes with the files";

    const ToolRun again = make(QStringList{QStringLiteral("uninstall")} + vars);
    EXPECT_NE(again.status, 0) << "nothing listed: said, not a silent success";
    EXPECT_TRUE(again.output.contains(QStringLiteral("Nothing to remove")));
}

TEST(DebianPackage, HoldsTheInstalledTreeAndItsComputedDependencies) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const ToolRun cpack = run(
        QStringLiteral("cpack"),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
         QStringLiteral(HALCYRA_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out.path()});
    ASSERT_EQ(cpack.status, 0) << cpack.output.toStdString();
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("halcyra_*.deb")});
    ASSERT_EQ(debs.size(), 1) << cpack.output.toStdString();
    EXPECT_TRUE(debs.first().startsWith(QStringLiteral("halcyra_%1_").arg(HALCYRA_VERSION)))
        << debs.first().toStdString();
    const QString deb = out.path() + QLatin1Char('/') + debs.first();

    const ToolRun info = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), deb});
    ASSERT_EQ(info.status, 0) << info.output.toStdString();
    auto field = [&](const QString& name) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^ %1: (.*)$").arg(name),
                               QRegularExpression::MultilineOption)
                .match(info.output);
        return m.hasMatch() ? m.captured(1).trimmed() : QString();
    };
    EXPECT_EQ(field(QStringLiteral("Package")), QStringLiteral("halcyra"));
    EXPECT_EQ(field(QStringLiteral("Version")), QStringLiteral(HALCYRA_VERSION));
    EXPECT_FALSE(field(QStringLiteral("Maintainer")).isEmpty());
    // Worked out from the binary's libraries, so Qt's own packages are among them.
    const QString depends = field(QStringLiteral("Depends"));
    EXPECT_TRUE(depends.contains(QStringLiteral("libqt6widgets6"))) << info.output.toStdString();
    EXPECT_TRUE(depends.contains(QStringLiteral("libc6"))) << depends.toStdString();
    // And those of the modules the binary opens later: the sound cues' toolkit.
    EXPECT_TRUE(depends.contains(QStringLiteral("libqt6multimedia6"))) << depends.toStdString();

    const ToolRun contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    ASSERT_EQ(contents.status, 0) << contents.output.toStdString();
    for (const QString& file : expectedFiles())
        EXPECT_TRUE(contents.output.contains(QStringLiteral(" ./usr/") + file + QLatin1Char('\n')))
            << file.toStdString();
    EXPECT_TRUE(contents.output.contains(QRegularExpression(
        QStringLiteral("^-rwxr-xr-x .* ./usr/bin/halcyra$"), QRegularExpression::MultilineOption)));
}

} // namespace
