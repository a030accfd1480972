// Captions given in a text file, matched to the gallery's pictures by name.
#include "gallery/GalleryCaptions.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include "common/VlxRegularFile.h"
#include "gallery/Gallery.h"

namespace {

QString LineRef(const QString& fileName, int line) {
    return QString("%1:%2: ").arg(fileName).arg(line);
}

// The file's lines without their ends: LF, CR LF and a lone CR (as old Mac editors write) each end one.
QList<QByteArray> SplitLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (bytes[at] != '\n' && bytes[at] != '\r')
            continue;
        lines << bytes.mid(start, at - start);
        if (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n')
            ++at;
        start = at + 1;
    }
    lines << bytes.mid(start);
    return lines;
}

// Each picture of the gallery under every name a line may give it, and the cells it stands in: one pass
// over the table, so that matching costs one look-up per line however many cells there are.
struct TPictureNames {
    QHash<QString, QStringList> SourcesByName; // file name, published name, path: distinct sources
    QHash<QString, std::vector<std::pair<int, int>>> CellsOf; // source: its cells, column and row

    explicit TPictureNames(const TGallery& gallery) {
        for (int row = 0; row < gallery.Rows(); ++row)
            for (int col = 0; col < gallery.Columns(); ++col) {
                const TGalleryCell& cell = gallery.Cell(col, row);
                if (cell.IsEmpty())
                    continue;
                auto& cells = CellsOf[cell.Source];
                if (cells.empty())
                    for (const QString& name : {QFileInfo(cell.Source).fileName(), cell.Name, cell.Source})
                        Add(name, cell.Source);
                cells.emplace_back(col, row);
            }
    }
    void Add(const QString& name, const QString& source) {
        QStringList& sources = SourcesByName[name];
        if (!sources.contains(source))
            sources << source;
    }
    // The pictures a line's name gives: by file name, published name, or path as typed.
    QStringList Sources(const QString& name) const {
        QStringList sources = SourcesByName.value(name);
        for (const QString& source : SourcesByName.value(QDir::cleanPath(QFileInfo(name).absoluteFilePath())))
            if (!sources.contains(source))
                sources << source;
        return sources;
    }
};

} // namespace

std::vector<TCaptionLine> ReadCaptionsFile(const QString& path) {
    const TReadFile read = ReadRegularFile(path, kMaxCaptionsFileBytes);
    if (!read.Problem.isEmpty())
        throw EGalleryException("Cannot read the captions file " + path + ": " + read.Problem);
    std::vector<TCaptionLine> lines;
    int number = 0;
    for (const QByteArray& raw : SplitLines(read.Bytes)) {
        ++number;
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
    const TPictureNames names(gallery);
    QHash<QString, int> lineOf; // source: the line that gave its caption
    QStringList problems;
    for (const TCaptionLine& line : lines) {
        const QStringList sources = names.Sources(line.Name);
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
        const QString& source = sources.front();
        if (const auto first = lineOf.constFind(source); first != lineOf.cend()) {
            problems << LineRef(fileName, line.Line) + "\"" + line.Name +
                            "\" was given its caption on line " + QString::number(*first) + " already";
            continue;
        }
        lineOf.insert(source, line.Line);
        for (const auto& [col, row] : names.CellsOf.value(source))
            gallery.SetCaption(col, row, line.Caption);
    }
    return problems;
}
