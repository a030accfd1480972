// A gallery's settings as JSON: the list of settings gives every key, for writing and reading alike.
#include "gallery/GalleryDocumentSettings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

#include <QJsonValue>

#include "gallery/GallerySettingsList.h"

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

// Numbers, list items and bits are whole numbers. A setting without a group is not among these keys.
class TWriter {
public:
    QJsonObject Root;

    template <typename F, typename K, typename R> void operator()(const F& value, K, TFileKey at, const R&) {
        Put(at, int(value));
    }
    template <typename R> void operator()(const TColor& value, TColorField, TFileKey at, const R&) {
        Put(at, ColorValue(value));
    }
    template <typename R> void operator()(const QString& value, TTextField, TFileKey at, const R&) {
        Put(at, value);
    }
    template <typename R> void operator()(const bool& value, TFlagField, TFileKey at, const R&) {
        Put(at, value);
    }

private:
    void Put(TFileKey at, const QJsonValue& value) {
        if (!at.Group)
            return;
        QJsonObject object = Root.value(at.Group).toObject();
        object.insert(at.Key, value);
        Root.insert(at.Group, object);
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

    template <typename T, typename K, typename R> void operator()(T& value, K, TFileKey at, R&) {
        const QJsonValue v = Get(at);
        if (v.isUndefined())
            return;
        if (!v.isDouble() || v.toDouble() != double(v.toInt()))
            return Wrong(at, "a whole number");
        value = Narrowed<T>(v.toInt());
    }
    template <typename R> void operator()(TColor& value, TColorField, TFileKey at, R&) {
        const QJsonValue v = Get(at);
        if (!v.isUndefined() && !ColorFromValue(v, value))
            Wrong(at, "a colour \"#RRGGBB\" or \"default\"");
    }
    template <typename R> void operator()(QString& value, TTextField, TFileKey at, R&) {
        const QJsonValue v = Get(at);
        if (v.isUndefined())
            return;
        if (!v.isString())
            return Wrong(at, "a text");
        // Each page repeats its texts: a title of megabytes would make gigabytes of pages.
        if (v.toString().size() > kMaxSettingTextLength)
            return Wrong(at, "a text of at most 4,096 characters");
        value = v.toString();
    }
    template <typename R> void operator()(bool& value, TFlagField, TFileKey at, R&) {
        const QJsonValue v = Get(at);
        if (v.isUndefined())
            return;
        if (!v.isBool())
            return Wrong(at, "true or false");
        value = v.toBool();
    }

private:
    QJsonValue Get(TFileKey at) {
        if (!at.Group)
            return QJsonValue(QJsonValue::Undefined);
        const QJsonValue object = FRoot.value(at.Group);
        if (object.isUndefined())
            return QJsonValue(QJsonValue::Undefined);
        if (!object.isObject()) {
            if (Problem.isEmpty())
                Problem = QString("the settings' \"%1\" is not an object").arg(at.Group);
            return QJsonValue(QJsonValue::Undefined);
        }
        return object.toObject().value(at.Key);
    }
    void Wrong(TFileKey at, const char* kind) {
        if (Problem.isEmpty())
            Problem = QString("the setting \"%1.%2\" is not %3").arg(at.Group, at.Key, kind);
    }
    QJsonObject FRoot;
};

} // namespace

QJsonObject SettingsToJson(const TGallerySettings& settings) {
    TWriter writer;
    TProfileRecord unused;
    VisitSettings(writer, settings, unused);
    // A colour's tile is made afresh wherever the gallery is opened; only a picture names its file.
    if (settings.Background.IsColor()) {
        QJsonObject background = writer.Root.value("background").toObject();
        background.remove("file");
        writer.Root.insert("background", background);
    }
    return writer.Root;
}

TGallerySettings SettingsFromJson(const QJsonObject& object, QString& problem) {
    TGallerySettings settings = StartUpSettings();
    TReader reader(object);
    TProfileRecord unused;
    VisitSettings(reader, settings, unused);
    if (settings.Background.IsColor())
        settings.Background.File.clear();
    problem = reader.Problem;
    return InRange(settings);
}
