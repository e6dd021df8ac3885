#include "resources/Resources.h"

#include <QImage>
#include <QPixmap>

// The resource compiler's registration function lives in the global namespace.
static void RegisterCompiledResources() {
    Q_INIT_RESOURCE(zor_resources);
}

namespace zor {

void InitResources() {
    static const bool registered = [] {
        RegisterCompiledResources();
        return true;
    }();
    (void)registered;
}

QString BitmapResourcePath(int id) {
    return QStringLiteral(":/bitmaps/%1.png").arg(id);
}

QString CursorResourcePath(int id) {
    return QStringLiteral(":/cursors/%1.png").arg(id);
}

QCursor LoadCursorResource(int id) {
    InitResources();
    const QImage image(CursorResourcePath(id));
    if (image.isNull())
        return QCursor(Qt::ArrowCursor);
    // The renderer stores the hot spot as "x,y"; the centre is the fallback for a picture without
    // it.
    int x = image.width() / 2;
    int y = image.height() / 2;
    const QStringList parts = image.text(QStringLiteral("HotSpot")).split(QLatin1Char(','));
    if (parts.size() == 2) {
        bool okX = false, okY = false;
        const int hx = parts[0].toInt(&okX);
        const int hy = parts[1].toInt(&okY);
        if (okX && okY && hx >= 0 && hy >= 0 && hx < image.width() && hy < image.height()) {
            x = hx;
            y = hy;
        }
    }
    return QCursor(QPixmap::fromImage(image), x, y);
}

QIcon ApplicationIcon() {
    InitResources();
    QIcon icon;
    for (const char* name :
         {":/icons/128-16.png", ":/icons/128-32.png", ":/icons/128-48.png", ":/icons/128.png"})
        icon.addFile(QString::fromLatin1(name));
    return icon;
}

}  // namespace zor
