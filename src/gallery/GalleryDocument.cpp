// Gallery files: writing a gallery's cells and settings as JSON, and reading them back with every check.
#include "gallery/GalleryDocument.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include "common/VlxNativePath.h"
#include "common/VlxRegularFile.h"
#include "common/VlxSaveFile.h"
#include "gallery/GalleryDocumentSettings.h"
#include "gallery/GalleryNames.h"
#include "gfx/GfxCaption.h"
#include "html/WebFiles.h"

namespace {

// A new gallery's id is a UUID; one saved from a file written before ids were kept is "file:" and the file's
// path, which may be as long as a path is.
constexpr qsizetype kMaxIdLength = 5 + 4096;

// The texts of a cell the file keeps besides its place and picture; a text field added to TGalleryCell is
// one row here.
struct TCellText {
    const char* Key;
    QString TGalleryCell::*Field;
    bool Required;
};
const TCellText kCellTexts[] = {
    {"name", &TGalleryCell::Name, true},
    {"caption", &TGalleryCell::Caption, false},
};

QString Quoted(const QString& text) {
    return "\"" + text + "\"";
}

[[noreturn]] void Damaged(const QString& fileName, const QString& why) {
    throw EGalleryFileException("The gallery file " + Quoted(fileName) + " is damaged: " + why +
                                ". It was not opened and is left as it is");
}

// Relative to the gallery file's folder when below it; else as it is.
QString StoredPath(const QString& path, const QDir& folder) {
    const QString relative = folder.relativeFilePath(path);
    if (path.isEmpty() || relative.startsWith("../") || relative == ".." || QDir::isAbsolutePath(relative))
        return path;
    return relative;
}

QString FullPath(const QString& stored, const QDir& folder) {
    if (stored.isEmpty() || QDir::isAbsolutePath(stored))
        return stored;
    return QDir::cleanPath(folder.absoluteFilePath(stored));
}

QByteArray ReadFileBytes(const QString& fileName) {
    const TOpenedFile opened = OpenRegularFile(fileName, O_RDONLY, kMaxGalleryFileBytes);
    if (opened.Fd < 0)
        throw EGalleryFileException("Cannot open the gallery file " + Quoted(fileName) + ": " +
                                    opened.Problem);
    QFile file;
    if (!file.open(opened.Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.Fd);
        throw EGalleryFileException("Cannot read the gallery file " + Quoted(fileName) + ": " +
                                    file.errorString());
    }
    const QByteArray bytes = file.read(kMaxGalleryFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxGalleryFileBytes)
        throw EGalleryFileException(
            "Cannot read the gallery file " + Quoted(fileName) + ": " +
            (bytes.size() > kMaxGalleryFileBytes ? "it is too large" : file.errorString()));
    return bytes;
}

// The number of entries of the root object's "cells" list, counted over the bytes before they are parsed and
// only up to one past limit: a file of a million cells is refused without building a million objects. What
// is not JSON counts as it may; the parser says what is wrong with it.
qsizetype CountedCells(const QByteArray& bytes, qsizetype limit) {
    int depth = 0;
    bool inCells = false, expectEntry = false, stringIsCells = false, keyIsCells = false;
    qsizetype count = 0;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        const char c = bytes[at];
        if (inCells && depth == 2 && expectEntry && c != ']' && c != ',' && !QChar::isSpace(uchar(c))) {
            expectEntry = false;
            if (++count > limit)
                return count;
        }
        switch (c) {
        case '"': {
            const qsizetype start = at + 1;
            for (++at; at < bytes.size() && bytes[at] != '"'; ++at)
                if (bytes[at] == '\\')
                    ++at;
            stringIsCells = depth == 1 && bytes.mid(start, at - start) == "cells";
            break;
        }
        case ':':
            if (depth == 1)
                keyIsCells = stringIsCells;
            break;
        case ',':
            expectEntry = inCells && depth == 2;
            break;
        case '[':
        case '{':
            if (depth == 1 && c == '[' && keyIsCells)
                inCells = expectEntry = true;
            ++depth;
            break;
        case ']':
        case '}':
            if (--depth == 1 && inCells)
                return count;
            break;
        default:
            break;
        }
    }
    return count;
}

