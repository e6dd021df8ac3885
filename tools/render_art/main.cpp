// Renders the program's artwork from its SVG sources, builds the contact sheet and the quick
// start guide. Runs headless at build time.
//
//   zor_render_art render --manifest M --art DIR --resources DIR --install DIR --qrc FILE
//   zor_render_art sheet  --manifest M --art DIR --output FILE.png
//   zor_render_art guide  --html FILE --images DIR [--images DIR ...] --output FILE.pdf

#include <QGuiApplication>
#include <QHash>
#include <cstdio>
#include <cstdlib>

#include "tools/render_art/ContactSheet.h"
#include "tools/render_art/GuidePdf.h"
#include "tools/render_art/Rasterise.h"

namespace {

using namespace zor::render_art;

struct Args {
    QString command;
    QHash<QString, QStringList> options;
    QString One(const char* key) const { return options.value(QString::fromLatin1(key)).value(0); }
};

bool ParseArgs(const QStringList& argv, Args& args, QString& error) {
    if (argv.size() < 2) {
        error = QStringLiteral("usage: zor_render_art render|sheet|guide --option value ...");
        return false;
    }
    args.command = argv[1];
    for (qsizetype i = 2; i < argv.size(); i += 2) {
        if (!argv[i].startsWith(QLatin1String("--")) || i + 1 >= argv.size()) {
            error = QStringLiteral("expected --option value at: ") + argv[i];
            return false;
        }
        args.options[argv[i].mid(2)] << argv[i + 1];
    }
    return true;
}

bool Require(const Args& args, std::initializer_list<const char*> keys, QString& error) {
    for (const char* key : keys) {
        if (args.One(key).isEmpty()) {
            error = QStringLiteral("missing --") + QString::fromLatin1(key);
            return false;
        }
    }
    return true;
}

bool RunRender(const Args& args, QString& error) {
    if (!Require(args, {"manifest", "art", "resources", "install", "qrc"}, error))
        return false;
    std::vector<ArtItem> items;
    if (!LoadManifest(args.One("manifest"), items, error))
        return false;
    const OutputRoots roots{args.One("resources"), args.One("install")};
    for (const ArtItem& item : items) {
        if (!WriteItem(item, args.One("art"), roots, error)) {
            error = QStringLiteral("%1 (manifest line %2)").arg(error).arg(item.lineNumber);
            return false;
        }
    }
    return WriteFileBytes(args.One("qrc"), QrcText(items).toUtf8(), error);
}

bool RunSheet(const Args& args, QString& error) {
    if (!Require(args, {"manifest", "art", "output"}, error))
        return false;
    std::vector<ArtItem> items;
    if (!LoadManifest(args.One("manifest"), items, error))
        return false;
    const QImage sheet = BuildContactSheet(items, args.One("art"), error);
    if (sheet.isNull())
        return false;
    if (!sheet.save(args.One("output"), "PNG")) {
        error = QStringLiteral("cannot write ") + args.One("output");
        return false;
    }
    return true;
}

bool RunGuide(const Args& args, QString& error) {
    if (!Require(args, {"html", "images", "output"}, error))
        return false;
    return RenderGuidePdf(args.One("html"), args.options.value(QStringLiteral("images")),
                          args.One("output"), QStringLiteral("Talvern DTS - Quick Start Guide"),
                          error);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Args args;
    QString error;
    bool ok = ParseArgs(QCoreApplication::arguments(), args, error);
    if (ok) {
        if (args.command == QLatin1String("render"))
            ok = RunRender(args, error);
        else if (args.command == QLatin1String("sheet"))
            ok = RunSheet(args, error);
        else if (args.command == QLatin1String("guide"))
            ok = RunGuide(args, error);
        else {
            error = QStringLiteral("unknown command: ") + args.command;
            ok = false;
        }
    }
    if (!ok) {
        std::fprintf(stderr, "zor_render_art: %s\n", qPrintable(error));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
