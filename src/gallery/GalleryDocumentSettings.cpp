// A gallery's settings as JSON: every field is listed once, in VisitSettings, for writing and reading alike.
#include "gallery/GalleryDocumentSettings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

#include <QJsonValue>

namespace {

const QString kDefaultColor = QStringLiteral("default");
// Long enough for any path, and far beyond any title.
constexpr qsizetype kMaxSettingTextLength = 4096;

// "#RRGGBB" for a colour (TColor is 0x00BBGGRR), "default" for clNone, any other value as its number.
QJsonValue ColorValue(TColor color) {
    if (color == clNone)
        return kDefaultColor;
    if (color < 0 || color > 0xFFFFFF)
        return color;
    return QString::asprintf("#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

bool ColorFromValue(const QJsonValue& value, TColor& color) {
    if (value.isDouble() && value.toDouble() == double(value.toInt())) {
        color = value.toInt();
        return true;
    }
    const QString text = value.toString();
    if (text == kDefaultColor) {
        color = clNone;
        return true;
    }
    bool ok = false;
    const uint rgb = text.mid(1).toUInt(&ok, 16);
    if (!text.startsWith('#') || text.size() != 7 || !ok)
        return false;
    color = TColor(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
    return true;
}

class TWriter {
public:
    QJsonObject Root;

    template <typename T> void Number(const char* group, const char* key, const T& value) {
        Put(group, key, int(value));
    }
    void Color(const char* group, const char* key, const TColor& value) {
        Put(group, key, ColorValue(value));
    }
    void Text(const char* group, const char* key, const QString& value) { Put(group, key, value); }
    void Flag(const char* group, const char* key, const bool& value) { Put(group, key, value); }

private:
    void Put(const char* group, const char* key, const QJsonValue& value) {
        QJsonObject object = Root.value(group).toObject();
        object.insert(key, value);
        Root.insert(group, object);
    }
};

// A number brought into a narrower field without wrapping: 256 must never become list item 0 (for the
// metadata choice, "keep all"). A list item the field cannot hold becomes the largest it can, which no list
// has, so the range check after reading takes it for the unknown item it is; other numbers are clamped.
template <typename T> T Narrowed(int number) {
    if constexpr (std::is_enum_v<T>) {
        using U = std::underlying_type_t<T>;
        if (number < int(std::numeric_limits<U>::min()) || number > int(std::numeric_limits<U>::max()))
            return static_cast<T>(std::numeric_limits<U>::max());
        return static_cast<T>(number);
    } else {
        return static_cast<T>(
            std::clamp<long long>(number, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    }
}

class TReader {
public:
    explicit TReader(const QJsonObject& root) : FRoot(root) {}
    QString Problem;

    template <typename T> void Number(const char* group, const char* key, T& value) {
        const QJsonValue v = Get(group, key);
        if (v.isUndefined())
            return;
        if (!v.isDouble() || v.toDouble() != double(v.toInt()))
            return Wrong(group, key, "a whole number");
        value = Narrowed<T>(v.toInt());
    }
    void Color(const char* group, const char* key, TColor& value) {
        const QJsonValue v = Get(group, key);
        if (!v.isUndefined() && !ColorFromValue(v, value))
            Wrong(group, key, "a colour \"#RRGGBB\" or \"default\"");
    }
    void Text(const char* group, const char* key, QString& value) {
        const QJsonValue v = Get(group, key);
        if (v.isUndefined())
            return;
        if (!v.isString())
            return Wrong(group, key, "a text");
        // Each page repeats its texts: a title of megabytes would make gigabytes of pages.
        if (v.toString().size() > kMaxSettingTextLength)
            return Wrong(group, key, "a text of at most 4,096 characters");
        value = v.toString();
    }
    void Flag(const char* group, const char* key, bool& value) {
        const QJsonValue v = Get(group, key);
        if (v.isUndefined())
            return;
        if (!v.isBool())
            return Wrong(group, key, "true or false");
        value = v.toBool();
    }

private:
    QJsonValue Get(const char* group, const char* key) {
        const QJsonValue object = FRoot.value(group);
        if (object.isUndefined())
            return QJsonValue(QJsonValue::Undefined);
        if (!object.isObject()) {
            if (Problem.isEmpty())
                Problem = QString("the settings' \"%1\" is not an object").arg(group);
            return QJsonValue(QJsonValue::Undefined);
        }
        return object.toObject().value(key);
    }
    void Wrong(const char* group, const char* key, const char* kind) {
        if (Problem.isEmpty())
            Problem = QString("the setting \"%1.%2\" is not %3").arg(group, key, kind);
    }
    QJsonObject FRoot;
};

// Every stored setting, once. S is TGallerySettings or const TGallerySettings.
template <typename V, typename S> void VisitSettings(V& v, S& s) {
    auto& t = s.Thumb;
    v.Number("thumbnail", "width", t.ThumbWidth);
    v.Number("thumbnail", "height", t.ThumbHeight);
    v.Number("thumbnail", "bevelSize", t.ThumbBevel.Size);
    v.Number("thumbnail", "bevelStyle", t.ThumbBevel.Style);
    v.Number("thumbnail", "bevelIntensity", t.ThumbBevel.Intensity);
    v.Number("picture", "width", t.PicWidth);
    v.Number("picture", "height", t.PicHeight);
    v.Number("picture", "bevelSize", t.PicBevel.Size);
    v.Number("picture", "bevelStyle", t.PicBevel.Style);
    v.Number("picture", "bevelIntensity", t.PicBevel.Intensity);
    v.Number("picture", "maskStyle", t.MaskStyle);
    v.Number("picture", "maskSize", t.MaskSize);
    v.Number("picture", "shadowSize", t.ShadowSize);
    v.Number("picture", "shadowDistance", t.ShadowDistance);
    v.Number("picture", "shadowIntensity", t.ShadowIntensity);
    v.Color("background", "color", s.Background.Color);
    auto& f = s.Page.Frame;
    v.Text("page", "title", f.Title);
    v.Color("page", "textColor", f.TextColor);
    v.Color("page", "linkColor", f.LinkColor);
    v.Color("page", "visitedLinkColor", f.VLinkColor);
    v.Color("page", "activeLinkColor", f.ALinkColor);
    v.Number("page", "lineWidth", f.LineWidth);
    v.Text("page", "backLink", f.BackLink);
    v.Text("page", "backLinkText", f.BackLinkText);
    v.Number("page", "backLinkFontSize", f.BackLinkFontSize);
    v.Number("page", "backLinkAlign", f.BackLinkAlign);
    v.Flag("page", "linkInOrder", f.LinkInOrder);
    v.Text("page", "previousText", f.PrevText);
    v.Text("page", "nextText", f.NextText);
    v.Flag("page", "fitToWindow", f.FitToWindow);
    v.Number("page", "pictureMetadata", s.PublishMeta);
    auto& p = s.Page;
    v.Flag("page", "webSize", p.WebSize.Enabled);
    v.Number("page", "webSizePixels", p.WebSize.MaxSide);
    v.Flag("page", "publishOriginal", p.WebSize.PublishOriginal);
    v.Text("table", "title", p.TableTitle);
    v.Number("table", "titleFontSize", p.TableTitleFontSize);
    v.Color("table", "titleColor", p.TableTitleColor);
    v.Number("table", "titleAlign", p.TableTitleAlign);
    v.Number("table", "align", p.TableAlign);
    v.Number("table", "cellSpacing", p.CellSpacing);
    v.Number("table", "pictureInfo", p.PicInfo);
    v.Number("table", "pictureInfoFontSize", p.PicInfoFontSize);
    v.Color("table", "pictureInfoColor", p.PicInfoColor);
    v.Number("table", "pictureInfoAlign", p.PicInfoAlign);
    v.Flag("table", "captionUnderThumbnail", p.CaptionUnderThumb);
    v.Number("table", "rowsPerPage", p.PageRows);
}

} // namespace

QJsonObject SettingsToJson(const TGallerySettings& settings) {
    TWriter writer;
    VisitSettings(writer, settings);
    // A colour's tile is made afresh wherever the gallery is opened; only a picture names its file.
    if (!settings.Background.IsColor()) {
        QJsonObject background = writer.Root.value("background").toObject();
        background.insert("file", settings.Background.File);
        writer.Root.insert("background", background);
    }
    return writer.Root;
}

TGallerySettings SettingsFromJson(const QJsonObject& object, QString& problem) {
    TGallerySettings settings = StartUpSettings();
    TReader reader(object);
    VisitSettings(reader, settings);
    QString file;
    reader.Text("background", "file", file);
    settings.Background.File = settings.Background.IsColor() ? QString() : file;
    problem = reader.Problem;
    return InRange(settings);
}