int WholeNumber(const QJsonValue& value, int fallback = -1) {
    return value.isDouble() && value.toDouble() == double(value.toInt()) ? value.toInt() : fallback;
}

TDocumentCell ReadCell(const QString& fileName, const QJsonValue& value, const TGalleryDocument& document,
                       const QDir& folder) {
    const QJsonObject object = value.toObject();
    TDocumentCell cell;
    cell.Column = WholeNumber(object.value("column"));
    cell.Row = WholeNumber(object.value("row"));
    const QString at =
        QString("cell %1, %2")
            .arg(object.value("column").toVariant().toString(), object.value("row").toVariant().toString());
    if (!value.isObject() || cell.Column < 0 || cell.Row < 0 || cell.Column >= document.Columns ||
        cell.Row >= document.Rows)
        Damaged(fileName, at + " is not a cell of the " +
                              QString("%1 x %2 table").arg(document.Columns).arg(document.Rows));
    const QJsonValue picture = object.value("picture");
    if (!picture.isString() || picture.toString().isEmpty())
        Damaged(fileName, at + " names no picture");
    cell.Cell.Source = FullPath(picture.toString(), folder);
    for (const TCellText& text : kCellTexts) {
        const QJsonValue stored = object.value(text.Key);
        if (stored.isUndefined() && !text.Required)
            continue;
        if (!stored.isString())
            Damaged(fileName, at + " has no text " + Quoted(text.Key));
        cell.Cell.*text.Field = stored.toString();
    }
    // A caption is one line of at most 1,000 characters wherever it comes from.
    cell.Cell.Caption = CaptionText(cell.Cell.Caption);
    if (const QString problem = PublishedNameProblem(cell.Cell.Name, cell.Cell.Source); !problem.isEmpty())
        Damaged(fileName, "the name " + Quoted(cell.Cell.Name) + " of " + at + " " + problem);
    return cell;
}

// No cell twice, and no published file of two different pictures.
void CheckCells(const QString& fileName, const TGalleryDocument& document) {
    QSet<qint64> places;
    QHash<QString, QString> sourceOfFile;
    for (const TDocumentCell& cell : document.Cells) {
        const QString at = QString("cell %1, %2").arg(cell.Column).arg(cell.Row);
        if (places.contains(qint64(cell.Row) * document.Columns + cell.Column))
            Damaged(fileName, at + " is given twice");
        places.insert(qint64(cell.Row) * document.Columns + cell.Column);
        for (const QString& file : PublishedNames(cell.Cell.Name)) {
            const QString key = file.toCaseFolded();
            if (sourceOfFile.contains(key) && sourceOfFile.value(key) != cell.Cell.Source)
                Damaged(fileName, "two pictures would be published as " + Quoted(file));
            sourceOfFile.insert(key, cell.Cell.Source);
        }
    }
}

} // namespace

std::vector<TDocumentCell> TGalleryDocument::MissingCells() const {
    std::vector<TDocumentCell> missing;
    for (const TDocumentCell& cell : Cells)
        if (!QFileInfo(cell.Cell.Source).isFile())
            missing.push_back(cell);
    return missing;
}

TGalleryDocument DocumentOf(const TGallery& gallery) {
    TGalleryDocument document;
    document.Settings = gallery.Settings;
    document.Columns = gallery.Columns();
    document.Rows = gallery.Rows();
    for (int row = 0; row < gallery.Rows(); ++row)
        for (int col = 0; col < gallery.Columns(); ++col)
            if (const TGalleryCell& cell = gallery.Cell(col, row); !cell.IsEmpty())
                document.Cells.push_back({col, row, cell});
    return document;
}

TGallery GalleryOf(const TGalleryDocument& document) {
    TGallery gallery;
    gallery.Settings = document.Settings;
    gallery.SetTableSize(document.Columns, document.Rows);
    for (const TDocumentCell& stored : document.Cells) {
        if (!QFileInfo(stored.Cell.Source).isFile())
            continue; // not published until found
        TGalleryCell cell = stored.Cell;
        cell.RealPath = CanonicalPath(cell.Source);
        gallery.SetCell(stored.Column, stored.Row, std::move(cell));
    }
    return gallery;
}

