// Captions given in a text file, matched to the gallery's pictures by name.
#include "gallery/GalleryCaptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "gallery/Gallery.h"

namespace {

QString LineRef(const QString& fileName, int line) {
    return QString("%1:%2: ").arg(fileName).arg(line);
}

bool NamesCell(const TGalleryCell& cell, const QString& name) {
    return QFileInfo(cell.Source).fileName() == name || cell.Name == name ||
           QDir::cleanPath(QFileInfo(name).absoluteFilePath()) == cell.Source;
}

} // namespace

std::vector<TCaptionLine> ReadCaptionsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EGalleryException("Cannot read the captions file " + path + ": " + file.errorString());
    if (file.size() > kMaxCaptionsFileBytes)
        throw EGalleryException("The captions file " + path + " is larger than 16 MB");
    const QByteArray bytes = file.readAll();
    std::vector<TCaptionLine> lines;
    int number = 0;
    for (QByteArray raw : bytes.split('\n')) {
        ++number;
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.trimmed().isEmpty())
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(raw);
        if (utf8.hasError())
            throw EGalleryException(LineRef(path, number) + "not UTF-8 text");
        const qsizetype tab = text.indexOf('\t');
        if (tab <= 0)
            throw EGalleryException(LineRef(path, number) + "no picture name and tab before the caption");
        lines.push_back({number, text.left(tab), text.mid(tab + 1)});
    }
    return lines;
}

QStringList ApplyCaptions(TGallery& gallery, const std::vector<TCaptionLine>& lines,
                          const QString& fileName) {
    QStringList problems;
    for (const TCaptionLine& line : lines) {
        QStringList sources;
        for (int row = 0; row < gallery.Rows(); ++row)
            for (int col = 0; col < gallery.Columns(); ++col) {
                const TGalleryCell& cell = gallery.Cell(col, row);
                if (!cell.IsEmpty() && NamesCell(cell, line.Name) && !sources.contains(cell.Source))
                    sources << cell.Source;
            }
        if (sources.isEmpty()) {
            problems << LineRef(fileName, line.Line) + "no picture named \"" + line.Name +
                            "\" is in the gallery";
            continue;
        }
        if (sources.size() > 1) {
            problems << LineRef(fileName, line.Line) + "\"" + line.Name + "\" names " +
                            QString::number(sources.size()) + " pictures (" + sources.join(", ") +
                            "); give the picture's path instead";
            continue;
        }
        for (int row = 0; row < gallery.Rows(); ++row)
            for (int col = 0; col < gallery.Columns(); ++col)
                if (gallery.Cell(col, row).Source == sources.front())
                    gallery.SetCaption(col, row, line.Caption);
    }
    return problems;
}
