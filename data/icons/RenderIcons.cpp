// Paints the application icon's PNG sizes from the status item's own drawing, so the
// icon in the application menu is the symbol the status area shows.
//   halcyra_render_icons <hicolor folder> <size>...
// writes <hicolor folder>/<size>x<size>/apps/com.halcyra.Halcyra.png for each size.
#include "app/StatusItem.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    // Painting needs no screen; the build may run where there is none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s <hicolor folder> <size>...\n", argv[0]);
        return 2;
    }
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "not a size: %s\n", qPrintable(args[i]));
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args[1]).arg(size);
        const QString file = dir + QStringLiteral("/com.halcyra.Halcyra.png");
        if (!QDir().mkpath(dir) ||
            !StatusItem::symbolPixmap(size, StatusItem::enabledColor()).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