QByteArray GalleryFileBytes(const TGalleryDocument& document, const QString& fileName) {
    const QDir folder = QFileInfo(fileName).absoluteDir();
    QJsonArray cells;
    for (const TDocumentCell& cell : document.Cells) {
        QJsonObject object{
            {"column", cell.Column}, {"row", cell.Row}, {"picture", StoredPath(cell.Cell.Source, folder)}};
        for (const TCellText& text : kCellTexts)
            if (text.Required || !(cell.Cell.*text.Field).isEmpty())
                object.insert(text.Key, cell.Cell.*text.Field);
        cells.append(object);
    }
    QJsonObject settings = SettingsToJson(document.Settings);
    if (QJsonObject background = settings.value("background").toObject(); background.contains("file")) {
        background.insert("file", StoredPath(background.value("file").toString(), folder));
        settings.insert("background", background);
    }
    QJsonObject root{{"format", kGalleryFormat},
                     {"version", kGalleryFileVersion},
                     {"profile", document.Settings.ProfileName},
                     {"table", QJsonObject{{"columns", document.Columns}, {"rows", document.Rows}}},
                     {"cells", cells},
                     {"settings", settings}};
    if (!document.Id.isEmpty())
        root.insert("id", document.Id);
    if (!document.OutputDir.isEmpty())
        root.insert("outputFolder", StoredPath(QDir::cleanPath(document.OutputDir), folder));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

TGalleryDocument ReadGalleryFile(const QString& fileName) {
    if (!QFileInfo::exists(fileName) && !QFileInfo(fileName).isSymLink())
        throw EGalleryFileException("Gallery file " + Quoted(fileName) + " not found");
    const QByteArray bytes = ReadFileBytes(fileName);
    const TSettingRange columns = SettingRange(TSetting::Columns);
    const TSettingRange rows = SettingRange(TSetting::Rows);
    const qsizetype mostCells = qsizetype(columns.Max) * rows.Max;
    if (CountedCells(bytes, mostCells) > mostCells)
        Damaged(fileName,
                QString("it holds more than %1 cells, more than the largest table has").arg(mostCells));
    QJsonParseError parse{};
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        Damaged(fileName, "it is not valid JSON (" + parse.errorString() + " at byte " +
                              QString::number(parse.offset) + ")");
    const QJsonObject root = json.object();
    if (!json.isObject() || root.value("format").toString() != kGalleryFormat)
        Damaged(fileName, "it is not a Veltrix gallery (no \"format\": \"veltrix-gallery\")");
    const int version = WholeNumber(root.value("version"), 0);
    if (version < 1)
        Damaged(fileName, "it has no version number");
    if (version > kGalleryFileVersion)
        throw EGalleryFileException(
            QString(
                "The gallery file %1 was written by a newer version of Veltrix (gallery file version %2); "
                "this version reads version %3. It was not opened and is left as it is")
                .arg(Quoted(fileName))
                .arg(version)
                .arg(kGalleryFileVersion));
    TGalleryDocument document;
    QString problem;
    document.Settings = SettingsFromJson(root.value("settings").toObject(), problem);
    if (!problem.isEmpty())
        Damaged(fileName, problem);
    const QDir folder = QFileInfo(fileName).absoluteDir();
    document.Settings.Background.File = FullPath(document.Settings.Background.File, folder);
    const QJsonValue profile = root.value("profile");
    if (profile.isString())
        document.Settings.ProfileName = profile.toString();
    const QJsonObject table = root.value("table").toObject();
    document.Columns = WholeNumber(table.value("columns"));
    document.Rows = WholeNumber(table.value("rows"));
    if (!columns.Contains(document.Columns) || !rows.Contains(document.Rows))
        Damaged(fileName, QString("its table size is not %1 to %2 columns by %3 to %4 rows")
                              .arg(columns.Min)
                              .arg(columns.Max)
                              .arg(rows.Min)
                              .arg(rows.Max));
    document.Settings.Page.Columns = document.Columns;
    document.Settings.Page.Rows = document.Rows;
    const QJsonValue id = root.value("id");
    if (!id.isUndefined() &&
        (!id.isString() || id.toString().isEmpty() || id.toString().size() > kMaxIdLength))
        Damaged(fileName, QString("its \"id\" is not a text of 1 to %1 characters").arg(kMaxIdLength));
    document.Id = id.toString();
    const QJsonValue output = root.value("outputFolder");
    if (!output.isUndefined() && (!output.isString() || output.toString().isEmpty()))
        Damaged(fileName, "its \"outputFolder\" is not a folder's path");
    if (output.isString()) {
        document.OutputDir = FullPath(output.toString(), folder);
        if (!document.OutputDir.endsWith('/'))
            document.OutputDir += '/';
    }
    if (!root.value("cells").isArray())
        Damaged(fileName, "it has no list of cells");
    const QJsonArray cells = root.value("cells").toArray();
    if (cells.size() > qsizetype(document.Columns) * document.Rows)
        Damaged(fileName, QString("it holds %1 cells, more than its %2 x %3 table has")
                              .arg(cells.size())
                              .arg(document.Columns)
                              .arg(document.Rows));
    for (const QJsonValue& value : cells)
        document.Cells.push_back(ReadCell(fileName, value, document, folder));
    std::sort(document.Cells.begin(), document.Cells.end(),
              [](const TDocumentCell& a, const TDocumentCell& b) {
                  return std::pair(a.Row, a.Column) < std::pair(b.Row, b.Column);
              });
    CheckCells(fileName, document);
    return document;
}

QStringList ScriptTexts(const TGallerySettings& settings) {
    static const QRegularExpression script(
        R"(<\s*/?\s*(script|iframe|frame|object|embed|form|style|link|meta|base|svg|math)\b|\bon[a-z]+\s*=|)"
        R"((javascript|vbscript|data)\s*:)",
        QRegularExpression::CaseInsensitiveOption);
    const TGfxPageSettings& p = settings.Page;
    const std::pair<const char*, const QString*> texts[] = {
        {"Title", &p.Frame.Title},        {"Table title", &p.TableTitle},
        {"Back link", &p.Frame.BackLink}, {"Back link text", &p.Frame.BackLinkText},
        {"Previous", &p.Frame.PrevText},  {"Next", &p.Frame.NextText},
    };
    QStringList found;
    for (const auto& [label, text] : texts)
        if (text->contains(script))
            found << label;
    return found;
}

QString ScriptTextsWarning(const QString& fileName, const QStringList& texts) {
    return "The gallery file " + Quoted(fileName) +
           " has page texts that can run script in a visitor's browser: " + texts.join(", ") +
           ". The pages write these texts as HTML, as they stand: look at them on the Html Page and Html "
           "table "
           "tabs before the gallery is published.";
}

QString NewGalleryId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString GalleryIdOf(const TGalleryDocument& document, const QString& fileName) {
    return document.Id.isEmpty() ? "file:" + QFileInfo(fileName).absoluteFilePath() : document.Id;
}

QString DefaultOutputDir(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.absolutePath() + '/' + info.completeBaseName() + '/';
}

void WriteGalleryFile(const QString& fileName, const TGalleryDocument& document) {
    QString error;
    if (!WriteFileAtomically(fileName, GalleryFileBytes(document, fileName), error))
        throw EGalleryFileException("Cannot save the gallery file " + Quoted(fileName) + ": " + error);
}

QString FoundPicture(const QString& missing, const QString& firstMissing, const QString& folder) {
    const QDir oldFolder = QFileInfo(firstMissing).absoluteDir();
    const QString relative = oldFolder.relativeFilePath(missing);
    const QString moved = QDir::cleanPath(QDir(folder).absoluteFilePath(relative));
    if (QFileInfo(moved).isFile())
        return moved;
    const QString beside = QDir::cleanPath(QDir(folder).absoluteFilePath(QFileInfo(missing).fileName()));
    return QFileInfo(beside).isFile() ? beside : QString();
}
