#include "tools/render_art/Manifest.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace zor::render_art {
namespace {

constexpr int kMaxSide = 4096;
const QString kResourcePrefix = QStringLiteral(":/");
const QString kInstallPrefix = QStringLiteral("InstallDir/");

bool ParseKind(const QString& word, ArtKind& kind) {
    if (word == QLatin1String("button"))
        kind = ArtKind::Button;
    else if (word == QLatin1String("cursor"))
        kind = ArtKind::Cursor;
    else if (word == QLatin1String("icon"))
        kind = ArtKind::Icon;
    else if (word == QLatin1String("picture"))
        kind = ArtKind::Picture;
    else
        return false;
    return true;
}

bool ParseSize(const QString& word, QSize& size) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,4})x([0-9]{1,4})$"));
    const auto m = re.match(word);
    if (!m.hasMatch())
        return false;
    const int w = m.captured(1).toInt();
    const int h = m.captured(2).toInt();
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
        return false;
    size = QSize(w, h);
    return true;
}

bool ParsePoint(const QString& text, QPoint& point) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,4}),([0-9]{1,4})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    point = QPoint(m.captured(1).toInt(), m.captured(2).toInt());
    return true;
}

bool ParseOption(const QString& word, ArtItem& item, QString& why) {
    const qsizetype eq = word.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        why = QStringLiteral("option without '=': ") + word;
        return false;
    }
    const QString key = word.left(eq);
    const QString value = word.mid(eq + 1);
    if (key == QLatin1String("matte")) {
        static const QRegularExpression hex(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
        if (!hex.match(value).hasMatch()) {
            why = QStringLiteral("matte must be #RRGGBB: ") + value;
            return false;
        }
        item.matte = QColor(value);
        return true;
    }
    if (key == QLatin1String("hotspot")) {
        if (!ParsePoint(value, item.hotSpot)) {
            why = QStringLiteral("hotspot must be x,y: ") + value;
            return false;
        }
        item.hasHotSpot = true;
        return true;
    }
    why = QStringLiteral("unknown option: ") + key;
    return false;
}

bool CheckOutput(const ArtItem& item, QString& why) {
    const QString& out = item.output;
    const bool toResource = out.startsWith(kResourcePrefix);
    if (!toResource && !out.startsWith(kInstallPrefix)) {
        why = QStringLiteral("output must start with \":/\" or \"InstallDir/\": ") + out;
        return false;
    }
    if (out.contains(QLatin1String("..")) || out.contains(QLatin1Char('\\'))) {
        why = QStringLiteral("output must not contain \"..\" or backslashes: ") + out;
        return false;
    }
    const QString lower = out.toLower();
    const bool png = lower.endsWith(QLatin1String(".png"));
    const bool flat =
        lower.endsWith(QLatin1String(".bmp")) || lower.endsWith(QLatin1String(".jpg"));
    if (item.kind == ArtKind::Picture ? !flat : !png) {
        why = item.kind == ArtKind::Picture
                  ? QStringLiteral("a picture must be .bmp or .jpg: ") + out
                  : QStringLiteral("this kind must be .png: ") + out;
        return false;
    }
    if (item.kind == ArtKind::Cursor && !item.hasHotSpot) {
        why = QStringLiteral("a cursor needs hotspot=x,y");
        return false;
    }
    if (item.hasHotSpot &&
        (item.hotSpot.x() >= item.size.width() || item.hotSpot.y() >= item.size.height())) {
        why = QStringLiteral("hotspot lies outside the picture");
        return false;
    }
    return true;
}

bool ParseLine(const QString& line, ArtItem& item, QString& why) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
    if (words.size() < 4) {
        why = QStringLiteral("expected: kind source output WxH [options]");
        return false;
    }
    if (!ParseKind(words[0], item.kind)) {
        why = QStringLiteral("unknown kind: ") + words[0];
        return false;
    }
    item.source = words[1];
    if (!item.source.endsWith(QLatin1String(".svg")) || item.source.contains(QLatin1Char('/'))) {
        why = QStringLiteral("source must be a plain .svg file name: ") + item.source;
        return false;
    }
    item.output = words[2];
    if (!ParseSize(words[3], item.size)) {
        why = QStringLiteral("size must be WxH between 1 and 4096: ") + words[3];
        return false;
    }
    item.matte = item.kind == ArtKind::Picture ? QColor(Qt::white) : QColor::fromRgb(kKeyColour);
    for (qsizetype i = 4; i < words.size(); ++i) {
        if (!ParseOption(words[i], item, why))
            return false;
    }
    return CheckOutput(item, why);
}

}  // namespace

ArtTarget ArtItem::Target() const {
    return output.startsWith(kResourcePrefix) ? ArtTarget::QtResource : ArtTarget::InstallDir;
}

QString ArtItem::RelativePath() const {
    return output.mid(Target() == ArtTarget::QtResource ? kResourcePrefix.size()
                                                        : kInstallPrefix.size());
}

bool ParseManifest(const QString& text, std::vector<ArtItem>& items, QString& error) {
    items.clear();
    QSet<QString> outputs;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        ArtItem item;
        item.lineNumber = static_cast<int>(i + 1);
        QString why;
        if (!ParseLine(line, item, why)) {
            error = QStringLiteral("line %1: %2").arg(item.lineNumber).arg(why);
            return false;
        }
        if (outputs.contains(item.output)) {
            error = QStringLiteral("line %1: output listed twice: %2")
                        .arg(item.lineNumber)
                        .arg(item.output);
            return false;
        }
        outputs.insert(item.output);
        items.push_back(item);
    }
    if (items.empty()) {
        error = QStringLiteral("the manifest lists no artwork");
        return false;
    }
    return true;
}

bool LoadManifest(const QString& path, std::vector<ArtItem>& items, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read manifest %1: %2").arg(path, file.errorString());
        return false;
    }
    return ParseManifest(QString::fromUtf8(file.readAll()), items, error);
}

}  // namespace zor::render_art
